// morvessa-query: the search of the main window, from a terminal.
//
//   morvessa-query [--folder DIR] [--explain] [--page N] [--] [QUERY]
//
// Prints each result row as subject, TAB, htm (UTF-8), in result order; exit 0.
// --page N then shows row N (1 for the first) as the viewer does: writes the temporary
// record page and prints its path as the last line; no row N: stderr, exit 2.
// Nothing found: the not-found message on stderr, exit 1. Failure: stderr, exit 2.
#include "store/appfolder.h"
#include "store/connstring.h"
#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "page/recordpage.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

using namespace morvessa;

struct Options {
    QString folder; // empty: the folder of the program file
    bool explain = false;
    int page = 0; // the result row to show, from 1; 0: none
    QString query;
};

const char kUsage[] = "usage: morvessa-query [--folder DIR] [--explain] [--page N] [--] [QUERY]\n";

bool parsePageNumber(const QString &text, int &page)
{
    bool ok = false;
    page = text.toInt(&ok);
    return ok && page >= 1;
}

// Everything before "--" that begins with "--" is an option; anything else (also "-" or
// "-發熱", which are queries) is the query, of which there is at most one.
std::optional<Options> parseOptions(const QStringList &args, QString &error)
{
    Options options;
    bool haveQuery = false;
    bool optionsDone = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!optionsDone && arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (!optionsDone && arg == QLatin1String("--explain")) {
            options.explain = true;
        } else if (!optionsDone && arg == QLatin1String("--folder")) {
            if (++i >= args.size()) {
                error = QStringLiteral("--folder needs a folder");
                return std::nullopt;
            }
            options.folder = args[i];
        } else if (!optionsDone && (arg == QLatin1String("--page") || arg.startsWith(QLatin1String("--page=")))) {
            const QString number = arg.size() > 6 ? arg.mid(7) : (++i < args.size() ? args[i] : QString());
            if (!parsePageNumber(number, options.page)) {
                error = QStringLiteral("--page needs a row number from 1");
                return std::nullopt;
            }
        } else if (!optionsDone && arg.startsWith(QLatin1String("--folder="))) {
            options.folder = arg.mid(9);
        } else if (!optionsDone && arg.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option %1").arg(arg);
            return std::nullopt;
        } else if (haveQuery) {
            error = QStringLiteral("give the query as one argument (quote it)");
            return std::nullopt;
        } else {
            options.query = arg;
            haveQuery = true;
        }
    }
    return options;
}

void printLine(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fputc('\n', stream);
}

int run(const Options &options)
{
    const QueryAnalysis analysis = analyseQuery(options.query);
    if (options.explain) {
        printLine(stdout, analysis.mode);
        printLine(stdout, analysis.sqlText);
        return 0;
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
            printLine(stderr, QStringLiteral("morvessa-query: no row %1; the search found %2")
                                  .arg(options.page).arg(rows.count()));
            return 2;
        }
        QByteArray line;
        for (int r = 0; r < rows.count(); ++r) {
            line = rows.utf8(r, 0);
            line += '\t';
            line += rows.utf8(r, 1);
            line += '\n';
            std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
        }
        if (options.page > 0) {
            // The viewer on that row: the query box still holds the query as typed.
            const QString folder = applicationFolder();
            WriteRecordPage(folder, rows.text(options.page - 1, 1),
                            keywordTextFor(options.query, analysis.mode));
            printLine(stdout, recordPagePath(folder));
        }
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
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCoreApplication app(argc, argv); // the program file's folder is the default collection
    QString error;
    const std::optional<Options> options = parseOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "morvessa-query: %s\n%s", error.toUtf8().constData(), kUsage);
        return 2;
    }
    return run(*options);
}
