// morvessa-bench [--smoke] [--reps N] [--random N] [--seed N] [COLLECTION.mdb]
//
// Figures and ratios for the search engine on one collection, all in one run: the open
// beside mdb-export, each benchmark query in this process beside SQLite's own like and a
// memmem pass in this process (ripgrep, a whole process, is compared with morvessa-query as
// a whole process in morvessa-store-bench), the record page, peak memory, and a check that the fast path gives
// exactly the results of the plain path. Prints tables; never judges by time (exit 1 only when the results differ
// or the engine fails).
#include "baselines.h"
#include "corpus.h"
#include "files.h"
#include "observe.h"
#include "querygen.h"
#include "testdata.h"

#include "engine/recordstore.h"
#include "page/marking.h"
#include "page/pagefile.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/mdbreader.h"
#include "text/variants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace morvessa;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

struct Stats {
    std::vector<double> ms;
    bool empty() const { return ms.empty(); }
    double median() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
    double min() const { return *std::min_element(ms.begin(), ms.end()); }
    double max() const { return *std::max_element(ms.begin(), ms.end()); }
};

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Wall-clock time, and with cpu the thread's processor time too (steadier on a busy machine).
Stats repeat(int n, const std::function<void()> &f, Stats *cpu = nullptr)
{
    Stats s;
    for (int i = 0; i < n; ++i) {
        const double c = threadCpuMs();
        const auto t = Clock::now();
        f();
        s.ms.push_back(msSince(t));
        if (cpu)
            cpu->ms.push_back(threadCpuMs() - c);
    }
    return s;
}

std::string fmtMs(double ms)
{
    char b[32];
    if (ms < 0)
        return "n/a";
    std::snprintf(b, sizeof b, ms < 10 ? "%.2f" : ms < 100 ? "%.1f" : "%.0f", ms);
    return b;
}

std::string fmtStats(const Stats &s)
{
    if (s.empty() || s.min() < 0)
        return "n/a";
    return fmtMs(s.median()) + " (" + fmtMs(s.min()) + "–" + fmtMs(s.max()) + ")";
}

std::string ratio(double num, double den)
{
    if (num < 0 || den <= 0)
        return "n/a";
    char b[32];
    std::snprintf(b, sizeof b, "%.2f", num / den);
    return b;
}

QString connStringFor(const std::string &mdbPath)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + QString::fromStdString(mdbPath) +
           QStringLiteral(";Persist Security Info=False");
}

long statusKb(const char *key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

// The peak of the process tree, from above: this process's peak plus the largest peak of
// the programs it started (the reading program), as if both peaked at once.
long treePeakKb()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return statusKb("VmHWM:") + children.ru_maxrss;
}

int rowCount(const SearchOutcome &o)
{
    return o.rows ? o.rows->count() : 0;
}

// The open, measured in a fresh process so that nothing is cached: the time from the
// start of the process to the bound list-all result, and to the result of a content query.
int openChild(const std::string &mdbPath, const std::string &outPath)
{
    const QString conn = connStringFor(mdbPath);
    const Collection collection;
    SearchOutcome all = test::valueOf(runSearch(conn, analyseQuery(QString()), Matching::Exact, collection));
    const auto tAll = Clock::now();
    SearchOutcome q =
        test::valueOf(runSearch(conn, analyseQuery(QStringLiteral("明月")), Matching::Exact, collection));
    const auto tQuery = Clock::now();
    std::ofstream out(outPath);
    out << std::chrono::duration_cast<std::chrono::nanoseconds>(tAll.time_since_epoch()).count() << ' '
        << std::chrono::duration_cast<std::chrono::nanoseconds>(tQuery.time_since_epoch()).count() << ' '
        << treePeakKb() << ' ' << statusKb("VmRSS:") << ' ' << rowCount(all) << '\n';
    return 0;
}

struct OpenFigures {
    double listAllMs = -1, queryMs = -1;
    long hwmKb = -1, rssKb = -1;
};

