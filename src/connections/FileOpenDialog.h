#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// The file-open dialog a window owns and hands to whoever browses for it. It keeps the
// common dialog's settings (title, "description|patterns|..." filter, 1-based filter index,
// initial folder, file name, option flags) and shows a non-native QFileDialog, modal, with
// exec(); afterwards FileName is the chosen full path (empty on cancel) and FilterIndex the
// entry that was selected when the user confirmed.
class FileOpenDialog : public QObject {
    Q_OBJECT
public:
    // The option bits of the open-file dialog; only those Qt has a counterpart for act.
    enum Flag : unsigned {
        HideReadOnly = 0x4,
        PathMustExist = 0x800,
        FileMustExist = 0x1000,
        ShareAware = 0x4000,
        Explorer = 0x80000,
        LongNames = 0x200000,
    };

    explicit FileOpenDialog(QWidget* owner);

    QString DialogTitle;
    QString Filter;
    int FilterIndex = 0;
    QString InitDir;
    QString FileName;
    unsigned Flags = 0;

    // Shows the dialog and waits for it to close.
    void ShowOpen();

    // The Qt name filters for a "description|patterns|..." filter, one per entry. Each
    // keeps its description and appends its patterns in Qt's form, which the dialog hides.
    static QStringList NameFilters(const QString& filter);

private:
    QWidget* m_owner;
};
