-- Demo business database for Dabrix: a small fine-food wholesaler.
-- Run by the build through the sqlite3 command-line shell; the rows are generated,
-- deterministically, from the short lists in the temporary tables below.
PRAGMA foreign_keys = ON;
BEGIN;

CREATE TABLE "Fournisseurs" (
    "IdFournisseur" INTEGER PRIMARY KEY,
    "Société" VARCHAR(60) NOT NULL,
    "Contact" VARCHAR(60),
    "Ville" VARCHAR(40),
    "Téléphone" VARCHAR(20),
    "Actif" BOOLEAN NOT NULL DEFAULT 1
);

CREATE TABLE "Clients" (
    "IdClient" INTEGER PRIMARY KEY,
    "Nom" VARCHAR(40) NOT NULL,
    "Prénom" VARCHAR(40),
    "Société" VARCHAR(60),
    "CodePostal" VARCHAR(5),
    "Ville" VARCHAR(40),
    "Email" VARCHAR(80),
    "Téléphone" VARCHAR(20),
    "DateInscription" DATE,
    "Professionnel" BOOLEAN NOT NULL DEFAULT 0,
    "Remise" REAL NOT NULL DEFAULT 0,
    "Notes" TEXT
);

CREATE TABLE "Produits" (
    "IdProduit" INTEGER PRIMARY KEY,
    "Désignation" VARCHAR(80) NOT NULL,
    "IdFournisseur" INTEGER REFERENCES "Fournisseurs" ("IdFournisseur"),
    "PrixUnitaire" NUMERIC(10,2) NOT NULL,
    "Stock" INTEGER NOT NULL DEFAULT 0,
    "Poids" REAL,
    "Disponible" BOOLEAN NOT NULL DEFAULT 1,
    "Description" TEXT
);

CREATE TABLE "Commandes" (
    "IdCommande" INTEGER PRIMARY KEY,
    "IdClient" INTEGER NOT NULL REFERENCES "Clients" ("IdClient"),
    "DateCommande" DATE NOT NULL,
    "DateLivraison" DATE,
    "Statut" VARCHAR(20) NOT NULL,
    "FraisPort" NUMERIC(10,2),
    "Payée" BOOLEAN NOT NULL DEFAULT 0,
    "SaisieLe" DATETIME,
    "Commentaire" TEXT
);

CREATE TABLE "Détails commandes" (
    "IdCommande" INTEGER NOT NULL REFERENCES "Commandes" ("IdCommande") ON DELETE CASCADE,
    "IdProduit" INTEGER NOT NULL REFERENCES "Produits" ("IdProduit"),
    "Quantité" INTEGER NOT NULL,
    "PrixUnitaire" NUMERIC(10,2) NOT NULL,
    "Remise" REAL NOT NULL DEFAULT 0,
    PRIMARY KEY ("IdCommande", "IdProduit")
);

CREATE INDEX "Produits_Fournisseur" ON "Produits" ("IdFournisseur");
CREATE INDEX "Commandes_Client" ON "Commandes" ("IdClient");
CREATE INDEX "Détails_Produit" ON "Détails commandes" ("IdProduit");

-- Conventional tables looked after by the images and scripts managers.
CREATE TABLE "Images" (
    "Code" TEXT PRIMARY KEY,
    "Image" BLOB
);

CREATE TABLE "Scripts" (
    "id" INTEGER PRIMARY KEY,
    "text" TEXT
);

-- Source lists, numbered from 1 by rowid; they disappear with the session.
CREATE TEMP TABLE "_villes" ("ville" TEXT, "cp" TEXT);
INSERT INTO "_villes" VALUES
    ('Paris', '75011'), ('Lyon', '69002'), ('Marseille', '13001'), ('Toulouse', '31000'),
    ('Nice', '06000'), ('Nantes', '44000'), ('Strasbourg', '67000'), ('Montpellier', '34000'),
    ('Bordeaux', '33000'), ('Lille', '59000'), ('Rennes', '35000'), ('Reims', '51100'),
    ('Le Havre', '76600'), ('Saint-Étienne', '42000'), ('Toulon', '83000'), ('Grenoble', '38000'),
    ('Dijon', '21000'), ('Angers', '49000'), ('Nîmes', '30000'), ('Aix-en-Provence', '13100');

