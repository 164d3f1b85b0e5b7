// morvessa-store-bench: what a start of the program costs, whole process against whole
// process, on collections of growing size.
//
//   morvessa-store-bench [--reps N] [--scale] [--copies N] [--long-records N] [--work DIR] [COLLECTION.mdb]
//
// For each collection: morvessa-query 明月 as a fresh process on a collection never seen
// (an empty cache folder) and on one read before (its kept column file), beside
// mdb-export of the same table and rg -c -F 明月 over the content as plain text; the peak
// memory of the whole process tree that cannot be dropped (anonymous and shared memory of
// the program and its reading program, sampled every millisecond) beside the text size;
// and inside one process the query against one memchr pass over the same bytes. Then on
// the kept copy 明月 with --context 20 and with --variants (time, and the memory of the
// tree with --context), and the bytes kept after the three kinds of search. With
// --scale also on collections made from it: its table repeated --copies times (10: about
// three million records) and --long-records records of 10-50 KB each. Prints tables with
// the targets beside the figures; never judges (exit 1 only when something fails to run).
#include "corpus.h"
#include "generate.h"

#include "engine/recordstore.h"
#include "search/queryanalysis.h"
#include "search/searchrun.h"
#include "store/connstring.h"
#include "store/keptcolumns.h"
#include "store/mdbreader.h"
#include "store/storetable.h"

#include <QDir>
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
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace morvessa;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kUsage[] =
    "usage: morvessa-store-bench [--reps N] [--scale] [--copies N] [--long-records N] [--work DIR] "
    "[COLLECTION.mdb]\n"
    "  COLLECTION.mdb   a Jet database with table maindata (default: the poem corpus beside the repository)\n"
    "  --reps N         runs of each whole-process measurement (default 5; 3 on the made collections)\n"
    "  --scale          also measure collections made from it: repeated and with long records\n"
    "  --copies N       how many times the table is repeated for --scale (default 10)\n"
    "  --long-records N records of 10-50 KB for --scale (default 70000)\n"
    "  --work DIR       where the made collections and text exports go (default: a temporary folder)\n";

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string fmt(double v, const char *unit = "")
{
    if (v < 0)
        return "n/a";
    char b[48];
    std::snprintf(b, sizeof b, v < 10 ? "%.2f%s" : v < 100 ? "%.1f%s" : "%.0f%s", v, unit);
    return b;
}

std::string ratio(double a, double b)
{
    return a < 0 || b <= 0 ? std::string("n/a") : fmt(a / b, " ×");
}

// Anonymous and shared resident memory of a process, and its whole resident size, in kB.
struct Memory {
    long keep = 0; // RssAnon + RssShmem: what the system cannot drop
    long all = 0;  // VmRSS, with mapped files
};

Memory memoryOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = 0;
    Memory m;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        words >> key >> value;
        if (key == "RssAnon:" || key == "RssShmem:")
            m.keep += value;
        else if (key == "VmRSS:")
            m.all = value;
    }
    return m;
}

std::vector<pid_t> childrenOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> out;
    pid_t c;
    while (in >> c)
        out.push_back(c);
    return out;
}

struct Run {
    double ms = -1;
    Memory peak; // of the process tree, summed over its processes at each sample
    bool ok = false;
};

// A program's arguments and environment (this process's and extraEnv) as posix_spawn takes them.
struct CommandLine {
    std::vector<std::string> envStore;
    std::vector<char *> args, env;

    CommandLine(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv)
        : envStore(extraEnv)
    {
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        for (char **e = environ; *e; ++e)
            env.push_back(*e);
        for (auto &e : envStore)
            env.push_back(e.data());
        env.push_back(nullptr);
    }
};