std::optional<OpenFigures> measureOpen(const std::string &mdbPath)
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::nullopt;
    exe[n] = 0;
    QTemporaryDir dir;
    const std::string outPath = (dir.path() + QStringLiteral("/open.txt")).toStdString();
    std::vector<std::string> argv = {exe, "--open-child", mdbPath, outPath};
    std::vector<char *> args;
    for (auto &a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    // A cache folder of its own: the open reads the collection, as on a first start
    // (morvessa-store-bench measures the start with a kept copy).
    std::vector<std::string> envStore = {"XDG_CACHE_HOME=" +
                                         (dir.path() + QStringLiteral("/cache")).toStdString()};
    std::vector<char *> env;
    for (char **e = environ; *e; ++e)
        if (std::strncmp(*e, "XDG_CACHE_HOME=", 15) != 0)
            env.push_back(*e);
    env.push_back(envStore[0].data());
    env.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, exe, nullptr, nullptr, args.data(), env.data()) != 0)
        return std::nullopt;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    std::ifstream in(outPath);
    long long nsAll = 0, nsQuery = 0;
    OpenFigures f;
    long rows = 0;
    if (!(in >> nsAll >> nsQuery >> f.hwmKb >> f.rssKb >> rows))
        return std::nullopt;
    const long long ns0 = std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    f.listAllMs = double(nsAll - ns0) / 1e6;
    f.queryMs = double(nsQuery - ns0) / 1e6;
    return f;
}

struct BenchQuery {
    const char *label;
    QString box;          // the query box text
    std::string passTerm; // memmem needle; empty: no pass
};

std::vector<BenchQuery> benchQueries()
{
    return {
        {"明月", QStringLiteral("明月"), "明月"},
        {"明月 故鄉", QStringLiteral("明月 故鄉"), "明月"},
        {"明月 故鄉 秋風", QStringLiteral("明月 故鄉 秋風"), "明月"},
        {"+明月 故鄉", QStringLiteral("+明月 故鄉"), "明月"},
        {"nowhere: 咖啡因", QStringLiteral("咖啡因"), "咖啡因"},
        {"wildcard: 明_", QStringLiteral("明_"), "明"},
        {"Latin: Ff", QStringLiteral("Ff"), "ff"},
        {"empty (list all)", QString(), ""},
    };
}

void printLoad()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    std::printf("Machine: %ld cores, load average %s %s %s\n", sysconf(_SC_NPROCESSORS_ONLN), a.c_str(), b.c_str(),
                c.c_str());
}

struct Options {
    bool smoke = false;
    int reps = 20, randomQueries = 60;
    unsigned seed = 20261210;
    // The corpus lies beside the repository (or beside the folder of work trees).
    std::string path = bench::defaultCorpus();
};

// The command line in options; an exit status when the program stops here (help, a wrong
// option, or the open's child process).
std::optional<int> parseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--open-child" && i + 2 < argc)
            return openChild(argv[i + 1], argv[i + 2]);
        if (a == "--help" || a == "-h") {
            std::printf("usage: morvessa-bench [--smoke] [--reps N] [--random N] [--seed N] [COLLECTION.mdb]\n"
                        "Figures for the search engine on one collection (default: the poem corpus).\n");
            return 0;
        }
        if (a == "--smoke")
            o.smoke = true;
        else if (a == "--reps" && i + 1 < argc)
            o.reps = std::max(1, std::atoi(argv[++i]));
        else if (a == "--random" && i + 1 < argc)
            o.randomQueries = std::max(0, std::atoi(argv[++i]));
        else if (a == "--seed" && i + 1 < argc)
            o.seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "morvessa-bench: unknown option %s\n", a.c_str());
            return 2;
        } else
            o.path = a;
    }
    if (o.smoke) {
        o.reps = 2;
        o.randomQueries = 300;
    }
    return std::nullopt;
}

// What every group measures on: one collection for every search, as the window has (its
// table is read once), and the same rows read plainly for the baselines.
struct Bench {
    Options options;
    QString conn;
    Collection collection;
    std::vector<bench::PlainRow> plain;
    std::string allContent;
    size_t textBytes = 0;

    SearchOutcome search(const QueryAnalysis &a, Matching matching = Matching::Exact) const
    {
        return test::valueOf(runSearch(conn, a, matching, collection));
    }
};

