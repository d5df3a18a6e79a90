#include "connections/FileOpenDialog.h"

#include <QFileDialog>

namespace {

QString Description(const QString& filter, qsizetype entry)
{
    return filter.section(u'|', int(2 * entry), int(2 * entry));
}

} // namespace

FileOpenDialog::FileOpenDialog(QWidget* owner) : QObject(owner), m_owner(owner)
{
    setObjectName(QStringLiteral("cdb"));
}

QStringList FileOpenDialog::NameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        for (QString& pattern : patterns)
            pattern = pattern.trimmed();
        // Qt reads the patterns from the last parentheses, separated by blanks; the
        // description's own "(*.adt;*.add)" would be taken as one pattern matching nothing.
        result << parts.at(i) + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return result;
}

void FileOpenDialog::ShowOpen()
{
    QFileDialog dialog(m_owner);
    dialog.setObjectName(QStringLiteral("cdbDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // Only the patterns' own text shows: the description already carries them.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's open dialog always wants an existing folder; the file must exist only when asked.
    dialog.setFileMode((Flags & FileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setWindowTitle(DialogTitle);
    dialog.setModal(true);

    const QStringList filters = NameFilters(Filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) {
        const int index = FilterIndex >= 1 && FilterIndex <= filters.size() ? FilterIndex : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!InitDir.isEmpty())
        dialog.setDirectory(InitDir);
    if (!FileName.isEmpty())
        dialog.selectFile(FileName);

    if (dialog.exec() != QDialog::Accepted) {
        FileName.clear();
        return;
    }
    FileName = dialog.selectedFiles().value(0);
    // With the details hidden, Qt 6.4 names the selected filter by its description only.
    const QString chosen = dialog.selectedNameFilter();
    qsizetype selected = filters.indexOf(chosen);
    for (qsizetype i = 0; selected < 0 && i < filters.size(); ++i)
        if (Description(Filter, i).simplified() == chosen)
            selected = i;
    if (selected >= 0)
        FilterIndex = static_cast<int>(selected) + 1;
}
