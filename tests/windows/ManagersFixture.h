#pragma once

#include "WinFixture.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

class MDI;
class QWidget;
namespace testsupport {
class ModalAnswerer;
}

// The main window over a fresh database holding the tables of pictures and scripts, and
// the picture files the images window loads.
struct ManagersFixture {
    WinFixture db;
    QPointer<MDI> main;

    // Creates the database with "Images" (rows 1 to 4: codes "A1", blanks, Null, "B2") and
    // "Scripts" (rows 1 to 3), opens the shared connection and the main window.
    bool Open(const QString& kind, const QString& name);
    void Close();

    // Runs a menu command of the main window; the form it shows, or nullptr.
    QWidget* Command(const QString& menu, const QString& form);

    // The bytes of a picture file of exactly size bytes: a small picture, then bytes the
    // picture reader never looks at.
    static QByteArray PictureBytes(qint64 size, int seed);
    // Writes bytes to a file of the test's temporary folder and gives its path.
    static QString WriteFile(const QString& name, const QByteArray& bytes);
    // Stores bytes in a row of "Images" through a recordset of its own.
    void StorePicture(int id, const QByteArray& bytes) const;
    QByteArray StoredPicture(int id) const;
};
