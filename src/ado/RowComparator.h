#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <vector>

namespace ado {

struct ColumnInfo;
class ColumnStore;

// The typed ordering that Sort uses: Nulls first, then numbers by value, dates by time,
// text without regard to case, bytes by content. "Field ASC, Other DESC" is parsed here.
class RowComparator {
public:
    struct Key {
        int column = 0;
        bool descending = false;
        int type = 0; // ADO type of the column: exact decimals may come as text
    };

    // Throws ItemNotFound for a field name the columns do not have.
    static QVector<Key> Parse(const QString& sort, const QVector<ColumnInfo>& columns);

    // Sorts order (row indexes) stably by the keys.
    static void Sort(std::vector<int>& order, const ColumnStore& rows, const QVector<Key>& keys);

    // -1, 0 or 1.
    static int Compare(const QVariant& a, const QVariant& b);
};

} // namespace ado
