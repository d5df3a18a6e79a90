#include "ado/AdoError.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "connections/TextSchema.h"
#include "support/TestMain.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Snapshot = QMap<QString, QByteArray>;

// Every entry below folder (hidden ones and subfolders included) with its bytes and mode.
Snapshot Take(const QString& folder)
{
    Snapshot snapshot;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString key = info.fileName() + u'|' + QString::number(int(info.permissions()), 16);
        if (info.isDir() && !info.isSymLink()) {
            const Snapshot inner = Take(info.filePath());
            for (auto it = inner.begin(); it != inner.end(); ++it)
                snapshot.insert(info.fileName() + u'/' + it.key(), it.value());
            snapshot.insert(key, "<dir>");
        } else if (info.isSymLink()) {
            snapshot.insert(key, "-> " + info.symLinkTarget().toUtf8());
        } else {
            QFile f(info.filePath());
            snapshot.insert(key, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>"));
        }
    }
    return snapshot;
}

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray Section(const QByteArray& name, const QByteArray& format)
{
    return "[" + name + "]\r\nColNameHeader=True\r\nMaxScanRows=0\r\nDecimalSymbol=.\r\nFormat=" + format + "\r\n";
}

// The sections of a Schema.ini, whose order follows the folder listing and so is not fixed.
QList<QByteArray> Sections(const QByteArray& schema)
{
    QList<QByteArray> sections;
    qsizetype start = schema.indexOf('[');
    while (start >= 0) {
        const qsizetype next = schema.indexOf("\r\n[", start);
        sections << schema.mid(start, next < 0 ? -1 : next + 2 - start);
        start = next < 0 ? -1 : next + 2;
    }
    std::sort(sections.begin(), sections.end());
    return sections;
}

QStringList Files(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort(Qt::CaseSensitive);
    return names;
}

} // namespace

class TestTextSchema : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeSchemaSection_data();
    void writeSchemaSection();
    void copiesSameExtension_data();
    void copiesSameExtension();
    void reprepareUnderAnotherDelimiter();
    void mainAndImportApart();
    void unreadableFileStopsPartWay();
    void missingFolderKeepsDescription();
    void namesOutsideCodePage();
    void readOnlySourceGivesWritableCopy();
    void preparedFolderOpens();

private:
    QString user(const QString& name = {}) const { return QDir(m_user->path()).filePath(name); }
    QString work(bool isMain) const { return QDir(MDabrix::WorkFolder).filePath(isMain ? u"Main"_s : u"Import"_s); }
    void populate(const QStringList& names);

    std::unique_ptr<QTemporaryDir> m_user;
    std::unique_ptr<QTemporaryDir> m_work;
    Snapshot m_before;
};

void TestTextSchema::init()
{
    m_user = std::make_unique<QTemporaryDir>();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_user->isValid() && m_work->isValid());
    MDabrix::WorkFolder = m_work->path();
    m_before.clear();
}

// Whatever a test prepared, the user's folder is exactly as it was populated.
void TestTextSchema::cleanup()
{
    if (!m_before.isEmpty())
        QCOMPARE(Take(user()), m_before);
}

void TestTextSchema::populate(const QStringList& names)
{
    for (const QString& name : names) {
        if (name.endsWith(u'/')) {
            QVERIFY(QDir().mkpath(user(name)));
            continue;
        }
        QVERIFY(QDir().mkpath(QFileInfo(user(name)).path()));
        Write(user(name), "id,name\r\n1,\"" + name.toUtf8() + "\"\r\n");
    }
    m_before = Take(user());
}

void TestTextSchema::writeSchemaSection_data()
{
    QTest::addColumn<int>("delimiter");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("tab") << 0 << QByteArray("TabDelimited");
    QTest::newRow("comma") << 1 << QByteArray("Delimited(,)");
    QTest::newRow("semicolon") << 2 << QByteArray("Delimited(;)");
}

void TestTextSchema::writeSchemaSection()
{
    QFETCH(int, delimiter);
    QFETCH(QByteArray, format);
    QBuffer stream;
    stream.open(QIODevice::WriteOnly);
    TextSchema::WriteSchemaSection(u"clients.csv"_s, stream, qint16(delimiter));
    TextSchema::WriteSchemaSection(u"Hélène.txt"_s, stream, qint16(delimiter));
    // One after the other, no blank line, CR LF, the name in the single-byte code page.
    QCOMPARE(stream.data(), Section("clients.csv", format) + Section("H\xE9l\xE8ne.txt", format));
}

