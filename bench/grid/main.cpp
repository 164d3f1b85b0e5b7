// Times the results grid on a large result: binding it, making row 1 current and
// painting, then jumping to the last row. With a path to a Jet database (default: the
// poem corpus, when present) it also times the list-all search whose rows it binds.
//
//   bench_grid [database.mdb]
#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "ui/resultgrid.h"
#include "ui/twips.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
class GeneratedRows : public morvessa::ResultRows {
public:
    explicit GeneratedRows(int count) : m_count(count) {}
    int count() const override { return m_count; }
    QString text(int row, int col) const override
    {
        return col == 0 ? QStringLiteral("第%1篇 — 標題").arg(row + 1) : QStringLiteral("p\\%1.htm").arg(row + 1);
    }

private:
    int m_count;
};

double medianMs(int runs, const std::function<void()> &run)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void bindAndShow(morvessa::ResultGrid &grid, std::shared_ptr<const morvessa::ResultRows> rows)
{
    grid.setDataSource(std::move(rows));
    grid.setRow(1);
    grid.setCol(1);
    grid.repaint();
}

void lastRow(morvessa::ResultGrid &grid)
{
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QCoreApplication::sendEvent(&grid, &end);
    grid.repaint();
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    morvessa::ResultGrid grid;
    grid.setGeometry(morvessa::twipsRect(200, 1200, 3520, 7125));
    grid.setColWidth(0, 3500);
    grid.setColWidth(1, 0);
    grid.setScrollBars(2);
    grid.show();
    QCoreApplication::processEvents();

    const auto generated = std::make_shared<GeneratedRows>(300000);
    std::printf("generated 300000 rows: bind, row 1, paint  %8.2f ms (median of 9)\n",
                medianMs(9, [&] { bindAndShow(grid, generated); }));
    std::printf("generated 300000 rows: Ctrl+End, paint      %8.2f ms (median of 9)\n", medianMs(9, [&] {
                    grid.setRow(1);
                    lastRow(grid);
                }));

    QString database = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(MORVESSA_DEFAULT_CORPUS);
    if (argc <= 1 && !QFileInfo::exists(database))
        database = QStringLiteral(MORVESSA_DEFAULT_CORPUS_2);
    if (!QFileInfo::exists(database)) {
        std::printf("no database at %s: search figures skipped\n", qPrintable(database));
        return 0;
    }
    const QString connString = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + database +
                               QStringLiteral(";Persist Security Info=False");
    const morvessa::QueryAnalysis listAll = morvessa::analyseQuery(QString());
    morvessa::SearchOutcome outcome;
    QString failure;
    const double searchMs = medianMs(5, [&] {
        const morvessa::Result<morvessa::SearchOutcome> searched = morvessa::runSearch(connString, listAll);
        if (searched)
            outcome = *searched;
        else
            failure = searched.message();
    });
    if (!failure.isEmpty()) {
        std::printf("%s\n", qPrintable(failure));
        return 1;
    }
    const int count = outcome.rows ? outcome.rows->count() : 0;
    std::printf("%s: list-all search, %d rows           %8.2f ms (median of 5)\n",
                qPrintable(QFileInfo(database).fileName()), count, searchMs);
    std::printf("%s: bind, row 1, paint                %8.2f ms (median of 9)\n",
                qPrintable(QFileInfo(database).fileName()), medianMs(9, [&] { bindAndShow(grid, outcome.rows); }));
    return 0;
}