// Reads the plain rows and prints their size; false, after saying so, when libmdb cannot.
bool loadPlain(Bench &b)
{
    try {
        b.plain = bench::loadPlainRows(b.options.path);
    } catch (const std::exception &e) {
        std::printf("cannot read %s with libmdb: %s\n", b.options.path.c_str(), e.what());
        return false;
    }
    size_t contentBytes = 0;
    for (const auto &r : b.plain) {
        b.textBytes += r.subject.size() + r.htm.size() + r.content.size();
        contentBytes += r.content.size();
    }
    b.allContent.reserve(contentBytes + b.plain.size());
    for (const auto &r : b.plain) {
        b.allContent += r.content;
        b.allContent += '\n';
    }
    std::printf("Records: %zu; UTF-8 text (subject, htm, content): %.2f MB; content alone: %.2f MB\n",
                b.plain.size(), double(b.textBytes) / 1e6, double(contentBytes) / 1e6);
    std::printf("Repetitions per query: %d\n\n", b.options.reps);
    return true;
}

struct OpenGroup {
    double exportMs = -1;
    Stats all, query;
    long hwmKb = -1, rssKb = -1;
};

// The open in fresh processes beside mdb-export, and the memory after it; nothing when
// the engine could not open the collection.
std::optional<OpenGroup> measureOpenGroup(const Bench &b)
{
    const std::string &path = b.options.path;
    const int openReps = b.options.smoke ? 1 : 3;
    Stats exportStats;
    for (int i = 0; i < openReps; ++i)
        exportStats.ms.push_back(bench::timeProcess({"mdb-export", path, "maindata"}));
    OpenGroup g;
    for (int i = 0; i < openReps; ++i) {
        const auto f = measureOpen(path);
        if (!f) {
            std::printf("the open measurement failed (the engine could not open %s)\n", path.c_str());
            return std::nullopt;
        }
        g.all.ms.push_back(f->listAllMs);
        g.query.ms.push_back(f->queryMs);
        g.hwmKb = std::max(g.hwmKb, f->hwmKb);
        g.rssKb = f->rssKb;
    }
    g.exportMs = exportStats.min() < 0 ? -1 : exportStats.median();
    std::printf("## Open (fresh process, file in the page cache; median of %d)\n\n", openReps);
    std::printf("| step | ms | ÷ mdb-export |\n|---|---:|---:|\n");
    std::printf("| `mdb-export FILE maindata > /dev/null` | %s | 1.00 |\n", fmtMs(g.exportMs).c_str());
    std::printf("| first list-all result bound | %s | %s |\n", fmtMs(g.all.median()).c_str(),
                ratio(g.all.median(), g.exportMs).c_str());
    std::printf("| first content query (明月) answered | %s | %s |\n\n", fmtMs(g.query.median()).c_str(),
                ratio(g.query.median(), g.exportMs).c_str());

    const double text = double(b.textBytes);
    std::printf("## Memory after the open\n\n| figure | MB | ÷ text |\n|---|---:|---:|\n");
    std::printf("| UTF-8 size of the record text | %.1f | 1.00 |\n", text / 1e6);
    std::printf(
        "| peak resident size of the process tree, at most (VmHWM + the reading program's) | %.1f | %s |\n",
        double(g.hwmKb) * 1024 / 1e6, ratio(double(g.hwmKb) * 1024, text).c_str());
    std::printf("| resident size at the end (VmRSS) | %.1f | %s |\n\n", double(g.rssKb) * 1024 / 1e6,
                ratio(double(g.rssKb) * 1024, text).c_str());
    std::fflush(stdout);
    return g;
}

struct QueryFigures {
    std::string label;
    int rows = 0;
    long likeRows = 0, passHits = 0;
    double first = -1;
    Stats engine, like, pass;
};

