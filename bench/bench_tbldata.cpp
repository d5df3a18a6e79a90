// A 1,000,000-row SQLite table in a table data window: first rows, background fetch,
// memory, responsiveness, header-click sort and export, each against a baseline measured
// in the same run (a bare sqlite3_step loop; the sqlite3 shell writing CSV).
//
// Usage: bench_tbldata [folder]   (the database is made once in the folder and reused)
#include "BenchTable.h"

#include "ado/Connection.h"
#include "ado/Recordset.h"
#include "app/MDabrix.h"
#include "ui/DataGrid.h"
#include "ui/RecordsetModel.h"
#include "windows/CsvExporter.h"
#include "windows/CsvFieldFormatter.h"
#include "windows/frmTblData.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <numeric>
#include <cstdio>
#include <vector>

namespace {

constexpr int Rows = 1000000;
const QString Table = QStringLiteral("t");
constexpr int NameColumn = 1;
constexpr int TickMs = 10;

double Seconds(qint64 ns)
{
    return double(ns) / 1e9;
}

struct StepTimes {
    double first = 0; // prepare and the first InitialRows rows
    double all = 0;
    qint64 rows = 0;
};

// Reads every column of every row, as a program on the bare C API would.
StepTimes StepLoop(const QString& path, const char* sql, int firstRows)
{
    StepTimes out;
    sqlite3* db = nullptr;
    bench::Check(sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
    QElapsedTimer t;
    t.start();
    sqlite3_stmt* stmt = nullptr;
    bench::Check(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), db, "prepare");
    const int columns = sqlite3_column_count(stmt);
    quint64 sink = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(stmt, c)) {
            case SQLITE_INTEGER:
                sink += quint64(sqlite3_column_int64(stmt, c));
                break;
            case SQLITE_FLOAT:
                sink += quint64(sqlite3_column_double(stmt, c));
                break;
            case SQLITE_TEXT:
                sink += quint64(sqlite3_column_bytes(stmt, c)) + quint64(sqlite3_column_text(stmt, c)[0]);
                break;
            default:
                break;
            }
        }
        if (++out.rows == firstRows)
            out.first = Seconds(t.nsecsElapsed());
    }
    sqlite3_finalize(stmt);
    out.all = Seconds(t.nsecsElapsed());
    sqlite3_close(db);
    if (sink == 0)
        std::printf("(empty read)\n");
    return out;
}

StepTimes BestStepLoop(const QString& path, const char* sql, int firstRows, int runs)
{
    StepTimes best;
    for (int i = 0; i < runs; ++i) {
        const StepTimes s = StepLoop(path, sql, firstRows);
        if (i == 0 || s.all < best.all)
            best.all = s.all, best.rows = s.rows;
        if (i == 0 || s.first < best.first)
            best.first = s.first;
    }
    return best;
}

// Answers the export's two message boxes (the question, then the success report) as soon
// as they are shown, noting when each appeared.
class BoxAnswerer : public QObject {
public:
    explicit BoxAnswerer(const QElapsedTimer& clock) : m_clock(clock)
    {
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::Poll);
        m_timer.start();
    }
    QStringList texts;
    std::vector<qint64> shownAt;

private:
    void Poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_last || !box->isVisible())
            return;
        m_last = box;
        shownAt.push_back(m_clock.nsecsElapsed());
        texts << box->text();
        QPointer<QMessageBox> target(box);
        QTimer::singleShot(0, this, [target] {
            if (!target)
                return;
            QAbstractButton* b = target->button(QMessageBox::Yes);
            if (!b)
                b = target->defaultButton() ? target->defaultButton() : target->buttons().value(0);
            if (b)
                b->click();
        });
    }

    const QElapsedTimer& m_clock;
    QMessageBox* m_last = nullptr;
    QTimer m_timer;
};

