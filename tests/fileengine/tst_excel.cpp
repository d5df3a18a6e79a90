#include "support/TestMain.h"

#include "ado/AdoError.h"
#include "ado/Catalog.h"
#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "ado/fileengine/excel/ExcelDate.h"
#include "ado/fileengine/excel/ExcelNumberFormat.h"
#include "ado/fileengine/excel/SheetLayout.h"
#include "ado/fileengine/excel/WorkbookFormat.h"
#include "ado/fileengine/excel/XlsReader.h"
#include "ado/fileengine/excel/XlsxReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <quazip.h>
#include <quazipfile.h>

#include <cmath>

using namespace ado;

namespace {

QString Xlsx(const QString& name)
{
    return testsupport::FixturePath(QStringLiteral("xlsx/readxl/") + name);
}

QString Xls(const QString& name)
{
    return testsupport::FixturePath(QStringLiteral("xls/readxl/") + name);
}

QString ConnectionStringFor(const QString& file, const QString& extended = QStringLiteral("Excel 8.0;HRD=Yes"))
{
    return QStringLiteral("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=%1;Extended properties=\"%2\";OLE DB Services=-2;")
        .arg(file, extended);
}

QByteArray Sha256(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

void WriteZip(const QString& file, const QList<QPair<QString, QByteArray>>& parts)
{
    QuaZip zip(file);
    QVERIFY(zip.open(QuaZip::mdCreate));
    for (const auto& [name, bytes] : parts) {
        QuaZipFile entry(&zip);
        QVERIFY(entry.open(QIODevice::WriteOnly, QuaZipNewInfo(name)));
        entry.write(bytes);
        entry.close();
    }
    zip.close();
}

// A one-sheet package as Excel lays it out; sheetData is the inside of <sheetData>.
QList<QPair<QString, QByteArray>> Package(const QByteArray& sheetData, const QByteArray& sharedStrings = {},
                                         const QByteArray& workbookPr = "<workbookPr/>")
{
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    QList<QPair<QString, QByteArray>> parts{
        {"_rels/.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                        "<Relationship Id=\"rId1\" Type=\"" + rel + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook " + ns + ">" + workbookPr + "<sheets><sheet name=\"Data sheet\" sheetId=\"1\" r:id=\"rId1\"/>"
                            "<sheet name=\"Chart\" sheetId=\"2\" r:id=\"rId9\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                                       "<Relationship Id=\"rId1\" Type=\"" + rel + "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                                       "<Relationship Id=\"rId9\" Type=\"" + rel + "chartsheet\" Target=\"chartsheets/sheet1.xml\"/>"
                                       "<Relationship Id=\"rId2\" Type=\"" + rel + "styles\" Target=\"/xl/styles.xml\"/>"
                                       "<Relationship Id=\"rId3\" Type=\"" + rel + "sharedStrings\" Target=\"sharedStrings.xml\"/>"
                                       "</Relationships>"},
        // Style 1 is a built-in date, 2 a custom date-time, 3 a percentage.
        {"xl/styles.xml", "<styleSheet " + ns + "><numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"yyyy\\-mm\\-dd hh:mm\"/>"
                          "<numFmt numFmtId=\"165\" formatCode=\"0.0%\"/></numFmts><cellStyleXfs count=\"1\"><xf numFmtId=\"14\"/></cellStyleXfs>"
                          "<cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/><xf numFmtId=\"165\"/></cellXfs></styleSheet>"},
        {"xl/worksheets/sheet1.xml", "<worksheet " + ns + "><sheetData>" + sheetData + "</sheetData></worksheet>"},
    };
    if (!sharedStrings.isEmpty())
        parts.append({"xl/sharedStrings.xml", "<sst " + ns + ">" + sharedStrings + "</sst>"});
    return parts;
}

// Every row of a table as read through the file engine's table interface.
QList<QVariantList> ReadAll(FileTable& table)
{
    QList<QVariantList> rows;
    auto cursor = table.Scan();
    const int width = int(table.Columns().size());
    while (cursor->Next()) {
        QVariantList row;
        for (int c = 0; c < width; ++c)
            row << cursor->Value(c);
        rows << row;
    }
    return rows;
}

QStringList Names(const QVector<FileColumn>& columns)
{
    QStringList names;
    for (const FileColumn& c : columns)
        names << c.name;
    return names;
}

QStringList Types(const QVector<FileColumn>& columns)
{
    QStringList types;
    for (const FileColumn& c : columns)
        types << c.declaredType;
    return types;
}

QString Joined(Recordset& rs)
{
    QStringList values;
    for (int i = 0; i < rs.FieldCount(); ++i)
        values << rs.Fields(i).Value().toString();
    return values.join(u'|');
}

QDateTime Utc(int y, int m, int d, int h = 0, int min = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s, ms), Qt::UTC);
}