// Each benchmark query in this process beside SQLite's like and one memmem pass.
std::vector<QueryFigures> measureQueries(const Bench &b, bool &engineFailed)
{
    const int reps = b.options.reps;
    bench::PlainTable plainTable(b.plain);
    const auto tWarm = Clock::now();
    b.search(analyseQuery(QString()));
    const double warmMs = msSince(tWarm);

    std::vector<QueryFigures> figures;
    for (const BenchQuery &q : benchQueries()) {
        QueryFigures f;
        f.label = q.label;
        const QueryAnalysis a = analyseQuery(q.box);
        try {
            const auto t = Clock::now();
            f.rows = rowCount(b.search(a));
            f.first = msSince(t);
            f.engine = repeat(reps, [&] { b.search(a); });
        } catch (const std::exception &e) {
            std::printf("engine failed on %s: %s\n", q.label, e.what());
            engineFailed = true;
            continue;
        }
        const std::string sql = a.sqlText.toStdString();
        f.like = repeat(reps, [&] { f.likeRows = plainTable.run(sql); });
        if (!q.passTerm.empty())
            f.pass = repeat(reps, [&] { f.passHits = bench::memmemCount(b.allContent, q.passTerm); });
        figures.push_back(f);
    }
    std::printf("## Queries in this process (ms: median (min–max) of %d runs; the engine's figure is a whole\n"
                "search: statement run twice, rows bound; every figure here is in-process)\n\n",
                reps);
    std::printf("List-all in this process before the queries (loads the collection): %s ms\n\n",
                fmtMs(warmMs).c_str());
    std::printf("| query | rows | engine | first run | SQLite like | one memmem pass | "
                "engine ÷ memmem | like ÷ engine |\n"
                "|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const QueryFigures &f : figures) {
        const double e = f.engine.median();
        std::printf("| %s | %d | %s | %s | %s | %s | %s | %s |\n", f.label.c_str(), f.rows,
                    fmtStats(f.engine).c_str(), fmtMs(f.first).c_str(), fmtStats(f.like).c_str(),
                    fmtStats(f.pass).c_str(), f.pass.empty() ? "n/a" : ratio(e, f.pass.median()).c_str(),
                    ratio(f.like.median(), e).c_str());
    }
    std::printf("\nSQLite like rows and memmem hits, for reference: ");
    for (const QueryFigures &f : figures)
        std::printf("%s %ld/%ld; ", f.label.c_str(), f.likeRows, f.passHits);
    std::printf("\n\n");
    std::fflush(stdout);
    return figures;
}

struct VariantFigures {
    std::string label;
    int rows = 0, exactRowsAfter = 0;
    Stats exact, variants, exactCpu, variantsCpu; // run in turn, one of each at a time
};

struct VariantGroup {
    Stats dictionaryLoad;
    std::vector<VariantFigures> figures;
    int exactChanged = 0; // exact searches whose rows changed after the variant ones
};

// A variant search looks for every form in the content as it is: the only thing made
// for it is the dictionaries' classes, once a program. Each query then runs with
// --variants in turn with its exact search, and the exact rows are checked again.
VariantGroup measureVariants(const Bench &b, const std::vector<QueryFigures> &exactFigures, bool &engineFailed)
{
    VariantGroup g;
    try {
        for (int i = 0; i < (b.options.smoke ? 1 : 3); ++i)
            g.dictionaryLoad.ms.push_back(
                repeat(1, [&] { test::valueOf(VariantTable::load(variantDataFolder())); }).ms[0]);
        for (const BenchQuery &q : benchQueries()) {
            const auto f = std::find_if(exactFigures.begin(), exactFigures.end(),
                                        [&](const QueryFigures &e) { return e.label == q.label; });
            if (f == exactFigures.end())
                continue;
            VariantFigures v;
            v.label = q.label;
            const QueryAnalysis a = analyseQuery(q.box);
            v.rows = rowCount(b.search(a, Matching::Variants));
            v.exactRowsAfter = rowCount(b.search(a));
            // Exact and variant runs alternate, so that both meet the same load: on a busy
            // machine, figures taken minutes apart differ by more than the searches do.
            for (int i = 0; i < b.options.reps; ++i) {
                v.exact.ms.push_back(repeat(
                                         1, [&] { b.search(a); }, &v.exactCpu)
                                         .ms[0]);
                v.variants.ms.push_back(repeat(
                                            1, [&] { b.search(a, Matching::Variants); }, &v.variantsCpu)
                                            .ms[0]);
            }
            g.exactChanged += v.exactRowsAfter != f->rows;
            g.figures.push_back(v);
        }
    } catch (const std::exception &e) {
        std::printf("variant search failed: %s\n", e.what());
        engineFailed = true;
    }
    return g;
}

