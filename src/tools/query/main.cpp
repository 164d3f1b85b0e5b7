// morvessa-query: the search of the main window, from a terminal.
//
//   morvessa-query [--folder DIR] [--explain] [--page N] [--format text|tsv|json] [--] [QUERY]
//
// Prints each result row (title and page name) in result order; exit 0.
// --page N then shows row N (1 for the first) as the viewer does: writes the temporary
// record page and prints its path (another name than tmp/TmpKELMAR.htm while a window
// of the collection shows that one); no row N, or a page that could not be written:
// stderr, exit 2.
// Nothing found: the not-found message on stderr, exit 1. Failure: stderr, exit 2.
#include "engine/recordstore.h"
#include "page/keywordtext.h"
#include "page/pageclaim.h"
#include "page/pagefile.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/appfolder.h"
#include "store/connstring.h"
#include "tools/query/options.h"
#include "tools/query/output.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

#include <cstdio>

namespace {

using namespace morvessa;
using namespace morvessa::querytool;

int run(const QueryOptions &options)
{
    const QueryAnalysis analysis = analyseQuery(options.query);
    if (options.explain) {
        printExplain(stdout, analysis.mode, analysis.sqlText, options.format);
        return std::fflush(stdout) == 0 ? 0 : 2;
    }
    if (!options.folder.isEmpty())
        setApplicationFolder(options.folder);
    ConnString = buildConnString(applicationFolder());
    try {
        const SearchOutcome outcome = runSearch(ConnString, analysis);
        if (!outcome.found()) {
            printLine(stderr, notFoundMessage(analysis.messageText));
            return 1;
        }
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
            const QString folder = applicationFolder();
            const RecordPageClaim claim(folder);
            const RecordPageWrite write = WriteRecordPage(folder, claim.path(), rows.text(options.page - 1, 1),
                                                          keywordTextFor(options.query, analysis.mode));
            if (!write.written) {
                printLine(stderr, QStringLiteral("morvessa-query: 無法寫入資料夾 %1，第 %2 筆的頁面沒有寫出。")
                                      .arg(QDir::toNativeSeparators(write.unwritableFolder))
                                      .arg(options.page));
                return 2;
            }
            pagePath = claim.path();
        }
        printRows(stdout, rows, options.format, options.page, pagePath);
        return std::fflush(stdout) == 0 ? 0 : 2;
    } catch (const DbError &e) {
        printLine(stderr, e.message());
        return 2;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCoreApplication app(argc, argv); // the program file's folder is the default collection
    QCoreApplication::setApplicationVersion(QStringLiteral(MORVESSA_VERSION));
    // Qt's own words in the help text ("Usage:", "Options:") in Traditional Chinese.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::Taiwan), QStringLiteral("qtbase"),
                     QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);

    const CommandLine line = parseCommandLine(args);
    switch (line.action) {
    case CommandLine::ShowHelp:
    case CommandLine::ShowVersion:
        printLine(stdout, line.text);
        return std::fflush(stdout) == 0 ? 0 : 2;
    case CommandLine::Fail:
        printLine(stderr, QStringLiteral("morvessa-query: ") + line.text);
        return 2;
    case CommandLine::Run:
        break;
    }
    return run(line.options);
}