void TestTextSchema::copiesSameExtension_data()
{
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QStringList>("copied");
    const QStringList folder = {u"clients.csv"_s, u"orders.csv"_s, u"notes.txt"_s, u"CLIENTS2.CSV"_s,
                                u"README"_s, u"LICENSE"_s, u"sub/inner.csv"_s, u".hidden.csv"_s};
    QTest::newRow("csv: exact case only") << u"csv"_s << QStringList{u".hidden.csv"_s, u"clients.csv"_s, u"orders.csv"_s};
    QTest::newRow("CSV") << u"CSV"_s << QStringList{u"CLIENTS2.CSV"_s};
    QTest::newRow("txt") << u"txt"_s << QStringList{u"notes.txt"_s};
    QTest::newRow("no extension") << QString() << QStringList{u"LICENSE"_s, u"README"_s};
}

void TestTextSchema::copiesSameExtension()
{
    QFETCH(QString, ext);
    QFETCH(QStringList, copied);
    populate({u"clients.csv"_s, u"orders.csv"_s, u"notes.txt"_s, u"CLIENTS2.CSV"_s, u"README"_s, u"LICENSE"_s,
              u"sub/inner.csv"_s, u".hidden.csv"_s});

    const QString result = TextSchema::PrepareTextFolder(user(), ext, 1, true);
    QCOMPARE(result, work(true));
    QStringList expectedFiles = QStringList(copied) << u"Schema.ini"_s;
    expectedFiles.sort(Qt::CaseSensitive);
    QCOMPARE(Files(result), expectedFiles);
    QList<QByteArray> expected;
    for (const QString& name : copied) {
        QCOMPARE(Read(QDir(result).filePath(name)), Read(user(name)));
        expected << Section(name.toUtf8(), "Delimited(,)");
    }
    std::sort(expected.begin(), expected.end());
    QCOMPARE(Sections(Read(QDir(result).filePath(u"Schema.ini"_s))), expected);
    QVERIFY(!QFileInfo::exists(work(false)));
}

void TestTextSchema::reprepareUnderAnotherDelimiter()
{
    populate({u"clients.csv"_s, u"orders.csv"_s, u"notes.txt"_s});
    TextSchema::PrepareTextFolder(user(), u"txt"_s, 0, true);
    TextSchema::PrepareTextFolder(user(), u"csv"_s, 1, true);
    QCOMPARE(Sections(Read(QDir(work(true)).filePath(u"Schema.ini"_s))),
             (QList<QByteArray>{Section("clients.csv", "Delimited(,)"), Section("orders.csv", "Delimited(,)")}));

    // The user changes a file, then chooses the folder again under another delimiter.
    Write(user(u"orders.csv"_s), "id;total\r\n7;12.5\r\n");
    m_before = Take(user());
    TextSchema::PrepareTextFolder(user(), u"csv"_s, 2, true);

    const QByteArray schema = Read(QDir(work(true)).filePath(u"Schema.ini"_s));
    QCOMPARE(Sections(schema), (QList<QByteArray>{Section("clients.csv", "Delimited(;)"), Section("orders.csv", "Delimited(;)")}));
    QVERIFY(!schema.contains("Delimited(,)"));
    QCOMPARE(Read(QDir(work(true)).filePath(u"orders.csv"_s)), QByteArray("id;total\r\n7;12.5\r\n"));
    // An earlier copy stays until the work folder goes, but is no longer described.
    QCOMPARE(Files(work(true)), (QStringList{u"Schema.ini"_s, u"clients.csv"_s, u"notes.txt"_s, u"orders.csv"_s}));
}

void TestTextSchema::mainAndImportApart()
{
    populate({u"main/clients.csv"_s, u"import/stock.txt"_s, u"import/clients.txt"_s});
    TextSchema::PrepareTextFolder(user(u"main"_s), u"csv"_s, 1, true);
    const Snapshot main = Take(work(true));

    const QString import = TextSchema::PrepareTextFolder(user(u"import"_s), u"txt"_s, 0, false);
    QCOMPARE(import, work(false));
    QCOMPARE(Take(work(true)), main);
    QCOMPARE(Files(import), (QStringList{u"Schema.ini"_s, u"clients.txt"_s, u"stock.txt"_s}));
    QCOMPARE(Sections(Read(QDir(import).filePath(u"Schema.ini"_s))),
             (QList<QByteArray>{Section("clients.txt", "TabDelimited"), Section("stock.txt", "TabDelimited")}));

    const Snapshot imported = Take(import);
    TextSchema::PrepareTextFolder(user(u"main"_s), u"csv"_s, 2, true);
    QCOMPARE(Take(import), imported);
}

