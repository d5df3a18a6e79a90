#pragma once

#include "ado/fileengine/FileValueSink.h"

namespace ado {

// Collects one value as the QVariant FileTableCursor::Value gives for it, for a reader
// whose typed route is its only one.
class FileVariantSink final : public FileValueSink {
public:
    const QVariant& Result() const { return m_value; }

    void Null() override { m_value = QVariant(); }
    void Integer(qint64 value) override { m_value = value; }
    void Real(double value) override { m_value = value; }
    void Boolean(bool value) override { m_value = value; }
    void Utf8(const char* text, qsizetype size) override { m_value = QString::fromUtf8(text, size); }
    void Text(const QString& text) override { m_value = text; }
    void Bytes(const char* data, qsizetype size) override { m_value = QByteArray(data, size); }
    void Date(QDate date) override { m_value = date; }
    void Time(QTime time) override { m_value = time; }
    void DateTime(QDate date, QTime time) override;
    void Variant(const QVariant& value) override { m_value = value; }

private:
    QVariant m_value;
};

} // namespace ado
