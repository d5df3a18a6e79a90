#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <QVariant>

class QWidget;
namespace ado {
class Recordset;
}

// Writes every row of a recordset to a semicolon-separated file: a header of field names,
// text quoted with doubled quotes, everything else in the user's regional form, CR LF after
// every line, the locale's encoding without a byte-order mark. The file is written whole
// into a private temporary file and then put in place, or not at all.
class CsvExporter {
public:
    // Export.csv in the system's temporary folder; 76 when that folder is missing.
    static QString DefaultPath();

    // Asks whether CR and LF are removed from the data, then writes the file (by default
    // the one of DefaultPath()).
    static void ExportCsv(QWidget* parent, ado::Recordset& rs, const QString& path = {});

    // The question; true for Yes.
    static bool AskStripCrLf(QWidget* parent);

    // Writes through a clone, so the recordset's current record does not move; here, on the
    // calling thread (CsvExportJob writes on a worker).
    static void Write(ado::Recordset& rs, const QString& path, bool stripCrLf);

    // The character set of the user's locale (LC_CTYPE), as the C library names it.
    static QByteArray LocaleCodeset();
    // The encoding the file is written in for that character set: the same, or UTF-8 for
    // the C locale's ASCII and for a set this Qt cannot encode.
    static QByteArray EncodingName(const QByteArray& codeset);

    // One field of a body line (a formatter made for the one value; see CsvFieldFormatter).
    static QString EncodeField(const QVariant& value, int adoType, bool stripCrLf, const QLocale& locale = QLocale());
};