void TestTextSchema::unreadableFileStopsPartWay()
{
    populate({u"a.csv"_s, u"b.csv"_s, u"c.csv"_s});
    QFile b(user(u"b.csv"_s));
    QVERIFY(b.setPermissions(QFileDevice::Permissions()));
    if (b.open(QIODevice::ReadOnly)) {
        // Permissions do not stop root: a file whose reading fails stands in for it.
        b.close();
        QVERIFY(b.remove());
        QVERIFY(QFile::link(u"/proc/self/mem"_s, user(u"b.csv"_s)));
    }
    m_before = Take(user());

    try {
        TextSchema::PrepareTextFolder(user(), u"csv"_s, 1, true);
        QFAIL("an unreadable file was copied");
    } catch (const ado::AdoError& e) {
        QVERIFY2(e.Description().contains(user(u"b.csv"_s)), qPrintable(e.Description()));
    }
    // The listing runs by name: a.csv was copied and described, nothing after b.csv.
    QCOMPARE(Files(work(true)), (QStringList{u"Schema.ini"_s, u"a.csv"_s}));
    QCOMPARE(Read(QDir(work(true)).filePath(u"a.csv"_s)), Read(user(u"a.csv"_s)));
    QCOMPARE(Read(QDir(work(true)).filePath(u"Schema.ini"_s)), Section("a.csv", "Delimited(,)"));
}

void TestTextSchema::missingFolderKeepsDescription()
{
    populate({u"clients.csv"_s});
    TextSchema::PrepareTextFolder(user(), u"csv"_s, 1, true);
    const Snapshot prepared = Take(work(true));
    try {
        TextSchema::PrepareTextFolder(user(u"gone"_s), u"csv"_s, 2, true);
        QFAIL("a missing folder was prepared");
    } catch (const ado::AdoError& e) {
        QCOMPARE(e.Number(), ado::err::PathNotFound);
    }
    QCOMPARE(Take(work(true)), prepared);
}

void TestTextSchema::namesOutsideCodePage()
{
    populate({u"clients.csv"_s, u"données.csv"_s, u"Ελλάδα.csv"_s});
    QVERIFY(TextSchema::CanDescribe(u"données.csv"_s));
    QVERIFY(!TextSchema::CanDescribe(u"Ελλάδα.csv"_s));
    QVERIFY(!TextSchema::CanDescribe(u"two\nlines.csv"_s));

    TextSchema::PrepareTextFolder(user(), u"csv"_s, 1, true);
    QCOMPARE(Files(work(true)), (QStringList{u"Schema.ini"_s, u"clients.csv"_s, u"données.csv"_s}));
    QCOMPARE(Sections(Read(QDir(work(true)).filePath(u"Schema.ini"_s))),
             (QList<QByteArray>{Section("clients.csv", "Delimited(,)"), Section("donn\xE9" "es.csv", "Delimited(,)")}));
}

void TestTextSchema::readOnlySourceGivesWritableCopy()
{
    populate({u"clients.csv"_s});
    QVERIFY(QFile::setPermissions(user(u"clients.csv"_s), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    m_before = Take(user());
    TextSchema::PrepareTextFolder(user(), u"csv"_s, 1, true);
    TextSchema::PrepareTextFolder(user(), u"csv"_s, 1, true); // replaces the first copy
    const QFileInfo copy(QDir(work(true)).filePath(u"clients.csv"_s));
    QVERIFY(copy.permissions() & QFileDevice::WriteOwner);
    QCOMPARE(Read(copy.filePath()), Read(user(u"clients.csv"_s)));
}

void TestTextSchema::preparedFolderOpens()
{
    populate({});
    Write(user(u"clients.csv"_s), "id;name;total\r\n1;Dupont;12.5\r\n2;Martin;3\r\n");
    Write(user(u"notes.txt"_s), "not;a;table\r\n");
    m_before = Take(user());
    const QString folder = TextSchema::PrepareTextFolder(user(), u"csv"_s, 2, true);

    ado::Connection cnx;
    cnx.Open(u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source="_s + folder + u";Extended Properties=\"Text\";OLE DB Services=-2;"_s);
    ado::Recordset rs;
    rs.Open(u"SELECT * FROM [clients.csv]"_s, &cnx);
    QCOMPARE(rs.FieldCount(), 3);
    QCOMPARE(rs.Fields(1).Name(), u"name"_s);
    QCOMPARE(rs.Fields(1).Value().toString(), u"Dupont"_s);
    QCOMPARE(rs.Fields(2).Value().toDouble(), 12.5);
    QCOMPARE(rs.RecordCount(), 2);
}

DABRIX_TEST_MAIN(TestTextSchema)
#include "tst_textschema.moc"