// Booleans read from .xls come as 1 and 0 (FreeXL has no boolean cell).
QVariant Comparable(const QVariant& v)
{
    return v.metaType().id() == QMetaType::Bool ? QVariant(v.toBool() ? 1.0 : 0.0) : v;
}

bool SameCell(const QVariant& xls, const QVariant& xlsx)
{
    const QVariant a = Comparable(xls);
    const QVariant b = Comparable(xlsx);
    if (a.metaType() != b.metaType())
        return false;
    if (a.metaType().id() == QMetaType::Double)
        return std::fabs(a.toDouble() - b.toDouble()) <= 1e-12 * std::max(1.0, std::fabs(a.toDouble()));
    if (a.metaType().id() == QMetaType::QDateTime)
        // FreeXL gives whole seconds, cut rather than rounded.
        return std::llabs(a.toDateTime().msecsTo(b.toDateTime())) < 1000;
    return a == b;
}

} // namespace

class TestExcel : public QObject {
    Q_OBJECT

private slots:
    void serialDates_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<bool>("date1904");
        QTest::addColumn<QDateTime>("expected");
        QTest::newRow("first day") << 1.0 << false << Utc(1900, 1, 1);
        QTest::newRow("before the fictitious leap day") << 59.0 << false << Utc(1900, 2, 28);
        QTest::newRow("after the fictitious leap day") << 61.0 << false << Utc(1900, 3, 1);
        QTest::newRow("2000") << 36526.0 << false << Utc(2000, 1, 1);
        QTest::newRow("noon") << 36526.5 << false << Utc(2000, 1, 1, 12);
        QTest::newRow("time only") << 0.75 << false << Utc(1899, 12, 30, 18);
        QTest::newRow("1904 system") << 34064.0 << true << Utc(1997, 4, 6);
        QTest::newRow("1904 epoch day 1") << 1.0 << true << Utc(1904, 1, 2);
        QTest::newRow("rounds to the millisecond") << 42488.479166666664 << false << Utc(2016, 4, 28, 11, 30);
        QTest::newRow("rounds into the next day") << 43100.9999999999 << false << Utc(2018, 1, 1);
        QTest::newRow("negative") << -1.0 << false << QDateTime();
        QTest::newRow("past 9999") << 2958466.0 << false << QDateTime();
    }

    void serialDates()
    {
        QFETCH(double, serial);
        QFETCH(bool, date1904);
        QFETCH(QDateTime, expected);
        QCOMPARE(ExcelDate::FromSerial(serial, date1904), expected);
    }

    void dateFormats_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("isDate");
        QTest::newRow("built-in date") << 14 << QString() << true;
        QTest::newRow("built-in time") << 21 << QString() << true;
        QTest::newRow("general") << 0 << QString() << false;
        QTest::newRow("built-in percent") << 10 << QString() << false;
        QTest::newRow("LibreOffice general") << 164 << "GENERAL" << false;
        QTest::newRow("upper-case date") << 165 << "M/D/YY" << true;
        QTest::newRow("escaped separators") << 166 << "yyyy\\-mm\\-dd" << true;
        QTest::newRow("quoted letters") << 167 << "\"days\" 0" << false;
        QTest::newRow("colour") << 168 << "[Red]0.00" << false;
        QTest::newRow("elapsed hours") << 169 << "[h]:mm" << true;
        QTest::newRow("locale prefix") << 170 << "[$-409]d-mmm-yy" << true;
        QTest::newRow("negative section") << 171 << "#,##0;[Red]-#,##0" << false;
        QTest::newRow("scientific") << 172 << "0.00E+00" << false;
        QTest::newRow("accounting padding") << 173 << "_(* #,##0_);_(* (#,##0)" << false;
    }

    void dateFormats()
    {
        QFETCH(int, id);
        QFETCH(QString, code);
        QFETCH(bool, isDate);
        QCOMPARE(ExcelNumberFormat::IsDate(id, code), isDate);
    }

    void columnNames()
    {
        SheetGrid grid;
        const QStringList header{"a", "A", "", "b.c", "F3", "x[1]!", "n"};
        for (int c = 0; c < header.size(); ++c)
            grid.Set(0, c, header[c]);
        grid.Set(1, 6, 2.0);
        const SheetLayout named(grid, true);
        QCOMPARE(Names(named.Columns()), QStringList({"a", "A1", "F3", "b#c", "F31", "x(1)_", "n"}));
        QCOMPARE(named.RowCount(), 1);
        const SheetLayout unnamed(grid, false);
        QCOMPARE(Names(unnamed.Columns()), QStringList({"F1", "F2", "F3", "F4", "F5", "F6", "F7"}));
        QCOMPARE(unnamed.RowCount(), 2);
        QCOMPARE(unnamed.Value(0, 0), QVariant(QStringLiteral("a")));
        // A number under a text header makes the column text.
        QCOMPARE(unnamed.Value(1, 6), QVariant(QStringLiteral("2")));
        QCOMPARE(named.Value(0, 6), QVariant(2.0));
    }

    void listsEverySheet_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("tables");
        const QStringList datasets{"mtcars$", "chickwts$", "quakes$"};
        const QStringList types{"guess_me$", "guess_max$", "smorgasbord$", "logical_coercion$", "date_coercion$",
                                "numeric_coercion$", "text_coercion$"};
        const QStringList typeMe{"logical_coercion$", "numeric_coercion$", "date_coercion$", "text_coercion$"};
        QTest::newRow("datasets.xlsx") << Xlsx("datasets.xlsx") << datasets;
        QTest::newRow("datasets.xls") << Xls("datasets.xls") << datasets;
        QTest::newRow("types.xlsx") << Xlsx("types.xlsx") << types;
        QTest::newRow("types.xls") << Xls("types.xls") << QStringList{"guess_me$", "guess_max$", "smorgasbord$", "logical_coercion$",
                                                                   "date_coercion$", "numeric_coercion$", "text_coercion$"};
        QTest::newRow("type-me.xlsx") << Xlsx("type-me.xlsx") << typeMe;
        QTest::newRow("type-me.xls") << Xls("type-me.xls") << typeMe;
        QTest::newRow("deaths.xlsx") << Xlsx("deaths.xlsx") << QStringList{"arts$", "other$"};
        QTest::newRow("deaths.xls") << Xls("deaths.xls") << QStringList{"arts$", "other$"};
        QTest::newRow("non-ASCII names") << Xlsx("utf8-sheet-names.xlsx") << QStringList{"µ$", "∂$"};
        QTest::newRow("parentheses") << Xls("mtcars.xls") << QStringList{"head(mtcars)$"};
        QTest::newRow("three sheets, two empty") << Xlsx("new_line_errors.xlsx") << QStringList{"Blad1$", "Blad2$", "Blad3$"};
        QTest::newRow("LibreOffice") << Xlsx("dates-1900-LibreOffice.xlsx") << QStringList{"Sheet1$"};
        QTest::newRow("Google Sheets") << Xlsx("iris-google-doc.xlsx") << QStringList{"iris$"};
        QTest::newRow("no styles, no strings") << Xlsx("no-styles-or-sharedStrings-parts.xlsx") << QStringList{"Sheet1$"};
        QTest::newRow("BIFF5") << Xls("biff5-label-records.xls") << QStringList{"worksheet1$"};
    }

    void listsEverySheet()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, tables);
        Connection cnx;
        cnx.Open(ConnectionStringFor(file));
        Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        QStringList listed;
        for (const TableInfo& t : catalog.Tables()) {
            QCOMPARE(t.Type, QStringLiteral("TABLE"));
            listed << t.Name;
        }
        QCOMPARE(listed, tables);
        // Every listed sheet opens.
        for (const QString& table : tables) {
            Recordset rs;
            rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(table), &cnx);
            rs.FinishFetch();
            QVERIFY(rs.FieldCount() > 0);
        }
    }

    void documentedValues_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        for (const QString& file : {Xlsx("datasets.xlsx"), Xls("datasets.xls")}) {
            const QString kind = file.section(u'.', -1);
            QTest::addRow("mtcars %s", qPrintable(kind)) << file << "SELECT COUNT(*), ROUND(SUM(mpg), 4), MAX(carb), MIN(wt) FROM [mtcars$]"
                                                  << "32|642.9|8|1.513";
            QTest::addRow("chickwts %s", qPrintable(kind)) << file << "SELECT COUNT(*), SUM(weight) FROM [chickwts$] WHERE feed = 'horsebean'"
                                                    << "10|1602";
            QTest::addRow("quakes %s", qPrintable(kind)) << file << "SELECT TOP 1 lat, long, depth, mag, stations FROM [quakes$]"
                                                  << "-20.42|181.62|562|4.8|41";
            QTest::addRow("quakes count %s", qPrintable(kind)) << file << "SELECT COUNT(*) FROM [quakes$]" << "1000";
        }
        for (const QString& file : {Xlsx("iris-excel-xlsx.xlsx"), Xlsx("iris-google-doc.xlsx"), Xls("iris-excel-xls.xls")}) {
            QTest::addRow("iris %s", qPrintable(file.section(u'/', -1)))
                << file << "SELECT Species, COUNT(*), ROUND(SUM([Sepal#Length]), 4) FROM [iris$] GROUP BY Species ORDER BY Species DESC"
                << "virginica|50|329.4";
        }
        QTest::newRow("inline strings, blank header cell")
            << Xlsx("inlineStr.xlsx") << "SELECT TOP 1 NN, Hierarchy, F3, [Outline Number], ID FROM [Requirements$]" << "1|+||1.|RQ11610";
        QTest::newRow("no styles part")
            << Xlsx("no-styles-or-sharedStrings-parts.xlsx")
            << "SELECT COUNT(*), MAX(Age), MIN([Churn probability]) FROM [Sheet1$] WHERE Language = 'german'" << "8|75|0.024343669";
        QTest::newRow("257 strings across CONTINUE records")
            << Xls("more-than-256-unique-strings-xls.xls") << "SELECT COUNT(*), COUNT(DISTINCT var), MAX(var) FROM [Sheet1$]" << "257|257|x99";
        QTest::newRow("UTF-16 strings")
            << Xls("vietnamese-utf8.xls") << "SELECT COUNT(*) FROM [Sheet1$] WHERE [Mô tả] = 'CÁT THÔ lẫn sạn thạch anh'" << "1";
        QTest::newRow("title rows above the table")
            << Xlsx("deaths.xlsx") << "SELECT [Lots of people], F2, F6 FROM [arts$] WHERE F2 = 'Profession'" << "Name|Profession|Date of death";
    }

    void documentedValues()
    {
        QFETCH(QString, file);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        Connection cnx;
        cnx.Open(ConnectionStringFor(file));
        Recordset rs;
        rs.Open(sql, &cnx);
        rs.FinishFetch();
        QVERIFY(!rs.Eof());
        QCOMPARE(Joined(rs), expected);
    }

    void columnTypes_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QList<int>>("adoTypes");
        QTest::newRow("guess_me xlsx") << Xlsx("types.xlsx") << "guess_me$"
                                       << QStringList{"VARCHAR(255)", "BOOLEAN", "DATETIME", "DOUBLE", "VARCHAR(255)"}
                                       << QList<int>{202, 11, 135, 5, 202};
        QTest::newRow("guess_me xls") << Xls("types.xls") << "guess_me$"
                                      << QStringList{"VARCHAR(255)", "DOUBLE", "DATETIME", "DOUBLE", "VARCHAR(255)"}
                                      << QList<int>{202, 5, 135, 5, 202};
        // Numbers, a date and a boolean mixed in one column: text, not a guess.
        QTest::newRow("mixed column") << Xlsx("type-me.xlsx") << "numeric_coercion$"
                                      << QStringList{"VARCHAR(255)", "VARCHAR(255)"} << QList<int>{202, 202};
        QTest::newRow("text with line breaks") << Xlsx("new_line_errors.xlsx") << "Blad1$" << QStringList{"VARCHAR(255)"} << QList<int>{202};
        QTest::newRow("empty sheet") << Xlsx("new_line_errors.xlsx") << "Blad2$" << QStringList{"VARCHAR(255)"} << QList<int>{202};
    }

    void columnTypes()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(QStringList, types);
        QFETCH(QList<int>, adoTypes);
        auto format = WorkbookFormat::Open(file, true);
        QCOMPARE(Types(format->OpenTable(table)->Columns()), types);
        Connection cnx;
        cnx.Open(ConnectionStringFor(file));
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM [%1]").arg(table), &cnx);
        rs.FinishFetch();
        QList<int> codes;
        for (int i = 0; i < rs.FieldCount(); ++i)
            codes << rs.Fields(i).Type();
        QCOMPARE(codes, adoTypes);
    }

    void blanksAndTrailingRows()
    {
        // The .xls twin has no formula results, so its last rows are empty and dropped.
        for (const QString& file : {Xlsx("types.xlsx"), Xls("types.xls")}) {
            const bool xlsx = file.endsWith(QStringLiteral(".xlsx"));
            auto table = WorkbookFormat::Open(file, true)->OpenTable(QStringLiteral("guess_me$"));
            const QList<QVariantList> rows = ReadAll(*table);
            QCOMPARE(rows.size(), xlsx ? 5 : 2);
            QCOMPARE(Names(table->Columns()), QStringList({"blank", "boolean", "date", "numeric", "text"}));
            QCOMPARE(rows[0][0], QVariant());
            QCOMPARE(rows[0][2], QVariant(Utc(2017, 2, 27)));
            QCOMPARE(rows[1][2], QVariant(Utc(2017, 2, 28)));
            QCOMPARE(rows[1][3], QVariant(2.0));
            QCOMPARE(rows[1][4], QVariant(QStringLiteral("world")));
            if (xlsx) {
                // A formatted but empty row inside the range is an all-null row.
                QCOMPARE(rows[2], QVariantList(5));
                QCOMPARE(rows[3], QVariantList({QVariant(), true, Utc(2017, 2, 28), 3.0, QStringLiteral("HELLO")}));
            }
        }
        auto missing = WorkbookFormat::Open(Xls("missing-values-xls.xls"), true)->OpenTable(QStringLiteral("Sheet1$"));
        const QList<QVariantList> rows = ReadAll(*missing);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], QVariantList({QStringLiteral("NA"), QVariant(), QVariant()}));
        QCOMPARE(rows[1][0], QVariant(QStringLiteral("1")));
        QCOMPARE(rows[1][2], QVariant(1.0));
    }

    void dates_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("firstRowHasNames");
        QTest::addColumn<QList<QDateTime>>("firstRow");
        const QList<QDateTime> y2k(5, Utc(2000, 1, 1));
        QTest::newRow("1900 system, LibreOffice") << Xlsx("dates-1900-LibreOffice.xlsx") << "Sheet1$" << false << y2k;
        QTest::newRow("1904 system, xls") << Xls("dates-1904.xls") << "Sheet1$" << false << y2k;
        QTest::newRow("deaths xlsx") << Xlsx("deaths.xlsx") << "other$" << true
                                     << QList<QDateTime>{QDateTime(), QDateTime(), QDateTime(), QDateTime(), Utc(1928, 7, 23), Utc(2016, 12, 25)};
        QTest::newRow("deaths xls") << Xls("deaths.xls") << "other$" << true
                                    << QList<QDateTime>{QDateTime(), QDateTime(), QDateTime(), QDateTime(), Utc(1928, 7, 23), Utc(2016, 12, 25)};
    }

    void dates()
    {
        QFETCH(QString, file);
        QFETCH(QString, table);
        QFETCH(bool, firstRowHasNames);
        QFETCH(QList<QDateTime>, firstRow);
        auto t = WorkbookFormat::Open(file, firstRowHasNames)->OpenTable(table);
        QList<QVariantList> rows = ReadAll(*t);
        if (firstRowHasNames) {
            // The deaths sheets hold notes above the table: find Vera Rubin's row.
            rows.removeIf([](const QVariantList& row) { return row.value(0).toString() != u"Vera Rubin"; });
        }
        QCOMPARE(rows.size(), 1);
        for (int c = 0; c < firstRow.size(); ++c) {
            if (!firstRow[c].isValid())
                continue;
            // Under the notes of the deaths sheets the date columns are text columns.
            if (rows[0][c].metaType().id() == QMetaType::QDateTime)
                QCOMPARE(rows[0][c], QVariant(firstRow[c]));
            else
                QCOMPARE(rows[0][c].toString(), SheetLayout::AsText(firstRow[c]));
        }
    }

    // The sheet holds each date-time and, beside it, Excel's own text of it.
    void dateTimesMatchExcelsText()
    {
        auto t = WorkbookFormat::Open(Xlsx("datetime-rounding.xlsx"), true)->OpenTable(QStringLiteral("Sheet1$"));
        const QList<QVariantList> rows = ReadAll(*t);
        QCOMPARE(rows.size(), 4);
        for (const QVariantList& row : rows)
            QCOMPARE(row[0].toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), row[1].toString());
    }

    void escapedText()
    {
        auto t = WorkbookFormat::Open(Xlsx("new_line_errors.xlsx"), true)->OpenTable(QStringLiteral("Blad1$"));
        QCOMPARE(Names(t->Columns()), QStringList{"column_name"});
        const QList<QVariantList> rows = ReadAll(*t);
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[0][0].toString().startsWith(QStringLiteral("first line of text \r\nsecond line of text \r\n")));
        QVERIFY(!rows[0][0].toString().contains(QStringLiteral("_x000D_")));
        QCOMPARE(rows[1][0].toString(), QStringLiteral("Will show \"_x000D_\" in every new line in cell above"));
    }

    // FreeXL and our .xlsx reader are independent: where the twins both hold a value it
    // must be the same.
    void xlsAndXlsxAgree_data()
    {
        QTest::addColumn<QString>("stem");
        QTest::addColumn<QString>("xlsxStem");
        QTest::newRow("datasets") << "datasets" << "datasets";
        QTest::newRow("deaths") << "deaths" << "deaths";
        QTest::newRow("iris") << "iris-excel-xls" << "iris-excel-xlsx";
        QTest::newRow("types") << "types" << "types";
        QTest::newRow("type-me") << "type-me" << "type-me";
        QTest::newRow("datetime-rounding") << "datetime-rounding" << "datetime-rounding";
    }

    void xlsAndXlsxAgree()
    {
        QFETCH(QString, stem);
        QFETCH(QString, xlsxStem);
        const XlsReader xls(Xls(stem + QStringLiteral(".xls")));
        const XlsxReader xlsx(Xlsx(xlsxStem + QStringLiteral(".xlsx")));
        QCOMPARE(xls.SheetNames(), xlsx.SheetNames());
        int compared = 0;
        for (int s = 0; s < xls.SheetNames().size(); ++s) {
            const SheetGrid a = xls.ReadSheet(s);
            const SheetGrid b = xlsx.ReadSheet(s);
            QVERIFY(!a.IsEmpty());
            QCOMPARE(a.FirstRow(), b.FirstRow());
            QCOMPARE(a.FirstColumn(), b.FirstColumn());
            for (int r = a.FirstRow(); r <= a.LastRow(); ++r) {
                for (int c = a.FirstColumn(); c <= a.LastColumn(); ++c) {
                    const QVariant va = a.Cell(r, c);
                    if (!va.isValid())
                        continue; // FreeXL reads no formula results
                    if (!b.Cell(r, c).isValid() && va.metaType().id() == QMetaType::Double)
                        continue; // FreeXL reads an error cell (#N/A) as a number
                    QVERIFY2(SameCell(va, b.Cell(r, c)), qPrintable(QStringLiteral("%1 row %2 column %3: %4 vs %5")
                                                                        .arg(xls.SheetNames()[s]).arg(r).arg(c)
                                                                        .arg(va.toString(), b.Cell(r, c).toString())));
                    ++compared;
                }
            }
        }
        QVERIFY(compared > 0);
    }

    void builtWorkbook()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("built.xlsx"));
        const QByteArray longText(300, 'z');
        WriteZip(file, Package(
            // The table starts at B3; C3 is a blank header; row 5 is empty; row 9 only
            // holds an error. Cells of row 6 after the first have no reference.
            "<row r=\"3\"><c r=\"B3\" t=\"s\"><v>0</v></c><c r=\"D3\" t=\"inlineStr\"><is><t>name</t></is></c>"
            "<c r=\"E3\" t=\"inlineStr\"><is><t>Amount.</t></is></c><c r=\"F3\" t=\"s\"><v>1</v></c>"
            "<c r=\"G3\" t=\"inlineStr\"><is><t>When</t></is></c><c r=\"H3\" t=\"inlineStr\"><is><t>Note</t></is></c></row>"
            "<row r=\"4\"><c r=\"B4\" t=\"s\"><v>2</v></c><c r=\"C4\"><v>1</v></c><c r=\"D4\" t=\"str\"><f>LOWER(B4)</f><v>ann</v></c>"
            "<c r=\"E4\" s=\"3\"><v>1.5</v></c><c r=\"F4\" t=\"b\"><v>1</v></c><c r=\"G4\" s=\"1\"><v>59</v></c>"
            "<c r=\"H4\" t=\"inlineStr\"><is><t>" + longText + "</t></is></c></row>"
            "<row r=\"6\"><c r=\"B6\" t=\"inlineStr\"><is><t>Bob</t></is></c><c t=\"inlineStr\"><is><t>two</t></is></c><c/>"
            "<c><v>-2.25E3</v></c><c t=\"b\"><v>0</v></c><c s=\"2\"><v>61.75</v></c></row>"
            "<row r=\"7\"><c r=\"B7\" s=\"1\"/></row><row r=\"9\"><c r=\"E9\" t=\"e\"><v>#N/A</v></c></row>",
            "<si><t>Name</t></si><si><r><t>Fl</t></r><r><rPr><b/></rPr><t>ag</t></r><rPh><t>ignored</t></rPh></si><si><t>Ann</t></si>"));

        Connection cnx;
        cnx.Open(ConnectionStringFor(file));
        Catalog catalog;
        catalog.SetActiveConnection(&cnx);
        QCOMPARE(catalog.Tables().size(), 1); // the chart sheet is no table
        QCOMPARE(catalog.Tables().first().Name, QStringLiteral("Data sheet$"));

        auto table = WorkbookFormat::Open(file, true)->OpenTable(QStringLiteral("Data sheet$"));
        QCOMPARE(Names(table->Columns()), QStringList({"Name", "F2", "name1", "Amount#", "Flag", "When", "Note"}));
        QCOMPARE(Types(table->Columns()),
                 QStringList({"VARCHAR(255)", "VARCHAR(255)", "VARCHAR(255)", "DOUBLE", "BOOLEAN", "DATETIME", "MEMO"}));
        const QList<QVariantList> rows = ReadAll(*table);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], QVariantList({QStringLiteral("Ann"), QStringLiteral("1"), QStringLiteral("ann"), 1.5, true,
                                        Utc(1900, 2, 28), QString::fromLatin1(longText)}));
        QCOMPARE(rows[1], QVariantList(7));
        QCOMPARE(rows[2], QVariantList({QStringLiteral("Bob"), QStringLiteral("two"), QVariant(), -2250.0, false,
                                        Utc(1900, 3, 1, 18), QVariant()}));

        // Through SQL, with the quoted form Jet lists and a WHERE on a boolean.
        Recordset rs;
        rs.Open(QStringLiteral("SELECT Name, [Amount#] FROM ['Data sheet$'] WHERE Flag = 0"), &cnx);
        rs.FinishFetch();
        QCOMPARE(Joined(rs), QStringLiteral("Bob|-2250"));

        auto unnamed = WorkbookFormat::Open(file, false)->OpenTable(QStringLiteral("Data sheet$"));
        QCOMPARE(Names(unnamed->Columns()).first(), QStringLiteral("F1"));
        QCOMPARE(ReadAll(*unnamed).size(), 4);
        QCOMPARE(ReadAll(*unnamed).first().first(), QVariant(QStringLiteral("Name")));
    }

    void writesAreRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("sql");
        QTest::newRow("update xlsx") << Xlsx("datasets.xlsx") << "UPDATE [mtcars$] SET mpg = 0";
        QTest::newRow("insert xlsx") << Xlsx("datasets.xlsx") << "INSERT INTO [chickwts$] (weight, feed) VALUES (1, 'x')";
        QTest::newRow("delete xls") << Xls("datasets.xls") << "DELETE FROM [quakes$] WHERE mag > 5";
    }

    void writesAreRefused()
    {
        QFETCH(QString, file);
        QFETCH(QString, sql);
        QTemporaryDir dir;
        const QString copy = dir.filePath(file.section(u'/', -1));
        QVERIFY(QFile::copy(file, copy));
        const QByteArray before = Sha256(copy);
        Connection cnx;
        cnx.Open(ConnectionStringFor(copy));
        try {
            cnx.Execute(sql);
            QFAIL("the write was accepted");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), err::Unspecified);
            QVERIFY2(e.Description().contains(QStringLiteral("read-only")), qPrintable(e.Description()));
        }
        cnx.Close();
        QCOMPARE(Sha256(copy), before);
    }

    void badInput_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("failsAtOpen");
        QTest::addColumn<QString>("message");
        QTest::newRow("text named .xlsx") << "text" << "notes.xlsx" << true << "neither an .xlsx workbook";
        QTest::newRow("zip that is no workbook") << "zip" << "other.xlsx" << true << "not an Excel workbook";
        QTest::newRow("truncated xlsx") << "truncated-xlsx" << "cut.xlsx" << true << "not a zip package";
        QTest::newRow("truncated xls") << "truncated-xls" << "cut.xls" << true << "cannot be read";
        QTest::newRow("xls zeroed in the middle") << "holed-xls" << "holed.xls" << true << "cannot be read";