CREATE TEMP TABLE "_noms" ("v" TEXT);
INSERT INTO "_noms" VALUES
    ('Martin'), ('Bernard'), ('Dubois'), ('Thomas'), ('Robert'), ('Richard'), ('Petit'),
    ('Durand'), ('Leroy'), ('Moreau'), ('Simon'), ('Laurent'), ('Lefèvre'), ('Michel'),
    ('Garcia'), ('David'), ('Bertrand'), ('Roux'), ('Vincent'), ('Fournier'), ('Morel'),
    ('Girard'), ('André'), ('Mercier'), ('Dupont'), ('Lambert'), ('Bonnet'), ('François'),
    ('Martinez'), ('Legrand');

CREATE TEMP TABLE "_prenoms" ("v" TEXT);
INSERT INTO "_prenoms" VALUES
    ('Élodie'), ('Jean'), ('Marie'), ('Pierre'), ('Sophie'), ('Luc'), ('Camille'), ('Hélène'),
    ('François'), ('Chloé'), ('Nicolas'), ('Zoé'), ('Stéphane'), ('Amélie'), ('Gaël'),
    ('Noémie'), ('Jérôme'), ('Inès'), ('Benoît'), ('Léa');

CREATE TEMP TABLE "_produits" ("nom" TEXT, "prix" REAL, "poids" REAL, "description" TEXT);
INSERT INTO "_produits" VALUES
    ('Confiture de fraises', 4.20, 0.37, 'Fraises de Plougastel, cuisson en chaudron de cuivre.'),
    ('Miel de lavande', 8.90, 0.50, 'Récolté sur le plateau de Valensole.'),
    ('Huile d''olive vierge extra', 14.50, 0.75, 'Première pression à froid.'),
    ('Moutarde de Dijon', 2.95, 0.21, 'Graines broyées à la meule de pierre.'),
    ('Rillettes du Mans', 5.60, 0.22, NULL),
    ('Sel de Guérande', 3.80, 0.25, 'Fleur de sel récoltée à la main.'),
    ('Calissons d''Aix', 12.40, 0.20, 'Amande et melon confit, sur pain azyme.'),
    ('Nougat de Montélimar', 7.75, 0.15, NULL),
    ('Pruneaux d''Agen', 6.30, 0.50, 'Mi-cuits, dénoyautés.'),
    ('Piment d''Espelette', 9.10, 0.04, 'AOP, en poudre.'),
    ('Lentilles vertes du Puy', 3.40, 0.50, NULL),
    ('Cidre brut', 4.95, 0.75, 'Pays d''Auge, 5 % vol.'),
    ('Crème de marrons', 3.65, 0.25, 'Recette ardéchoise.'),
    ('Sablés bretons', 2.80, 0.12, 'Au beurre de baratte.'),
    ('Caramel au beurre salé', 5.20, 0.22, NULL),
    ('Tapenade noire', 4.45, 0.09, 'Olives de Nyons et câpres.'),
    ('Foie gras de canard', 24.90, 0.18, 'Entier, mi-cuit.'),
    ('Herbes de Provence', 2.60, 0.03, NULL),
    ('Vinaigre de Banyuls', 6.95, 0.50, 'Vieilli en fût de chêne.'),
    ('Bêtises de Cambrai', 3.90, 0.15, 'Bonbons à la menthe.');

CREATE TEMP TABLE "_fournisseurs" ("v" TEXT);
INSERT INTO "_fournisseurs" VALUES
    ('Les Délices du Terroir'), ('Maison Brémond'), ('Conserverie Lucas'), ('Rucher des Alpilles'),
    ('Moulin de la Roque'), ('Salines de l''Atlantique'), ('Confiserie Arnaud'), ('Biscuiterie Le Goff'),
    ('Cave Coopérative du Roussillon'), ('Ferme Étienne'), ('Distillerie Pâris'), ('Épices & Cie');

-- Names without accents, lower case, for the e-mail addresses.
CREATE TEMP TABLE "_ascii" AS
SELECT "v", lower(replace(replace(replace(replace(replace(replace(replace("v",
           'É', 'E'), 'é', 'e'), 'è', 'e'), 'ë', 'e'), 'î', 'i'), 'ç', 'c'), 'ô', 'o')) AS "ascii"
FROM (SELECT "v" FROM "_noms" UNION SELECT "v" FROM "_prenoms");

