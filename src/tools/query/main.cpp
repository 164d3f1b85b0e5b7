// morvessa-query: the search of the main window, from a terminal.
//
//   morvessa-query [--folder DIR] [--explain] [--page N] [--format text|tsv|json]
//                  [--variants] [-C N] [--max-hits K] [-m K] [-c] [--color WHEN] [--] [QUERY...]
//
// Prints each result row (title and page name) in result order; exit 0.
// --page N then shows row N (1 for the first) as the viewer does: writes the temporary
// record page and prints its path (another name than tmp/TmpKELMAR.htm while a window
// of the collection shows that one); no row N, or a page that could not be written:
// stderr, exit 2.
// --context prints a line for each occurrence of each term instead; --count only numbers.
// Nothing found: the not-found message on stderr (with --count only 0 on stdout), exit 1.
// Failure: stderr, exit 2.
#include "base/filesizelimit.h"
#include "engine/recordstore.h"
#include "page/marking.h"
#include "page/pageclaim.h"
#include "page/pagefile.h"
#include "page/pagelookup.h"
#include "search/contextsearch.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/appfolder.h"
#include "store/connstring.h"
#include "text/variants.h"
#include "tools/query/options.h"
#include "tools/query/output.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace {

using namespace morvessa;
using namespace morvessa::querytool;

HitMarks hitMarks(ColorChoice choice)
{
    return colorHits(choice, ::isatty(::fileno(stdout))) ? HitMarks::Red : HitMarks::Brackets;
}

// The first rows of a result, for --max-count.
class FirstRows : public ResultRows {
public:
    FirstRows(const ResultRows &rows, int most)
        : m_rows(rows), m_count(most > 0 ? std::min(most, rows.count()) : rows.count())
    {}
    int count() const override { return m_count; }
    QString text(int row, int col) const override { return m_rows.text(row, col); }
    QByteArray utf8(int row, int col) const override { return m_rows.utf8(row, col); }
    qint64 tableRow(int row) const override { return m_rows.tableRow(row); }

private:
    const ResultRows &m_rows;
    int m_count;
};

// Ends the output: exit code when all of it was written. A closed or full standard output
// is exit 2 with a word on stderr; a reader that went away (a pipe into head) is not
// worth one, as with grep.
int finishOutput(int code)
{
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return code;
    const int error = errno;
    if (error != EPIPE)
        printLine(stderr, QStringLiteral("morvessa-query: 無法寫出結果：%1")
                              .arg(QString::fromLocal8Bit(std::strerror(error ? error : EIO))));
    return 2;
}

// Nothing found: grep's way with --count (a 0 and nothing else), else the window's message.
int nothingFound(const QueryOptions &options, const QueryAnalysis &analysis)
{
    if (!options.count)
        printLine(stderr, notFoundMessage(analysis.messageText));
    return finishOutput(1);
}

// A failure: its message on stderr, exit 2.
template <class T>
int failed(const Result<T> &result)
{
    printLine(stderr, result.message());
    return 2;
}

// --context: the lines of every record found, or with --count their number.
int runContext(const QueryOptions &options, const QueryAnalysis &analysis, Matching matching,
               const Collection &collection)
{
    ContextOptions context;
    context.width = options.context;
    context.maxHits = options.maxHits;
    context.duringScan = options.maxCount <= 0; // else only the first few are asked for
    const Result<ContextSearch> searched =
        runContextSearch(buildConnString(collection.folder), analysis, matching, collection, context);
    if (!searched)
        return failed(searched);
    const ContextSearch &search = *searched;
    const int records = search.outcome.found() ? FirstRows(*search.outcome.rows, options.maxCount).count() : 0;
    qint64 occurrences = 0;
    if (options.count)
        search.eachLineOfRows(0, records, [&](int, const LinePieces &) { ++occurrences; });
    else
        occurrences = printContextLines(stdout, search, records, options.format, hitMarks(options.color));
    if (options.count)
        printCount(stdout, records, occurrences, options.format);
    return records ? finishOutput(0) : nothingFound(options, analysis);
}