#if defined(__SANITIZE_ADDRESS__)
        // The memory checker may catch FreeXL's bad read before it faults and end the child itself.
        QTest::newRow("xls on which FreeXL crashes") << "crash-xls" << "crash.xls" << true << "it is damaged (the .xls reader ";
#else
        QTest::newRow("xls on which FreeXL crashes") << "crash-xls" << "crash.xls" << true << "reader stopped on it";
#endif
        QTest::newRow("damaged sheet XML") << "bad-xml" << "bad.xlsx" << false << "is not valid XML";
        QTest::newRow("missing shared string") << "bad-string" << "bad.xlsx" << false << "shared string 7";
        QTest::newRow("bad cell reference") << "bad-ref" << "bad.xlsx" << false << "bad cell reference 'ZZZZ1'";
        QTest::newRow("damaged zip entry") << "bad-crc" << "crc.xlsx" << false << "damaged";
        QTest::newRow("mini stream FreeXL cannot follow") << "fixture:utf8-sheet-names.xls" << "" << true << "cannot be read";
        QTest::newRow("BIFF5 FreeXL cannot follow") << "fixture:biff5-rich-text-string.xls" << "" << true << "no worksheet";
    }

    void badInput()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fileName);
        QFETCH(bool, failsAtOpen);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QString file = dir.filePath(fileName);
        const auto cut = [&](const QString& source, double keep) {
            QFile in(source);
            QVERIFY(in.open(QIODevice::ReadOnly));
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(in.read(qint64(in.size() * keep)));
        };
        if (kind == u"text") {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("name;amount\nAnn;1\n");
        } else if (kind == u"zip") {
            WriteZip(file, {{"readme.txt", "hello"}, {"data/sheet.xml", "<a/>"}});
        } else if (kind == u"truncated-xlsx") {
            cut(Xlsx("datasets.xlsx"), 0.5);
        } else if (kind == u"truncated-xls") {
            cut(Xls("datasets.xls"), 0.5);
        } else if (kind == u"holed-xls") {
            cut(Xls("datasets.xls"), 1.0);
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(512);
            f.write(QByteArray(4096, '\xff'));
        } else if (kind == u"crash-xls") {
            // One byte found by fuzzing: FreeXL reads out of bounds and dies on it.
            cut(Xls("types.xls"), 1.0);
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(17523);
            f.write(".");
        } else if (kind == u"bad-xml") {
            WriteZip(file, Package("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</c></row>"));
        } else if (kind == u"bad-string") {
            WriteZip(file, Package("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>7</v></c></row>", "<si><t>only</t></si>"));
        } else if (kind == u"bad-ref") {
            WriteZip(file, Package("<row r=\"1\"><c r=\"ZZZZ1\"><v>1</v></c></row>"));
        } else if (kind == u"bad-crc") {
            QByteArray noise;
            for (quint32 x = 1; noise.size() < 4000;) {
                x = x * 1103515245u + 12345u;
                noise += char('a' + (x >> 16) % 26);
            }
            WriteZip(file, Package("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>" + noise + "</t></is></c></row>"));
            // Flip a byte inside the sheet's compressed data: inflating or the CRC check fails.
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            const qsizetype at = bytes.indexOf("xl/worksheets/sheet1.xml");
            QVERIFY(at > 0);
            bytes[at + 200] = char(bytes[at + 200] ^ 0x55);
            f.seek(0);
            f.write(bytes);
        } else {
            file = Xls(kind.mid(8));
        }
        const QByteArray before = Sha256(file);

        try {
            Connection cnx;
            cnx.Open(ConnectionStringFor(file));
            QVERIFY2(!failsAtOpen, "the workbook opened");
            Catalog catalog;
            catalog.SetActiveConnection(&cnx);
            QCOMPARE(catalog.Tables().size(), 1); // the broken sheet stays listed
            Recordset rs;
            rs.Open(QStringLiteral("SELECT * FROM [Data sheet$]"), &cnx);
            rs.FinishFetch();
            QFAIL("the damaged sheet was read");
        } catch (const AdoError& e) {
            QCOMPARE(e.Number(), err::Unspecified);
            QVERIFY2(e.Description().contains(message), qPrintable(e.Description()));
            if (!failsAtOpen)
                QVERIFY2(e.Description().contains(QStringLiteral("Data sheet$")), qPrintable(e.Description()));
        }
        QCOMPARE(Sha256(file), before);
    }
};

DABRIX_TEST_MAIN(TestExcel)
#include "tst_excel.moc"