void printVariants(const VariantGroup &g, double exportMs, int reps)
{
    std::printf("## Variant search (--variants)\n\n| step | ms | ÷ mdb-export |\n|---|---:|---:|\n");
    std::printf("| reading the character dictionaries into classes (once a program) | %s | %s |\n\n",
                fmtStats(g.dictionaryLoad).c_str(),
                ratio(g.dictionaryLoad.empty() ? -1 : g.dictionaryLoad.median(), exportMs).c_str());
    std::printf("Exact and variant runs in turn (ms: median (min–max) of %d each; processor: the thread's "
                "processor time, steadier on a busy machine)\n\n",
                reps);
    std::printf("| query | exact rows | variant rows | exact | variants | variants ÷ exact | "
                "processor ÷ |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (const VariantFigures &v : g.figures)
        std::printf("| %s | %d | %d | %s | %s | %s | %s |\n", v.label.c_str(), v.exactRowsAfter, v.rows,
                    fmtStats(v.exact).c_str(), fmtStats(v.variants).c_str(),
                    ratio(v.variants.median(), v.exact.median()).c_str(),
                    ratio(v.variantsCpu.median(), v.exactCpu.median()).c_str());
    std::printf("\nExact searches after the variant ones: %d of %zu give other row counts than before.\n\n",
                g.exactChanged, g.figures.size());
    std::fflush(stdout);
}

// Queries of many terms: a whole search each, beside the same search with one term.
// The cost should follow the distinct terms and the rows still in, not the count.
void measureManyTerms(const Bench &b, bool &engineFailed)
{
    struct ManyTerms {
        std::string label;
        QString box, one;
    };
    QString repeated = QStringLiteral("[a]"), different = QStringLiteral("明月");
    for (int i = 1; i < 30000; ++i)
        repeated += QStringLiteral(" [a]");
    for (int i = 0; i < 1000; ++i)
        different += QStringLiteral(" [!") + QString::number(i) + QStringLiteral("]");
    const std::vector<ManyTerms> many = {
        {"[a] ×30,000", repeated, QStringLiteral("[a]")},
        {"+[a] ×30,000", QStringLiteral("+") + repeated, QStringLiteral("+[a]")},
        {"明月 and 1,000 different [!n]", different, QStringLiteral("明月 [!0]")},
    };
    const int manyReps = std::min(b.options.reps, 5);
    std::printf("## Many terms (ms: median (min–max) of %d runs, whole searches)\n\n"
                "| query | rows | engine | same with one term | ratio |\n|---|---:|---:|---:|---:|\n",
                manyReps);
    for (const ManyTerms &m : many) {
        try {
            const QueryAnalysis a = analyseQuery(m.box), one = analyseQuery(m.one);
            const int rows = rowCount(b.search(a));
            const Stats all = repeat(manyReps, [&] { b.search(a); });
            const Stats single = repeat(manyReps, [&] { b.search(one); });
            std::printf("| %s | %d | %s | %s | %s |\n", m.label.c_str(), rows, fmtStats(all).c_str(),
                        fmtStats(single).c_str(), ratio(all.median(), single.median()).c_str());
        } catch (const std::exception &e) {
            std::printf("engine failed on %s: %s\n", m.label.c_str(), e.what());
            engineFailed = true;
        }
    }
    std::printf("\n");
    std::fflush(stdout);
}

struct ViewingGroup {
    Stats page, rowChange, pageCpu, rowChangeCpu;
    Stats variantPage, variantPageCpu, markingFold; // the window with --variants
};

// The page written for a record of the fixture collection, with and without every variant
// form marked, and a whole row change without the browser.
void measureViewingIn(const Bench &b, const QString &folder, ViewingGroup &g, bool &engineFailed)
{
    const int reps = b.options.reps;
    const QString terms = QStringLiteral("脾胃 氣虛 益氣");
    const QString pagePath = recordPagePath(folder);
    const QString page = QStringLiteral("long\\long.htm");
    g.page = repeat(
        reps, [&] { (void)WriteRecordPage(folder, pagePath, page, terms); }, &g.pageCpu);
    try {
        // The window in variant search makes its fold once, then marks every form found.
        const auto variants = test::valueOf(variantTable());
        const auto fold = [&variants](char32_t c) { return variants->fold(c); };
        g.markingFold = repeat(std::min(reps, 5), [&] { MarkingFold{fold}; });
        const MarkingFold marking(fold);
        g.variantPage = repeat(
            reps, [&] { (void)WriteRecordPage(folder, pagePath, page, terms, &marking); }, &g.variantPageCpu);
    } catch (const std::exception &e) {
        std::printf("variant marking failed: %s\n", e.what());
    }
    const QString viewConn = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + folder +
                             QStringLiteral("/jst.mdb;Persist Security Info=False");
    try {
        const QueryAnalysis a = analyseQuery(terms);
        const SearchOutcome o = test::valueOf(runSearch(viewConn, a, Matching::Exact, b.collection));
        if (o.found())
            g.rowChange = repeat(
                reps,
                [&] {
                    const QString htm = o.rows->text(0, 1);
                    (void)WriteRecordPage(folder, pagePath, htm, a.keywordText);
                },
                &g.rowChangeCpu);
    } catch (const std::exception &e) {
        std::printf("engine failed on the fixture collection: %s\n", e.what());
        engineFailed = true;
    }
}

ViewingGroup measureViewing(const Bench &b, bool &engineFailed)
{
    ViewingGroup g;
    QTemporaryDir viewDir;
    if (morvessa::test::copyTree(QStringLiteral(MORVESSA_FIXTURE_COLLECTION), viewDir.path())) {
        QDir(viewDir.path()).mkpath(QStringLiteral("tmp"));
        measureViewingIn(b, QDir::toNativeSeparators(viewDir.path()), g, engineFailed);
    }
    std::printf("## Viewing (fixture page long\\long.htm, %lld bytes, terms 脾胃 氣虛 益氣)\n\n",
                (long long)QFileInfo(QStringLiteral(MORVESSA_FIXTURE_COLLECTION "/long/long.htm")).size());
    std::printf("| step | ms | processor ms |\n|---|---:|---:|\n| WriteRecordPage | %s | %s |\n"
                "| row change without the browser (htm, keyword text, WriteRecordPage) | %s | %s |\n"
                "| WriteRecordPage marking every variant form (the window with --variants) | %s | %s |\n"
                "| its marking fold, made once per window | %s | |\n\n"
                "WriteRecordPage with variant forms ÷ exact: %s\n\n",
                fmtStats(g.page).c_str(), fmtStats(g.pageCpu).c_str(), fmtStats(g.rowChange).c_str(),
                fmtStats(g.rowChangeCpu).c_str(), fmtStats(g.variantPage).c_str(),
                fmtStats(g.variantPageCpu).c_str(), fmtStats(g.markingFold).c_str(),
                ratio(g.variantPage.empty() ? -1 : g.variantPage.median(), g.page.median()).c_str());
    std::fflush(stdout);
    return g;
}

// Every benchmark query and the random ones on the fast and the plain path; the number
// that differ.
int measureEquality(const Bench &b)
{
    std::vector<QString> queries;
    for (const BenchQuery &q : benchQueries())
        queries.push_back(q.box);
    {
        std::vector<QString> contents;
        for (const auto &r : b.plain)
            contents.push_back(QString::fromStdString(r.content));
        equality::QueryGenerator gen(std::move(contents), b.options.seed);
        for (int i = 0; i < b.options.randomQueries; ++i)
            queries.push_back(gen.next());
    }
    int differing = 0, found = 0, failedBoth = 0;
    const auto tEq = Clock::now();
    for (const QString &q : queries) {
        const equality::Comparison c = equality::compareSearch(b.conn, q, b.collection);
        if (!c.same()) {
            if (++differing <= 10)
                std::printf("DIFFERENT for [%s]: fast %s / plain %s\n", q.toStdString().c_str(),
                            c.fast.summary().toStdString().c_str(), c.plain.summary().toStdString().c_str());
        }
        found += !c.plain.cells.isEmpty();
        failedBoth += c.plain.failed;
    }
    std::printf("## Result equality, fast path against the plain path\n\n"
                "%zu queries (%zu benchmark, %d random): %d found records, %d failed with an error, "
                "%d differ (%.0f s)\n\n",
                queries.size(), benchQueries().size(), b.options.randomQueries, found, failedBoth, differing,
                msSince(tEq) / 1000);
    return differing;
}

struct Report {
    OpenGroup open;
    std::vector<QueryFigures> queries;
    VariantGroup variants;
    ViewingGroup viewing;
    int differing = 0;
};

void printTargets(const Report &r, size_t textBytes)
{
    std::printf("## Targets\n\n| target | figure | met |\n|---|---|---|\n");
    auto line = [](const std::string &what, const std::string &value, bool met) {
        std::printf("| %s | %s | %s |\n", what.c_str(), value.c_str(), met ? "yes" : "not yet");
    };
    for (const QueryFigures &f : r.queries) {
        if (f.pass.empty())
            continue; // the list-all query has its own target
        const double e = f.engine.median();
        line(f.label + ": engine ≤ 2 × one memmem pass (in-process)", ratio(e, f.pass.median()) + " ×",
             e <= 2 * f.pass.median());
        line(f.label + ": ≥ 10 × faster than SQLite like", ratio(f.like.median(), e) + " ×",
             f.like.median() >= 10 * e);
    }
    for (const QueryFigures &f : r.queries)
        if (f.label == "empty (list all)") {
            line("list-all < 30 ms", fmtMs(f.engine.median()) + " ms", f.engine.median() < 30);
            break;
        }
    const OpenGroup &o = r.open;
    line("first list-all result ≤ ½ mdb-export", ratio(o.all.median(), o.exportMs) + " ×",
         o.exportMs > 0 && o.all.median() <= o.exportMs / 2);
    line("every query runnable ≤ mdb-export", ratio(o.query.median(), o.exportMs) + " ×",
         o.exportMs > 0 && o.query.median() <= o.exportMs);
    if (!r.viewing.page.empty())
        line("WriteRecordPage on the 300 KB page < 5 ms", fmtMs(r.viewing.page.median()) + " ms",
             r.viewing.page.median() < 5);
    const double peak = double(o.hwmKb) * 1024, text = double(textBytes);
    line("peak RSS of the process tree after the open ≤ 2 × text", ratio(peak, text) + " ×", peak <= 2 * text);
    line("fast and plain results identical", std::to_string(r.differing) + " differ", r.differing == 0);
    for (const VariantFigures &v : r.variants.figures) {
        if (v.label == "empty (list all)")
            continue;
        line(v.label + ": variant search ≤ 1.3 × exact", ratio(v.variants.median(), v.exact.median()) + " ×",
             v.variants.median() <= 1.3 * v.exact.median());
    }
    line("exact search unchanged after variant searches", std::to_string(r.variants.exactChanged) + " differ",
         r.variants.exactChanged == 0);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    Bench b;
    if (const std::optional<int> stop = parseOptions(argc, argv, b.options))
        return *stop;
    if (!bench::findCollection(b.options.path))
        return 0;
    b.conn = connStringFor(b.options.path);
    std::printf("# morvessa-bench on %s%s\n\n", b.options.path.c_str(), b.options.smoke ? " (smoke run)" : "");
    printLoad();
    if (!loadPlain(b))
        return 1;

    Report r;
    const std::optional<OpenGroup> open = measureOpenGroup(b);
    if (!open)
        return 1;
    r.open = *open;
    bool engineFailed = false;
    r.queries = measureQueries(b, engineFailed);
    r.variants = measureVariants(b, r.queries, engineFailed);
    printVariants(r.variants, r.open.exportMs, b.options.reps);
    measureManyTerms(b, engineFailed);
    r.viewing = measureViewing(b, engineFailed);
    r.differing = measureEquality(b);
    printTargets(r, b.textBytes);
    return r.differing || r.variants.exactChanged || engineFailed ? 1 : 0;
}
