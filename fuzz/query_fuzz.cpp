// Query analysis with the engine: bytes -> query box text -> analyseQuery -> the statement
// run over the test collection's table in memory, on the fast path and on the plain path.
// Both answer with the same rows in the same order, or both fail.
#include "fuzztarget.h"

#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "store/mdbreader.h"

#include <QStringList>

#include <cstdio>
#include <memory>

namespace {

std::shared_ptr<const morvessa::StoreTable> g_table;

struct Answer {
    bool failed = false;
    QString error;
    QStringList cells;
    bool operator==(const Answer &other) const { return failed == other.failed && cells == other.cells; }
    QString summary() const
    {
        return failed
                   ? QStringLiteral("error: ") + error
                   : QString::number(cells.size() / 2) + QStringLiteral(" rows: ") + cells.join(QLatin1Char('|'));
    }
};

Answer run(const morvessa::SearchStatement &statement, bool plain)
{
    Answer a;
    morvessa::Collection collection;
    collection.plainSearch = plain;
    morvessa::Connection connection(collection);
    morvessa::Result<void> done = connection.openTable(g_table, QStringLiteral("jst.mdb"));
    morvessa::Recordset rs;
    if (done)
        done = rs.open(statement, connection);
    if (!done) {
        a.failed = true;
        a.error = done.message();
    } else if (const auto rows = rs.rows()) {
        for (int r = 0; r < rows->count(); ++r)
            a.cells << rows->text(r, 0) << rows->text(r, 1);
    }
    return a;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const auto table = morvessa::readMaindataInProcess(QStringLiteral(MORVESSA_TEST_DATA "/collection/jst.mdb"));
    if (!table)
        fuzz::fail("the collection cannot be read");
    g_table = *table;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The box holds one line of a few hundred characters at most; longer texts only
    // make a run slower.
    if (size > 512)
        return 0;
    const QString box = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const morvessa::QueryAnalysis analysis = morvessa::analyseQuery(box);
    morvessa::notFoundMessage(analysis.messageText);
    if (analysis.sqlText.isEmpty())
        return 0;
    const Answer fast = run(analysis.statement, false);
    const Answer plain = run(analysis.statement, true);
    if (!(fast == plain)) {
        std::fprintf(stderr, "query [%s]\nstatement %s\nfast: %s\nplain: %s\n", box.toUtf8().constData(),
                     analysis.sqlText.toUtf8().constData(), fast.summary().toUtf8().constData(),
                     plain.summary().toUtf8().constData());
        fuzz::fail("the fast path and the plain path answer differently");
    }
    return 0;
}