int run(const QueryOptions &options)
{
    const QueryAnalysis analysis = analyseQuery(options.query);
    const Matching matching = options.variants ? Matching::Variants : Matching::Exact;
    if (options.explain) {
        QString statement = analysis.sqlText;
        if (options.variants) {
            // The statement as it runs: its terms folded.
            const Result<std::shared_ptr<const VariantTable>> variants = variantTable();
            if (!variants)
                return failed(variants);
            statement = (*variants)->fold(statement);
        }
        printExplain(stdout, modeName(analysis.mode), statement, options.format);
        return finishOutput(0);
    }
    Collection collection;
    collection.folder = options.folder.isEmpty() ? applicationFolder() : options.folder;
    if (options.context >= 0)
        return runContext(options, analysis, matching, collection);
    const Result<SearchOutcome> searched =
        runSearch(buildConnString(collection.folder), analysis, matching, collection);
    if (!searched)
        return failed(searched);
    const SearchOutcome &outcome = *searched;
    if (options.count)
        printCount(stdout, outcome.found() ? FirstRows(*outcome.rows, options.maxCount).count() : 0, -1,
                   options.format);
    if (!outcome.found())
        return nothingFound(options, analysis);
    if (options.count)
        return finishOutput(0);
    const ResultRows &rows = *outcome.rows;
    if (options.page > rows.count()) {
        printLine(stderr, QStringLiteral("morvessa-query: 沒有第 %1 筆，這次檢索找到 %2 筆。")
                              .arg(options.page)
                              .arg(rows.count()));
        return 2;
    }
    QString pagePath;
    if (options.page > 0) {
        // The viewer on that row: the query box still holds the query as typed.
        const QString &folder = collection.folder;
        std::optional<MarkingFold> fold; // with --variants, every form found is marked
        if (options.variants) {
            const Result<std::shared_ptr<const VariantTable>> variants = variantTable();
            if (!variants)
                return failed(variants);
            fold.emplace([table = *variants](char32_t c) { return table->fold(c); });
        }
        const RecordPageClaim claim(folder);
        const auto write = WriteRecordPage(folder, claim.path(), rows.text(options.page - 1, 1),
                                           analysis.keywordText, fold ? &*fold : nullptr);
        if (!write) {
            printLine(stderr, QStringLiteral("morvessa-query: 無法寫入資料夾 %1，第 %2 筆的頁面沒有寫出。")
                                  .arg(QDir::toNativeSeparators(write.failure().folder))
                                  .arg(options.page));
            return 2;
        }
        PageProblem problem = PageProblem::None;
        sourcePagePath(folder, rows.text(options.page - 1, 1), problem);
        if (problem != PageProblem::None) {
            printLine(stderr, QStringLiteral("morvessa-query: 無法讀取第 %1 筆的頁面「%2」：%3。")
                                  .arg(options.page)
                                  .arg(rows.text(options.page - 1, 1), pageProblemText(problem)));
            return 2;
        }
        pagePath = claim.path();
    }
    printRows(stdout, FirstRows(rows, options.maxCount), options.format, options.page, pagePath);
    return finishOutput(0);
}

} // namespace

int main(int argc, char *argv[])
{
    morvessa::letWritesPastTheSizeLimitFail();
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCoreApplication app(argc, argv); // the program file's folder is the default collection
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVESSA_VERSION));
    const CommandLine line = parseCommandLine(args);
    switch (line.action) {
    case CommandLine::ShowHelp:
    case CommandLine::ShowVersion:
        printLine(stdout, line.text);
        return finishOutput(0);
    case CommandLine::Fail:
        printLine(stderr, QStringLiteral("morvessa-query: ") + line.text);
        return 2;
    case CommandLine::Run:
        break;
    }
    return run(line.options);
}