INSERT INTO "Fournisseurs" ("IdFournisseur", "Société", "Contact", "Ville", "Téléphone", "Actif")
SELECT f.rowid,
       f.v,
       CASE WHEN f.rowid % 4 = 0 THEN NULL ELSE p.v || ' ' || n.v END,
       v.ville,
       printf('0%d %02d %02d %02d %02d', 1 + f.rowid % 5, (f.rowid * 17) % 100, (f.rowid * 29) % 100,
              (f.rowid * 41) % 100, (f.rowid * 53) % 100),
       f.rowid % 5 <> 0
FROM "_fournisseurs" f
JOIN "_prenoms" p ON p.rowid = 1 + (f.rowid * 3) % 20
JOIN "_noms" n ON n.rowid = 1 + (f.rowid * 7) % 30
JOIN "_villes" v ON v.rowid = 1 + (f.rowid * 9) % 20;

INSERT INTO "Clients" ("IdClient", "Nom", "Prénom", "Société", "CodePostal", "Ville", "Email",
                       "Téléphone", "DateInscription", "Professionnel", "Remise", "Notes")
WITH RECURSIVE "seq" ("n") AS (SELECT 1 UNION ALL SELECT "n" + 1 FROM "seq" WHERE "n" < 60)
SELECT s.n,
       n.v,
       p.v,
       CASE s.n % 6
           WHEN 0 THEN 'Épicerie ' || n.v
           WHEN 3 THEN 'Bistrot ' || n.v
       END,
       v.cp,
       v.ville,
       CASE WHEN s.n % 7 = 0 THEN NULL ELSE p.ascii || '.' || n.ascii || '@exemple.fr' END,
       printf('06 %02d %02d %02d %02d', (s.n * 13) % 100, (s.n * 31) % 100, (s.n * 47) % 100,
              (s.n * 59) % 100),
       date('2019-01-07', '+' || ((s.n * 97) % 1500) || ' days'),
       s.n % 3 = 0,
       CASE WHEN s.n % 3 = 0 THEN round(0.05 * (1 + (s.n / 3) % 3), 2) ELSE 0 END,
       CASE s.n % 10
           WHEN 1 THEN 'Préfère être livré le matin.'
           WHEN 6 THEN 'Relancer pour le catalogue de Noël.'
       END
FROM "seq" s
JOIN "_ascii" n ON n.v = (SELECT "v" FROM "_noms" WHERE rowid = 1 + (s.n * 7) % 30)
JOIN "_ascii" p ON p.v = (SELECT "v" FROM "_prenoms" WHERE rowid = 1 + (s.n * 11) % 20)
JOIN "_villes" v ON v.rowid = 1 + (s.n * 3) % 20;

-- Each product comes as a single item and as a pack of three.
INSERT INTO "Produits" ("IdProduit", "Désignation", "IdFournisseur", "PrixUnitaire", "Stock",
                        "Poids", "Disponible", "Description")
WITH "formats" ("k") AS (VALUES (0), (1))
SELECT (p.rowid - 1) * 2 + f.k + 1,
       p.nom || CASE f.k WHEN 1 THEN ' (lot de 3)' ELSE '' END,
       1 + (p.rowid * 5) % 12,
       round(CASE f.k WHEN 1 THEN p.prix * 2.7 ELSE p.prix END, 2),
       CASE WHEN (p.rowid + f.k) % 9 = 0 THEN 0 ELSE (p.rowid * 37 + f.k * 13) % 120 END,
       round(CASE f.k WHEN 1 THEN p.poids * 3 ELSE p.poids END, 3),
       (p.rowid + f.k) % 9 <> 0,
       p.description
FROM "_produits" p, "formats" f;

-- Clients 56 to 60 never order, so "clients without an order" has an answer.
INSERT INTO "Commandes" ("IdCommande", "IdClient", "DateCommande", "DateLivraison", "Statut",
                         "FraisPort", "Payée", "SaisieLe", "Commentaire")
WITH RECURSIVE "seq" ("n") AS (SELECT 1 UNION ALL SELECT "n" + 1 FROM "seq" WHERE "n" < 150),
"cmd" AS (
    SELECT n,
           date('2024-01-03', '+' || (n * 2 + n % 3) || ' days') AS "jour",
           CASE WHEN n % 17 = 0 THEN 'Annulée'
                WHEN n > 140 THEN 'En préparation'
                WHEN n > 130 THEN 'Expédiée'
                ELSE 'Livrée'
           END AS "statut"
    FROM "seq")
