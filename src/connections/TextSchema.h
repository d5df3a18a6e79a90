#pragma once

#include <QString>
#include <QtGlobal>

class QIODevice;

// Delimited text files are never opened where the user keeps them: they are copied into a
// working folder inside the work folder ("Main" for the chooser, "Import" for the import
// window) and described there in a "Schema.ini" that the text provider reads.
class TextSchema {
public:
    // Copies the files of folder whose extension (after the last dot, without it) equals
    // ext, case-sensitively, into the working folder, rewrites its "Schema.ini" with one
    // section per copy, and returns the working folder. Nothing is written in folder.
    // A failure part-way leaves the copies and sections made so far.
    static QString PrepareTextFolder(const QString& folder, const QString& ext, qint16 delimiter, bool lIsMain);

    // Appends the five lines that describe fileName to the open "Schema.ini".
    static void WriteSchemaSection(const QString& fileName, QIODevice& stream, qint16 delimiter);

    // Whether "Schema.ini" can name fileName faithfully: the single-byte code page must
    // hold it and it must fit on one line.
    static bool CanDescribe(const QString& fileName);

    // The extension as the builder and the preparation compare it: the text after the last
    // dot of the file name, without the dot; empty when there is none.
    static QString Extension(const QString& fileName);

    // "Schema.ini" is written in this code page, the one Windows desktops use for Western
    // European languages; Linux has no system single-byte code page of its own.
    static constexpr const char* CodePage = "windows-1252";
};
