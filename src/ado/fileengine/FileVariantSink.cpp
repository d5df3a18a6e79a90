#include "ado/fileengine/FileVariantSink.h"

#include <QDateTime>

namespace ado {

void FileVariantSink::DateTime(QDate date, QTime time)
{
    m_value = QDateTime(date, time, Qt::UTC);
}

} // namespace ado