SELECT n,
       1 + (n * 13) % 55,
       "jour",
       CASE WHEN "statut" = 'Livrée' THEN date("jour", '+' || (2 + n % 5) || ' days') END,
       "statut",
       CASE WHEN n % 4 = 0 THEN 0 ELSE 6.90 + (n % 3) * 2.5 END,
       "statut" = 'Livrée' OR ("statut" <> 'Annulée' AND n % 5 = 0),
       "jour" || printf(' %02d:%02d:00', 8 + n % 10, (n * 7) % 60),
       CASE n % 9
           WHEN 0 THEN 'Livrer en matinée'
           WHEN 4 THEN 'Paquet cadeau, merci !'
       END
FROM "cmd";

-- One to four lines per order, distinct products, at the catalogue price.
INSERT INTO "Détails commandes" ("IdCommande", "IdProduit", "Quantité", "PrixUnitaire", "Remise")
WITH "lignes" ("k") AS (VALUES (0), (1), (2), (3))
SELECT c."IdCommande",
       p."IdProduit",
       1 + (c."IdCommande" + l.k * 3) % 6,
       p."PrixUnitaire",
       cl."Remise"
FROM "Commandes" c
JOIN "lignes" l ON l.k < 1 + c."IdCommande" % 4
JOIN "Produits" p ON p."IdProduit" = 1 + (c."IdCommande" * 7 + l.k * 11) % 40
JOIN "Clients" cl ON cl."IdClient" = c."IdClient";

CREATE VIEW "Ventes par client" AS
SELECT cl."IdClient",
       cl."Nom",
       cl."Prénom",
       cl."Ville",
       count(DISTINCT c."IdCommande") AS "Commandes",
       round(sum(d."Quantité" * d."PrixUnitaire" * (1 - d."Remise")), 2) AS "Montant"
FROM "Clients" cl
JOIN "Commandes" c ON c."IdClient" = cl."IdClient"
JOIN "Détails commandes" d ON d."IdCommande" = c."IdCommande"
WHERE c."Statut" <> 'Annulée'
GROUP BY cl."IdClient", cl."Nom", cl."Prénom", cl."Ville";

-- 8 x 8 PNG pictures; LOGO is left empty for a first "Charge Image".
INSERT INTO "Images" ("Code", "Image") VALUES
    ('BLEU', X'89504E470D0A1A0A0000000D49484452000000080000000808020000004B6D29DC000000114944415478DA6390F79B8D15310C2D0900AB3F4201C5429E890000000049454E44AE426082'),
    ('ROUGE', X'89504E470D0A1A0A0000000D49484452000000080000000808020000004B6D29DC000000114944415478DA633820A38115310C2D09008C3F4101626815C20000000049454E44AE426082'),
    ('VERT', X'89504E470D0A1A0A0000000D49484452000000080000000808020000004B6D29DC000000114944415478DA63D0EB0EC78A1886960400880E4401E94C9CC50000000049454E44AE426082'),
    ('DAMIER', X'89504E470D0A1A0A0000000D49484452000000080000000808020000004B6D29DC0000001E4944415478DA63F8F0EC1210298001329B01A704A610848D5B820E760000EAB3610171641C610000000049454E44AE426082'),
    ('LOGO', NULL);

INSERT INTO "Scripts" ("id", "text") VALUES
    (1, '-- Clients sans commande
SELECT [IdClient], [Nom], [Prénom], [Ville]
FROM [Clients]
WHERE [IdClient] NOT IN (SELECT [IdClient] FROM [Commandes])
ORDER BY [Nom]'),
    (2, '-- Produits à réapprovisionner
SELECT [IdProduit], [Désignation], [Stock]
FROM [Produits]
WHERE [Stock] < 10
ORDER BY [Stock]'),
    (3, '-- Chiffre d''affaires par mois
SELECT substr(c.[DateCommande], 1, 7) AS [Mois],
       round(sum(d.[Quantité] * d.[PrixUnitaire] * (1 - d.[Remise])), 2) AS [Montant]
FROM [Commandes] c
INNER JOIN [Détails commandes] d ON d.[IdCommande] = c.[IdCommande]
WHERE c.[Statut] <> ''Annulée''
GROUP BY substr(c.[DateCommande], 1, 7)'),
    (4, '-- Commandes livrées à marquer payées
UPDATE [Commandes] SET [Payée] = 1
WHERE [Statut] = ''Livrée'' AND [Payée] = 0'),
    (5, '-- Meilleurs clients
SELECT TOP 10 * FROM [Ventes par client] ORDER BY [Montant] DESC');

COMMIT;