// Runs a program (output thrown away) with extra environment, sampling the memory of it
// and its children every millisecond.
Run runProcess(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {},
               bool showErrors = false)
{
    CommandLine line(argv, extraEnv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (!showErrors)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, line.args[0], &actions, nullptr, line.args.data(), line.env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return run;
    int status = 0;
    for (;;) {
        Memory sum = memoryOf(pid);
        for (pid_t c : childrenOf(pid)) {
            const Memory m = memoryOf(c);
            sum.keep += m.keep;
            sum.all += m.all;
        }
        run.peak.keep = std::max(run.peak.keep, sum.keep);
        run.peak.all = std::max(run.peak.all, sum.all);
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    run.ms = msSince(start);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) <= 1;
    return run;
}

// The first line a program prints (trimmed), run once with extra environment.
std::string firstLineOf(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    CommandLine line(argv, extraEnv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, line.args[0], &actions, nullptr, line.args.data(), line.env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (ssize_t n; rc == 0 && (n = read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, std::size_t(n));
    close(fds[0]);
    int status = 0;
    if (rc == 0)
        waitpid(pid, &status, 0);
    out = out.substr(0, out.find('\n'));
    return out.empty() ? std::string("0") : out; // rg prints nothing when nothing matched
}

std::string selfFolder()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    exe[n > 0 ? n : 0] = 0;
    return QFileInfo(QString::fromUtf8(exe)).absolutePath().toStdString();
}

struct Shape {
    std::string name;
    std::string mdb;
    int reps = 5;
};

// A search timed as a whole process on the kept copy, beside rg on the same text.
struct KeptQuery {
    const char *label;
    std::vector<std::string> morvessa; // morvessa-query arguments after --folder DIR
    std::vector<std::string> rg;       // rg arguments before the text file
};

const std::vector<KeptQuery> &keptQueries()
{
    static const std::vector<KeptQuery> queries = {
        {"明月", {"--count", "明月"}, {"-c", "-F", "明月"}},
        {"咖啡因 (nowhere)", {"--count", "咖啡因"}, {"-c", "-F", "咖啡因"}},
        {"[明清]月", {"--count", "[明清]月"}, {"-c", "[明清]月"}},
    };
    return queries;
}

struct KeptFigures {
    double keptMs = -1, rgMs = -1;
    std::string keptCount, rgCount; // what each printed: the same text must give the same number
};

struct Figures {
    std::string name;
    std::size_t records = 0;
    std::size_t astral = 0; // characters above U+FFFF in the content text given to rg
    double textMb = 0, fileMb = 0;
    double exportMs = -1, firstMs = -1, keptMs = -1, rgMs = -1;
    std::vector<KeptFigures> kept; // one per keptQueries()
    double firstKeepMb = -1, keptKeepMb = -1, firstAllMb = -1;
    double queryMs = -1, floorMs = -1;
    // On the kept copy: 明月 with --context 20 and with --variants, whole processes.
    double contextMs = -1, variantsMs = -1, contextKeepMb = -1;
    double keptBytesMb = -1; // the cache folder after plain, --context and --variants searches
};

// The bytes of the files in folder.
std::uint64_t bytesIn(const QString &folder)
{
    std::uint64_t bytes = 0;
    for (const QFileInfo &file : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        bytes += std::uint64_t(file.size());
    return bytes;
}

// The value of a call that must succeed for the figures to mean anything.
template <class T>
T valueOf(Result<T> result)
{
    if (!result)
        throw std::runtime_error(result.message().toStdString());
    return std::move(result).value();
}

// One memchr pass over all the bytes, for a byte UTF-8 never holds: memory bandwidth.
bool memchrPass(std::string_view bytes)
{
    return std::memchr(bytes.data(), 0xFF, bytes.size()) != nullptr;
}

// Writes the content as plain lines for rg, one record a line, and notes the table's size.
void writeTextForRg(const Shape &shape, const std::string &textPath, Figures &f)
{
    const auto table = valueOf(readMaindataInProcess(QString::fromStdString(shape.mdb)));
    f.records = table->rowCount();
    f.textMb = double(table->subject.bytes.size() + table->htm.bytes.size() + table->content.bytes.size()) / 1e6;
    std::ofstream out(textPath, std::ios::binary);
    std::string line;
    for (std::size_t r = 0; r < table->rowCount(); ++r) {
        line.assign(table->content.at(r));
        f.astral +=
            std::size_t(std::count_if(line.begin(), line.end(), [](char c) { return (unsigned char)c >= 0xF0; }));
        std::replace(line.begin(), line.end(), '\r', ' ');
        std::replace(line.begin(), line.end(), '\n', ' ');
        out << line << '\n';
    }
}

// Where a shape's whole processes run: its folder, the query program, its cache folder.
struct ShapeFolder {
    std::string folder, queryProgram, textPath;
    std::vector<std::string> env; // XDG_CACHE_HOME

    std::vector<std::string> query(std::vector<std::string> options) const
    {
        options.insert(options.begin(), {queryProgram, "--folder", folder});
        return options;
    }
};

// The kept copy is in place: each kept query as a whole process, in turn with rg.
void measureKeptQueries(const ShapeFolder &at, bool firstRound, std::vector<std::vector<double>> &keptMs,
                        std::vector<std::vector<double>> &rgMs, Figures &f)
{
    for (std::size_t q = 0; q < keptQueries().size(); ++q) {
        const std::vector<std::string> args = at.query(keptQueries()[q].morvessa);
        std::vector<std::string> rg = {"rg"};
        rg.insert(rg.end(), keptQueries()[q].rg.begin(), keptQueries()[q].rg.end());
        rg.push_back(at.textPath);
        keptMs[q].push_back(runProcess(args, at.env).ms);
        rgMs[q].push_back(runProcess(rg).ms);
        if (firstRound)
            f.kept.push_back({-1, -1, firstLineOf(args, at.env), firstLineOf(rg, {})});
    }
}

// The starts as whole processes, first and with the kept copy, beside mdb-export and rg;
// false, after showing morvessa-query's message, when it fails.
bool measureStarts(const Shape &shape, const ShapeFolder &at, const std::string &cache, Figures &f)
{
    const std::vector<std::string> query = at.query({"明月"});
    std::vector<double> exportMs, firstMs, keptMs, rgMs, contextMs, variantsMs;
    std::vector<std::vector<double>> queryKeptMs(keptQueries().size()), queryRgMs(keptQueries().size());
    Memory firstPeak, keptPeak;
    for (int i = 0; i < shape.reps; ++i) {
        exportMs.push_back(runProcess({"mdb-export", shape.mdb, "maindata"}).ms);
        QDir(QString::fromStdString(cache)).removeRecursively();
        const Run first = runProcess(query, at.env);
        const Run kept = runProcess(query, at.env);
        if (!first.ok || !kept.ok) {
            std::printf("morvessa-query failed on %s (%s start); its message:\n", shape.mdb.c_str(),
                        first.ok ? "second" : "first");
            std::fflush(stdout);
            runProcess(at.query({"--count", "明月"}), at.env, true);
            return false;
        }
        firstMs.push_back(first.ms);
        keptMs.push_back(kept.ms);
        // The same search with context lines and with variant forms, on the same kept copy.
        const Run context = runProcess(at.query({"--context", "20", "明月"}), at.env);
        contextMs.push_back(context.ms);
        f.contextKeepMb = std::max(f.contextKeepMb, double(context.peak.keep) * 1024 / 1e6);
        variantsMs.push_back(runProcess(at.query({"--variants", "明月"}), at.env).ms);
        firstPeak.keep = std::max(firstPeak.keep, first.peak.keep);
        firstPeak.all = std::max(firstPeak.all, first.peak.all);
        keptPeak.keep = std::max(keptPeak.keep, kept.peak.keep);
        rgMs.push_back(runProcess({"rg", "-c", "-F", "明月", at.textPath}).ms);
        measureKeptQueries(at, i == 0, queryKeptMs, queryRgMs, f);
    }
    for (std::size_t q = 0; q < f.kept.size(); ++q) {
        f.kept[q].keptMs = median(queryKeptMs[q]);
        f.kept[q].rgMs = median(queryRgMs[q]);
    }
    f.contextMs = median(contextMs);
    f.variantsMs = median(variantsMs);
    f.keptBytesMb = double(bytesIn(QString::fromStdString(cache) + QStringLiteral("/morvessa/columns"))) / 1e6;
    f.exportMs = median(exportMs);
    f.firstMs = median(firstMs);
    f.keptMs = median(keptMs);
    f.rgMs = median(rgMs);
    f.firstKeepMb = double(firstPeak.keep) * 1024 / 1e6;
    f.firstAllMb = double(firstPeak.all) * 1024 / 1e6;
    f.keptKeepMb = double(keptPeak.keep) * 1024 / 1e6;
    return true;
}

// Inside one process: the query on the kept table, and one memchr pass over the same bytes.
void measureInProcess(const Shape &shape, const QString &folder, const std::string &cache, Figures &f)
{
    const QString conn = buildConnString(folder);
    Collection collection;
    collection.reading.keptFolder = QString::fromStdString(cache) + QStringLiteral("/morvessa/columns");
    const QueryAnalysis a = analyseQuery(QStringLiteral("明月"));
    valueOf(runSearch(conn, a, Matching::Exact, collection));
    std::vector<double> queryMs, floorMs;
    Connection c(collection);
    if (const Result<void> opened = c.open(conn); !opened)
        throw std::runtime_error(opened.message().toStdString());
    const std::string_view content = c.table()->content.bytes;
    long found = 0;
    for (int i = 0; i < 20; ++i) {
        auto t = Clock::now();
        valueOf(runSearch(conn, a, Matching::Exact, collection));
        queryMs.push_back(msSince(t));
        t = Clock::now();
        found += memchrPass(content);
        floorMs.push_back(msSince(t));
    }
    f.queryMs = median(queryMs);
    f.floorMs = median(floorMs);
    if (found)
        std::printf("(the content holds a byte 0xFF: not UTF-8)\n");
    std::printf("%s: %zu content bytes in the program\n", shape.name.c_str(), content.size());
}

std::optional<Figures> measure(const Shape &shape, const QString &work, const std::string &queryProgram)
{
    Figures f;
    f.name = shape.name;
    const QString folder = work + QLatin1Char('/') + QString::fromStdString(shape.name);
    QDir().mkpath(folder);
    const QString link = folder + QStringLiteral("/jst.mdb");
    QFile::remove(link);
    QFile::link(QString::fromStdString(shape.mdb), link);
    f.fileMb = double(QFileInfo(QString::fromStdString(shape.mdb)).size()) / 1e6;

    const std::string textPath = (folder + QStringLiteral("/content.txt")).toStdString();
    writeTextForRg(shape, textPath, f);
    const std::string cache = (folder + QStringLiteral("/cache")).toStdString();
    const ShapeFolder at{folder.toStdString(), queryProgram, textPath, {"XDG_CACHE_HOME=" + cache}};
    if (!measureStarts(shape, at, cache, f))
        return std::nullopt;
    measureInProcess(shape, folder, cache, f);
    return f;
}

long firstNumber(const std::string &text)
{
    const auto digit = std::find_if(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    return digit == text.end() ? -1 : std::atol(&*digit);
}

void printFigures(const std::vector<Figures> &all)
{
    std::printf(
        "\n## Whole process, file in the page cache (ms, median)\n\n"
        "| collection | records | file MB | text MB | mdb-export | first start | start with the kept copy | "
        "rg -c -F | first ÷ mdb-export | kept ÷ rg |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Figures &f : all)
        std::printf("| %s | %zu | %s | %s | %s | %s | %s | %s | %s | %s |\n", f.name.c_str(), f.records,
                    fmt(f.fileMb).c_str(), fmt(f.textMb).c_str(), fmt(f.exportMs).c_str(), fmt(f.firstMs).c_str(),
                    fmt(f.keptMs).c_str(), fmt(f.rgMs).c_str(), ratio(f.firstMs, f.exportMs).c_str(),
                    ratio(f.keptMs, f.rgMs).c_str());
    std::printf("\n## Start with the kept copy: morvessa-query --count against rg -c on the same text, whole "
                "process against whole process (ms, median)\n\n"
                "| collection | query | morvessa-query --count | rg | ÷ rg | count: morvessa-query / rg |\n"
                "|---|---|---:|---:|---:|---|\n");
    for (const Figures &f : all)
        for (std::size_t q = 0; q < f.kept.size(); ++q) {
            const KeptFigures &k = f.kept[q];
            std::printf("| %s | %s | %s | %s | %s | %s / %s%s |\n", f.name.c_str(), keptQueries()[q].label,
                        fmt(k.keptMs).c_str(), fmt(k.rgMs).c_str(), ratio(k.keptMs, k.rgMs).c_str(),
                        k.keptCount.c_str(), k.rgCount.c_str(),
                        firstNumber(k.keptCount) == firstNumber(k.rgCount) ? "" : " DIFFER");
        }
    std::printf("\nThe text given to rg is the content as the program reads it, one record a line; characters "
                "above U+FFFF in it:");
    for (const Figures &f : all)
        std::printf(" %s %zu;", f.name.c_str(), f.astral);
    std::printf("\n");
    std::printf(
        "\n## Peak memory of the process tree (MB; anonymous and shared: what cannot be dropped)\n\n"
        "| collection | text | first start | ÷ text | with the kept copy | ÷ text | first start, all resident "
        "(mapped files too) |\n|---|---:|---:|---:|---:|---:|---:|\n");
    for (const Figures &f : all)
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", f.name.c_str(), fmt(f.textMb).c_str(),
                    fmt(f.firstKeepMb).c_str(), ratio(f.firstKeepMb, f.textMb).c_str(), fmt(f.keptKeepMb).c_str(),
                    ratio(f.keptKeepMb, f.textMb).c_str(), fmt(f.firstAllMb).c_str());
    std::printf("\n## Inside one process (in-process figures, compared only with each other): 明月 against one "
                "memchr pass over the same content bytes (ms, median of 20)"
                "\n\n| collection | query | memchr pass | ÷ memchr |\n|---|---:|---:|---:|\n");
    for (const Figures &f : all)
        std::printf("| %s | %s | %s | %s |\n", f.name.c_str(), fmt(f.queryMs).c_str(), fmt(f.floorMs).c_str(),
                    ratio(f.queryMs, f.floorMs).c_str());
    std::printf(
        "\n## Context lines, variant forms and the kept copy: 明月 as a whole process on the kept copy "
        "(ms, median); the tree's memory that cannot be dropped with --context 20 (MB, peak); the cache "
        "folder after plain, --context and --variants searches\n\n"
        "| collection | plain | --context 20 | ÷ plain | memory, --context | --variants | ÷ plain | kept MB | "
        "÷ jst.mdb |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Figures &f : all)
        std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", f.name.c_str(), fmt(f.keptMs).c_str(),
                    fmt(f.contextMs).c_str(), ratio(f.contextMs, f.keptMs).c_str(), fmt(f.contextKeepMb).c_str(),
                    fmt(f.variantsMs).c_str(), ratio(f.variantsMs, f.keptMs).c_str(), fmt(f.keptBytesMb).c_str(),
                    ratio(f.keptBytesMb, f.fileMb).c_str());
    std::printf("\n## Targets\n\n| target | collection | figure | met |\n|---|---|---|---|\n");
    auto line = [](const char *what, const Figures &f, double value, double limit) {
        std::printf("| %s | %s | %s | %s |\n", what, f.name.c_str(), fmt(value, " ×").c_str(),
                    value >= 0 && value <= limit ? "yes" : "not yet");
    };
    for (const Figures &f : all) {
        line("start with the kept copy ≤ 3 × rg -c -F", f, f.keptMs / f.rgMs, 3);
        for (std::size_t q = 0; q < f.kept.size(); ++q)
            line(("kept-copy start, --count " + std::string(keptQueries()[q].label) + " ≤ 1.0 × rg").c_str(), f,
                 f.kept[q].keptMs / f.kept[q].rgMs, 1.0);
        line("first start ≤ 0.5 × mdb-export", f, f.firstMs / f.exportMs, 0.5);
        line("peak memory of the tree on the first start ≤ 1.3 × text", f, f.firstKeepMb / f.textMb, 1.3);
        line("query ≤ 2 × memchr pass", f, f.queryMs / f.floorMs, 2);
        line("--context ≤ 1.5 × the plain query", f, f.contextMs / f.keptMs, 1.5);
        std::printf("| memory of the tree with --context ≤ 10 MB | %s | %s MB | %s |\n", f.name.c_str(),
                    fmt(f.contextKeepMb).c_str(),
                    f.contextKeepMb >= 0 && f.contextKeepMb <= 10 ? "yes" : "not yet");
        line("kept after the three kinds of search ≤ 1.3 × jst.mdb", f, f.keptBytesMb / f.fileMb, 1.3);
    }
    std::printf("\n");
}

struct Options {
    std::string path = bench::defaultCorpus();
    int reps = 5, copies = 10;
    std::uint32_t longRecords = 70000;
    bool scale = false;
    QString work;
};

// The command line in options; an exit status when the program stops here.
std::optional<int> parseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto number = [&](const char *name) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "morvessa-store-bench: %s needs a number\n%s", name, kUsage);
                std::exit(2);
            }
            return std::atol(argv[++i]);
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--reps") {
            o.reps = std::max(1, int(number("--reps")));
        } else if (a == "--scale") {
            o.scale = true;
        } else if (a == "--copies") {
            o.copies = std::max(2, int(number("--copies")));
        } else if (a == "--long-records") {
            o.longRecords = std::uint32_t(std::max(1L, number("--long-records")));
        } else if (a == "--work" && i + 1 < argc) {
            o.work = QString::fromLocal8Bit(argv[++i]);
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr, "morvessa-store-bench: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else {
            o.path = a;
        }
    }
    return std::nullopt;
}