void Click(QWidget* target, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// The first paint of the grid once it holds rows.
class PaintWatch : public QObject {
public:
    PaintWatch(const QElapsedTimer& clock, const RecordsetModel* model) : m_clock(clock), m_model(model) {}
    qint64 firstPaint = -1;
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            if (firstPaint < 0 && m_model->RecordRows() > 0)
                firstPaint = m_clock.nsecsElapsed();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& m_clock;
    const RecordsetModel* m_model;
};

void Row(const char* figure, double value, const char* unit, double baseline, const char* against)
{
    if (baseline > 0)
        std::printf("%-34s %12.3f %-3s %12.3f %-3s %9.1fx  %s\n", figure, value, unit, baseline, unit, value / baseline, against);
    else
        std::printf("%-34s %12.3f %-3s %12s %-3s %10s  %s\n", figure, value, unit, "-", "", "-", against);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window saves its placement and splitter: keep that away from the user's settings.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::tempPath();
    if (!QDir().mkpath(folder))
        qFatal("cannot make %s", qPrintable(folder));
    const QString dbPath = QDir(folder).absoluteFilePath(QStringLiteral("bench_tbldata.sqlite"));
    bench::CreateTable(dbPath, Rows);
    const double dbMb = double(QFileInfo(dbPath).size()) / (1 << 20);
    std::printf("file: %.1f MB, %d rows, 8 columns\n\n", dbMb, Rows);

    // Baselines. The first run also brings the file into the page cache for everyone after.
    const StepTimes plain = BestStepLoop(dbPath, "SELECT * FROM t", 50, 3);
    const StepTimes ordered = BestStepLoop(dbPath, "SELECT * FROM t ORDER BY name COLLATE NOCASE", 50, 2);
    if (plain.rows != Rows || ordered.rows != Rows)
        qFatal("baseline read %lld rows", static_cast<long long>(plain.rows));

    MDabrix::AppTitle = QStringLiteral("Dabrix");
    MDabrix::IsJet4 = false;
    MDabrix::IsHfsql = false;
    MDabrix::Cnx = std::make_unique<ado::Connection>();
    MDabrix::Cnx->Open(QStringLiteral("Provider=SQLite;Data Source=") + dbPath);

    const qint64 rssBefore = bench::StatusKb("VmRSS");
    const qint64 hwmBefore = bench::StatusKb("VmHWM");

    // The window, opened the way the table list opens it: Init, then show.
    QElapsedTimer clock;
    std::vector<qint64> ticks;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(TickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticks.push_back(clock.nsecsElapsed()); });
    clock.start();
    ticks.push_back(0);
    ticker.start();

    QPointer<frmTblData> window = new frmTblData;
    auto* grid = window->findChild<DataGrid*>(QStringLiteral("Grd"));
    PaintWatch paintWatch(clock, grid->Model());
    grid->viewport()->installEventFilter(&paintWatch);
    window->Init(Table, 0, true);
    const qint64 initDone = clock.nsecsElapsed();
    const int rowsAfterInit = grid->Model()->RecordRows();
    window->show();

    // Time spent by the model and the grid taking in each chunk of rows.
    ado::Recordset* rs = window->Recordset();
    std::vector<qint64> notifyNs;
    std::vector<int> chunkRows;
    qint64 notifyStart = 0;
    QObject::connect(rs, &ado::Recordset::rowsAboutToBeInserted, [&](int, int) { notifyStart = clock.nsecsElapsed(); });
    QObject::connect(rs, &ado::Recordset::rowsInserted, [&](int first, int last) {
        notifyNs.push_back(clock.nsecsElapsed() - notifyStart);
        chunkRows.push_back(last - first + 1);
    });

    qint64 firstRowsAt = rowsAfterInit > 0 ? initDone : -1;
    qint64 completeAt = -1;
    QString statusAtComplete;
    QEventLoop loop;
    QObject::connect(grid->Model(), &QAbstractItemModel::rowsInserted, [&] {
        if (firstRowsAt < 0)
            firstRowsAt = clock.nsecsElapsed();
    });
    QObject::connect(rs, &ado::Recordset::FetchComplete, [&] {
        completeAt = clock.nsecsElapsed();
        // The window's own handler was connected first and has set the count by now.
        statusAtComplete = window->StatusText();
        loop.quit();
    });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    ticker.stop();
    if (completeAt < 0)
        qFatal("no FetchComplete within 10 minutes");
    // Let the window paint its final state before the memory figures.
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    loop.exec();

    const qint64 rssAfterFetch = bench::StatusKb("VmRSS");
    const qint64 hwmAfterFetch = bench::StatusKb("VmHWM");
    if (statusAtComplete != QStringLiteral("1000000 objet(s)") || grid->Model()->RecordRows() != Rows)
        std::printf("WARNING: status \"%s\", %d rows in the grid\n", qPrintable(statusAtComplete), grid->Model()->RecordRows());

    qint64 longestGap = 0, longestGapAt = 0, longestAfterFirst = 0;
    std::vector<qint64> gaps;
    for (size_t i = 1; i < ticks.size(); ++i) {
        const qint64 gap = ticks[i] - ticks[i - 1];
        gaps.push_back(gap);
        if (gap > longestGap)
            longestGap = gap, longestGapAt = ticks[i];
        if (ticks[i - 1] >= firstRowsAt && gap > longestAfterFirst)
            longestAfterFirst = gap;
    }
    std::sort(gaps.begin(), gaps.end());
    const qint64 p99Gap = gaps.empty() ? 0 : gaps[size_t(double(gaps.size() - 1) * 0.99)];

    // Sort by the text column through a click on its header.
    QHeaderView* header = grid->horizontalHeader();
    clock.restart();
    Click(header->viewport(), QPoint(header->sectionViewportPosition(NameColumn) + 5, header->height() / 2));
    const qint64 sortNs = clock.nsecsElapsed();
    QCoreApplication::processEvents();
    const qint64 sortPaintedNs = clock.nsecsElapsed();
    const bool sortedAsc = window->SortColumn() == NameColumn && window->SortAscending();
    const QString firstName = grid->Model()->index(0, NameColumn).data().toString();
    const qint64 rssAfterSort = bench::StatusKb("VmRSS");

    // Export from the toolbar button, answering "Yes" to the question.
    const QString exportPath = CsvExporter::DefaultPath();
    QFile::remove(exportPath);
    clock.restart();
    qint64 exportNs = -1;
    QStringList boxTexts;
    // The window's event loop while the rows are written: a timer's longest wait.
    std::vector<qint64> exportTicks;
    {
        BoxAnswerer answerer(clock);
        QTimer exportTicker;
        exportTicker.setInterval(TickMs);
        QObject::connect(&exportTicker, &QTimer::timeout, [&] {
            if (window->IsExporting())
                exportTicks.push_back(clock.nsecsElapsed());
        });
        exportTicker.start();
        window->findChild<QAction*>(QStringLiteral("Export"))->trigger();
        exportNs = answerer.shownAt.size() >= 2 ? answerer.shownAt[1] - answerer.shownAt[0] : -1;
        boxTexts = answerer.texts;
    }
    qint64 exportGap = 0;
    for (size_t i = 1; i < exportTicks.size(); ++i)
        exportGap = std::max(exportGap, exportTicks[i] - exportTicks[i - 1]);
    const qint64 exportSize = QFileInfo(exportPath).size();
    const qint64 hwmAfterExport = bench::StatusKb("VmHWM");

    // The export baseline: the sqlite3 shell writing the same rows as CSV.
    QTemporaryDir out;
    const QString shellCsv = out.filePath(QStringLiteral("shell.csv"));
    QProcess shell;
    shell.setStandardOutputFile(shellCsv);
    QElapsedTimer shellClock;
    shellClock.start();
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-csv"), dbPath, QStringLiteral("SELECT * FROM t")});
    if (!shell.waitForFinished(600000) || shell.exitCode() != 0)
        qFatal("sqlite3 -csv failed: %s", qPrintable(shell.errorString()));
    const qint64 shellNs = shellClock.nsecsElapsed();
    const qint64 shellSize = QFileInfo(shellCsv).size();

    delete window;
    QCoreApplication::processEvents();

    // Where the time goes. Qt's SQLite driver alone, reading every value:
    qint64 qtSqlNs = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(dbPath);
        db.open();
        clock.restart();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(QStringLiteral("SELECT * FROM t"));
        qint64 sink = 0;
        while (q.next())
            for (int c = 0; c < 8; ++c)
                sink += q.value(c).isNull() ? 0 : 1;
        qtSqlNs = clock.nsecsElapsed();
        if (sink == 0)
            std::printf("(empty read)\n");
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));

    // The data layer alone, read at once without a window, then exported and sorted.
    qint64 adoNs = 0, sortAloneNs = 0, ciSortNs = 0, foldedSortNs = 0, valueLoopNs = 0, oneColumnNs = 0, writeNs = 0, sortedWriteNs = 0, sortedReadNs = 0;
    std::vector<qint64> encodeNs(8, 0);
    QStringList columnNames;
    {
        clock.restart();
        ado::Recordset alone;
        alone.SetCursorLocation(ado::Recordset::adUseClient);
        alone.Open(frmTblData::QueryText(Table, 0), MDabrix::Cnx.get(), ado::Recordset::adOpenStatic,
                   ado::Recordset::adLockOptimistic);
        adoNs = clock.nsecsElapsed();
        if (alone.RecordCount() != Rows)
            std::printf("WARNING: the data layer read %d rows\n", alone.RecordCount());

        // The export in the order the rows came in, as the shell writes them: reading the
        // values, encoding each column (less one pass over the rows), and the whole write.
        clock.restart();
        qint64 sink = 0;
        for (int row = 0; row < Rows; ++row)
            for (int c = 0; c < 8; ++c)
                sink += alone.ValueAt(row, c).isNull() ? 0 : 1;
        valueLoopNs = clock.nsecsElapsed();
        clock.restart();
        for (int row = 0; row < Rows; ++row)
            sink += alone.ValueAt(row, 0).isNull() ? 0 : 1;
        oneColumnNs = clock.nsecsElapsed();
        QLocale locale;
        for (int c = 0; c < 8; ++c) {
            const CsvFieldFormatter formatter(alone.Fields(c).Type(), true, locale);
            columnNames << alone.Fields(c).Name();
            QString line;
            clock.restart();
            for (int row = 0; row < Rows; ++row) {
                line.resize(0);
                formatter.Append(line, alone.ValueAt(row, c));
                sink += line.size();
            }
            encodeNs[size_t(c)] = clock.nsecsElapsed();
        }
        if (sink == 0)
            std::printf("(empty read)\n");
        clock.restart();
        CsvExporter::Write(alone, out.filePath(QStringLiteral("direct.csv")), true);
        writeNs = clock.nsecsElapsed();
        std::vector<QString> names(Rows);
        for (int i = 0; i < Rows; ++i)
            names[size_t(i)] = alone.ValueAt(i, NameColumn).toString();
        clock.restart();
        alone.SetSort(QStringLiteral("name ASC"));
        sortAloneNs = clock.nsecsElapsed();
        // The same rows in the window's sorted order: values read out of place.
        clock.restart();
        CsvExporter::Write(alone, out.filePath(QStringLiteral("sorted.csv")), true);
        sortedWriteNs = clock.nsecsElapsed();
        // The reading part of that, on one thread.
        {
            const int block = 16384;
            clock.restart();
            for (int first = 0; first < Rows; first += block) {
                std::vector<QVariant> values(size_t(block) * 8);
                alone.ValuesAt(first, std::min(block, Rows - first), values.data());
            }
            sortedReadNs = clock.nsecsElapsed();
        }

        // The text comparison the sort uses, against keys folded once.
        std::vector<int> order(Rows);
        std::iota(order.begin(), order.end(), 0);
        clock.restart();
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return names[size_t(a)].compare(names[size_t(b)], Qt::CaseInsensitive) < 0; });
        ciSortNs = clock.nsecsElapsed();
        std::iota(order.begin(), order.end(), 0);
        clock.restart();
        std::vector<QString> folded(Rows);
        for (int i = 0; i < Rows; ++i)
            folded[size_t(i)] = names[size_t(i)].toCaseFolded();
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return folded[size_t(a)] < folded[size_t(b)]; });
        foldedSortNs = clock.nsecsElapsed();
    }
    MDabrix::Cnx.reset();
    QFile::remove(exportPath);

    // Notification cost per chunk, early against late: a growing cost would mean work in
    // proportion to the rows already held.
    const size_t chunks = notifyNs.size();
    auto average = [&](size_t from, size_t to) {
        double ns = 0, rows = 0;
        for (size_t i = from; i < to; ++i)
            ns += double(notifyNs[i]), rows += chunkRows[i];
        return std::pair<double, double>((to > from ? ns / double(to - from) : 0), (to > from ? rows / double(to - from) : 0));
    };
    const size_t edge = std::min<size_t>(20, chunks / 2);
    const auto early = average(0, edge);
    const auto late = average(chunks - edge, chunks);
    qint64 notifyTotal = 0;
    for (qint64 ns : notifyNs)
        notifyTotal += ns;

    std::printf("%-34s %16s %16s %10s  %s\n", "figure", "window", "baseline", "ratio", "baseline");
    std::printf("%s\n", QByteArray(110, '-').constData());
    Row("first rows in the model", Seconds(firstRowsAt) * 1e3, "ms", plain.first * 1e3, "sqlite3_step, prepare + 50 rows");
    Row("first rows painted in the grid", Seconds(paintWatch.firstPaint) * 1e3, "ms", plain.first * 1e3,
        "sqlite3_step, prepare + 50 rows");
    Row("FetchComplete (1000000 objet(s))", Seconds(completeAt), "s", plain.all, "sqlite3_step loop, all columns");
    Row("  data layer alone, sync Open", Seconds(adoNs), "s", plain.all, "sqlite3_step loop, all columns");
    Row("longest event-loop gap in fetch", Seconds(longestGap) * 1e3, "ms", TickMs, "10 ms timer interval");
    Row("  longest gap after first rows", Seconds(longestAfterFirst) * 1e3, "ms", TickMs, "10 ms timer interval");
    Row("  99th percentile gap", Seconds(p99Gap) * 1e3, "ms", TickMs, "10 ms timer interval");
    Row("RSS taken by the rows", double(rssAfterFetch - rssBefore) / 1024, "MB", dbMb, "database file size");
    Row("peak RSS (VmHWM) after fetch", double(hwmAfterFetch) / 1024, "MB", double(hwmBefore) / 1024, "VmHWM before the window");
    Row("sort by name (header click)", Seconds(sortNs), "s", ordered.all, "step loop ORDER BY name NOCASE");
    Row("  sort, click to repainted", Seconds(sortPaintedNs), "s", ordered.all - plain.all, "sqlite's sort share of that");
    Row("export (toolbar, question to done)", Seconds(exportNs), "s", Seconds(shellNs), "sqlite3 -csv > file");
    Row("longest event-loop gap in export", Seconds(exportGap) * 1e3, "ms", TickMs, "10 ms timer interval");
    std::printf("%s\n", QByteArray(110, '-').constData());
    std::printf("status at FetchComplete: \"%s\"; rows in the grid after Init: %d; after fetch: %d\n",
                qPrintable(statusAtComplete), rowsAfterInit, Rows);
    std::printf("event-loop ticks during fetch: %zu (%.0f expected at %d ms); longest gap ended at %.3f s\n",
                ticks.size(), Seconds(completeAt) * 1e3 / TickMs, TickMs, Seconds(longestGapAt));
    std::printf("Init (window made + first chunk): %.1f ms; grid paints during fetch: %d\n", Seconds(initDone) * 1e3,
                paintWatch.paints);
    std::printf("chunks: %zu; model/grid notification total %.3f s (%.1f%% of the fetch); "
                "first %zu chunks %.2f ms per %.0f rows, last %zu chunks %.2f ms per %.0f rows\n",
                chunks, Seconds(notifyTotal), 100.0 * double(notifyTotal) / double(completeAt), edge, early.first / 1e6,
                early.second, edge, late.first / 1e6, late.second);
    std::printf("RSS: %.1f MB before the window, %.1f MB after fetch, %.1f MB after sort; VmHWM %.1f MB after export\n",
                double(rssBefore) / 1024, double(rssAfterFetch) / 1024, double(rssAfterSort) / 1024,
                double(hwmAfterExport) / 1024);
    std::printf("sort: column %d ascending %s; first name \"%s\"\n", NameColumn, sortedAsc ? "yes" : "NO", qPrintable(firstName));
    std::printf("export: %.1f MB (window) vs %.1f MB (sqlite3 -csv); boxes: %s\n", double(exportSize) / (1 << 20),
                double(shellSize) / (1 << 20), qPrintable(boxTexts.join(QStringLiteral(" | "))));
    std::printf("\nwhere the time goes (no window):\n");
    std::printf("  read: sqlite3_step %.3f s, QSqlQuery values %.3f s, ado Recordset sync Open %.3f s\n", plain.all,
                Seconds(qtSqlNs), Seconds(adoNs));
    std::printf("  sort: Recordset::SetSort %.3f s (window click %.3f s); 1M names, QString::compare CaseInsensitive "
                "%.3f s, folded once then compared %.3f s\n",
                Seconds(sortAloneNs), Seconds(sortNs), Seconds(ciSortNs), Seconds(foldedSortNs));
    qint64 encodeTotal = 0;
    QStringList perColumn;
    for (int c = 0; c < 8; ++c) {
        encodeNs[size_t(c)] -= oneColumnNs;
        encodeTotal += encodeNs[size_t(c)];
        perColumn << QStringLiteral("%1 %2").arg(columnNames.value(c)).arg(Seconds(encodeNs[size_t(c)]), 0, 'f', 3);
    }
    std::printf("  export, unsorted rows: CsvExporter::Write %.3f s (sorted rows %.3f s; window, sorted rows: %.3f s); "
                "ValueAt loop %.3f s (sorted rows by blocks, one thread: %.3f s); formatters %.3f s: %s\n",
                Seconds(writeNs), Seconds(sortedWriteNs), Seconds(exportNs), Seconds(valueLoopNs), Seconds(sortedReadNs), Seconds(encodeTotal),
                qPrintable(perColumn.join(QStringLiteral(", "))));
    std::printf("baselines: step loop %.3f s (first 50 rows %.3f ms), ORDER BY loop %.3f s\n", plain.all, plain.first * 1e3,
                ordered.all);
    return 0;
}
