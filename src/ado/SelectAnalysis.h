#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace ado {

// Whether a SELECT reads exactly one base table, so that its rows can be written back,
// and how its output columns map to that table. Works on Jet or native text: brackets,
// double quotes and backquotes are all accepted around names.
//
// Single table means: SELECT [ALL] [TOP n] <list> FROM <table> [[AS] alias] followed only
// by WHERE, ORDER BY, LIMIT/OFFSET/FETCH or FOR; no join, no comma in FROM, no GROUP BY
// or HAVING, no DISTINCT, no compound, no sub-select or function in FROM, no aggregate in
// the select list, no SELECT ... INTO. A '*' mixed with other items also fails: the
// output columns could not be named here. Everything but `fromPos` is filled only when
// `singleTable` is true.
struct SelectAnalysis {
    bool singleTable = false;
    QString table;  // unquoted
    QString schema; // of a qualified "schema.table", unquoted
    QString alias;
    bool selectsAll = false; // the list is "*" or "<table-or-alias>.*" alone

    // Parallel lists, one entry per item of the select list (empty when selectsAll).
    // `columns` holds the source column, or "" for an expression, which is read-only;
    // `outputNames` the name the column is delivered under: its alias, else the column,
    // else the expression's text as written.
    QStringList columns;
    QStringList outputNames;
    QList<bool> columnIsPlain;

    qsizetype fromPos = -1; // offset of the top-level FROM keyword, -1 when there is none

    static SelectAnalysis Analyze(const QString& sql);
};

} // namespace ado