void printHeader(int argc, char **argv, const std::string &path)
{
    std::ifstream load("/proc/loadavg");
    std::string l1, l5, l15;
    load >> l1 >> l5 >> l15;
    std::string command;
    for (int i = 0; i < argc; ++i)
        command += std::string(i ? " " : "") + argv[i];
    std::printf("# morvessa-store-bench on %s\n\nCommand: %s\nMachine: %ld cores, load average %s %s %s\n",
                path.c_str(), command.c_str(), sysconf(_SC_NPROCESSORS_ONLN), l1.c_str(), l5.c_str(), l15.c_str());
}

// The collection named, and with --scale the ones made from it in work.
std::vector<Shape> shapesFor(const Options &o, const QString &work)
{
    std::vector<Shape> shapes = {
        {QFileInfo(QString::fromStdString(o.path)).fileName().toStdString(), o.path, o.reps}};
    if (!o.scale)
        return shapes;
    const std::string repeated = (work + QStringLiteral("/repeated.mdb")).toStdString();
    const std::string longOnes = (work + QStringLiteral("/long.mdb")).toStdString();
    auto t = Clock::now();
    bench::writeRepeated(o.path, repeated, o.copies);
    std::printf("Made %s (%d copies) in %.1f s\n", repeated.c_str(), o.copies, msSince(t) / 1000);
    t = Clock::now();
    bench::writeLongRecords(o.path, longOnes, o.longRecords, 10000, 50000);
    std::printf("Made %s (%u records of 10-50 KB) in %.1f s\n", longOnes.c_str(), o.longRecords,
                msSince(t) / 1000);
    shapes.push_back({"repeated ×" + std::to_string(o.copies), repeated, std::max(1, std::min(o.reps, 3))});
    shapes.push_back({"long records", longOnes, std::max(1, std::min(o.reps, 3))});
    return shapes;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (const std::optional<int> stop = parseOptions(argc, argv, o))
        return *stop;
    if (!bench::findCollection(o.path))
        return 0;
    QTemporaryDir temporary;
    const QString work = o.work.isEmpty() ? temporary.path() : o.work;
    QDir().mkpath(work);
    const std::string queryProgram = selfFolder() + "/../../app/morvessa-query";
    if (access(queryProgram.c_str(), X_OK) != 0) {
        std::printf("morvessa-query not found at %s: build it first.\n", queryProgram.c_str());
        return 1;
    }
    printHeader(argc, argv, o.path);
    std::vector<Figures> all;
    for (const Shape &shape : shapesFor(o, work)) {
        std::printf("measuring %s ...\n", shape.name.c_str());
        std::fflush(stdout);
        try {
            const auto f = measure(shape, work, queryProgram);
            if (!f)
                return 1;
            all.push_back(*f);
        } catch (const std::exception &e) {
            std::printf("failed on %s: %s\n", shape.mdb.c_str(), e.what());
            return 1;
        }
    }
    printFigures(all);
    return 0;
}
