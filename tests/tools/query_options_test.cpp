// morvessa-query's command line and output formats, without a process.
#include "engine/recordstore.h"
#include "search/concordance.h"
#include "search/contextsearch.h"
#include "testdata.h"
#include "text/terminalwidth.h"
#include "tools/query/options.h"
#include "tools/query/output.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

using namespace morvessa;
using namespace morvessa::querytool;

namespace {

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

CommandLine parse(std::initializer_list<const char *> args)
{
    QStringList list{QStringLiteral("morvessa-query")};
    for (const char *a : args)
        list << u(a);
    return parseCommandLine(list);
}

class Rows : public ResultRows {
public:
    explicit Rows(std::vector<std::pair<QString, QString>> rows) : m_rows(std::move(rows)) {}
    int count() const override { return int(m_rows.size()); }
    QString text(int row, int col) const override { return col == 0 ? m_rows[row].first : m_rows[row].second; }

private:
    std::vector<std::pair<QString, QString>> m_rows;
};

// What print writes to a stream.
template <typename Print>
QByteArray written(Print print)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    print(out);
    std::fclose(out);
    QByteArray bytes(buffer, qsizetype(size));
    std::free(buffer);
    return bytes;
}

QByteArray printed(const ResultRows &rows, OutputFormat format, int pageRow = 0, const QString &path = {})
{
    return written([&](std::FILE *out) { printRows(out, rows, format, pageRow, path); });
}

} // namespace

// As with grep: options before "--", the query's words after it or anywhere else, joined
// by blanks as the query box reads them.
TEST(QueryOptionsTest, QueryWordsAndTheDoubleDash)
{
    const struct {
        std::initializer_list<const char *> args;
        const char *query;
    } cases[] = {
        {{"發熱"}, "發熱"},
        {{"發熱", "頭痛"}, "發熱 頭痛"},
        {{"發熱", "--variants", "頭痛"}, "發熱 頭痛"},
        {{"--", "-發熱 頭痛"}, "-發熱 頭痛"},
        {{"--", "-發熱", "頭痛"}, "-發熱 頭痛"},
        {{"+發熱", "頭痛"}, "+發熱 頭痛"},
        {{"-"}, "-"},
        {{"--", "-h"}, "-h"},
        {{"--", "--help", "--"}, "--help --"},
        {{"--folder", "-x", "+發熱"}, "+發熱"},
        {{}, ""},
    };
    for (const auto &c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Run) << c.query << ": " << line.text.toStdString();
        EXPECT_EQ(line.options.query, u(c.query));
    }
}

TEST(QueryOptionsTest, HelpAndVersionAreNeverQueries)
{
    for (const auto &args : {parse({"-h"}), parse({"--help"}), parse({"發熱", "-h"}), parse({"-ch"}),
                             parse({"--folder", "x", "--help"}), parse({"-i", "-h"})}) {
        EXPECT_EQ(args.action, CommandLine::ShowHelp);
        for (const char *option : {"--folder", "--explain", "--page", "--format", "--version", "--variants",
                                   "-C, --context", "--max-hits", "-c, --count", "-m, --max-count", "--color"})
            EXPECT_TRUE(args.text.contains(u(option))) << option;
        // Every line fits an 80-column terminal, where a CJK character takes two columns.
        for (const QString &line : args.text.split(u("\n")))
            EXPECT_LE(displayWidth(line), 80) << line.toStdString();
    }
    for (const auto &args : {parse({"-v"}), parse({"-V"}), parse({"--version"})}) {
        EXPECT_EQ(args.action, CommandLine::ShowVersion);
        EXPECT_TRUE(args.text.startsWith(QStringLiteral("morvessa-query "))) << args.text.toStdString();
    }
}

TEST(QueryOptionsTest, OptionValues)
{
    const CommandLine line =
        parse({"--folder", "-我的 資料", "--page=3", "--format", "json", "--explain", "咳嗽"});
    ASSERT_EQ(line.action, CommandLine::Run) << line.text.toStdString();
    EXPECT_EQ(line.options.folder, u("-我的 資料"));
    EXPECT_EQ(line.options.page, 3);
    EXPECT_EQ(line.options.format, OutputFormat::Json);
    EXPECT_TRUE(line.options.explain);
    EXPECT_EQ(line.options.query, u("咳嗽"));

    const CommandLine defaults = parse({"--folder=/c", "--format=tsv"});
    EXPECT_EQ(defaults.options.folder, QStringLiteral("/c"));
    EXPECT_EQ(defaults.options.format, OutputFormat::Tsv);
    EXPECT_EQ(parse({}).options.format, OutputFormat::Text);
    EXPECT_EQ(parse({}).options.color, ColorChoice::Auto);
}

// Short options mean what their long names mean, bundled or not, with the value attached or
// next; --context always takes its value, even one that looks like a query.
TEST(QueryOptionsTest, ShortOptionsAndValues)
{
    const struct {
        std::initializer_list<const char *> args;
        int context, maxHits, maxCount;
        bool count;
        ColorChoice color;
        const char *query;
    } cases[] = {
        {{"發熱"}, -1, 0, 0, false, ColorChoice::Auto, "發熱"},
        {{"--context", "5", "發熱"}, 5, 0, 0, false, ColorChoice::Auto, "發熱"},
        {{"-C", "5", "發熱"}, 5, 0, 0, false, ColorChoice::Auto, "發熱"},
        {{"-C5", "發熱"}, 5, 0, 0, false, ColorChoice::Auto, "發熱"},
        {{"--context=5", "發熱"}, 5, 0, 0, false, ColorChoice::Auto, "發熱"},
        {{"--context", "123"}, 123, 0, 0, false, ColorChoice::Auto, ""},
        {{"--context=0", "--max-hits", "2", "發熱"}, 0, 2, 0, false, ColorChoice::Auto, "發熱"},
        {{"-c", "發熱"}, -1, 0, 0, true, ColorChoice::Auto, "發熱"},
        {{"--count", "發熱"}, -1, 0, 0, true, ColorChoice::Auto, "發熱"},
        {{"-cC", "3", "--", "-發熱"}, 3, 0, 0, true, ColorChoice::Auto, "-發熱"},
        {{"-cC3", "-m", "7"}, 3, 0, 7, true, ColorChoice::Auto, ""},
        {{"-m7", "發熱"}, -1, 0, 7, false, ColorChoice::Auto, "發熱"},
        {{"--max-count", "7", "發熱"}, -1, 0, 7, false, ColorChoice::Auto, "發熱"},
        {{"--max-count=7", "發熱"}, -1, 0, 7, false, ColorChoice::Auto, "發熱"},
        {{"--color=never", "-C", "1", "a"}, 1, 0, 0, false, ColorChoice::Never, "a"},
        {{"--color", "always", "a"}, -1, 0, 0, false, ColorChoice::Always, "a"},
        {{"--color=always", "--color=auto"}, -1, 0, 0, false, ColorChoice::Auto, ""},
    };
    for (const auto &c : cases) {
        const CommandLine line = parse(c.args);
        ASSERT_EQ(line.action, CommandLine::Run) << c.query << ": " << line.text.toStdString();
        EXPECT_EQ(line.options.context, c.context) << c.query;
        EXPECT_EQ(line.options.maxHits, c.maxHits) << c.query;
        EXPECT_EQ(line.options.maxCount, c.maxCount) << c.query;
        EXPECT_EQ(line.options.count, c.count) << c.query;
        EXPECT_EQ(line.options.color, c.color) << c.query;
        EXPECT_EQ(line.options.query, u(c.query));
    }
    EXPECT_TRUE(parse({"--variants", "后"}).options.variants);
}

TEST(QueryOptionsTest, WrongCommandLinesFailWithAMessage)
{
    const struct {
        std::initializer_list<const char *> args;
        const char *mentions;
    } cases[] = {
        {{"--unknown"}, "--unknown"},
        {{"-i", "發熱"}, "-i"},
        {{"-發熱 頭痛"}, "-- -發熱 頭痛"},
        {{"-c", "-x"}, "-x"},
        {{"--count=1"}, "--count"},
        {{"--folder"}, "--folder"},
        {{"--folder", ""}, "--folder"},
        {{"--folder=", "發熱"}, "--folder"},
        {{"--page", "0"}, "--page"},
        {{"--page", "x"}, "--page"},
        {{"--page", "-1"}, "--page"},
        {{"--format", "xml"}, "xml"},
        {{"--context"}, "--context"},
        {{"-C"}, "-C"},
        {{"--context", "發熱"}, "--context"},
        {{"--context=x"}, "--context"},
        {{"--context", "-1"}, "--context"},
        {{"-C", "20", "--max-hits", "0"}, "--max-hits"},
        {{"--max-hits", "2", "發熱"}, "--context"},
        {{"-m", "0"}, "--max-count"},
        {{"--max-count", "x"}, "--max-count"},
        {{"--color=red"}, "red"},
        {{"--count", "--page", "1"}, "--page"},
        {{"-C", "2", "--page", "1"}, "--page"},
    };
    for (const auto &c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Fail) << c.mentions;
        EXPECT_TRUE(line.text.contains(u(c.mentions))) << line.text.toStdString();
    }
}

// auto colours a terminal only, and not one whose TERM is unset or dumb, nor under NO_COLOR.
TEST(QueryOptionsTest, ColourDecisions)
{
    const QByteArray term = qgetenv("TERM"), noColor = qgetenv("NO_COLOR");
    const struct {
        const char *term, *noColor;
        bool terminal;
        bool autoColours;
    } cases[] = {
        {"xterm-256color", "", true, true}, {"xterm-256color", "", false, false},
        {"dumb", "", true, false},          {"", "", true, false},
        {"xterm", "1", true, false},
    };
    for (const auto &c : cases) {
        qputenv("TERM", c.term);
        qputenv("NO_COLOR", c.noColor);
        EXPECT_EQ(colorHits(ColorChoice::Auto, c.terminal), c.autoColours) << c.term << c.noColor << c.terminal;
        EXPECT_TRUE(colorHits(ColorChoice::Always, c.terminal));
        EXPECT_FALSE(colorHits(ColorChoice::Never, c.terminal));
    }
    qputenv("TERM", term);
    qputenv("NO_COLOR", noColor);
}

TEST(QueryOutputTest, FieldsWithTabsBreaksQuotesAndBackslashes)
{
    const Rows rows({{u("桂枝湯"), u("fang\\guizhi.htm")}, {u("a\tb\nc\rd \"e\" \x01"), u("x\\y")}});
    EXPECT_EQ(printed(rows, OutputFormat::Text),
              u("桂枝湯\tfang\\guizhi.htm\na\tb\nc\rd \"e\" \x01\tx\\y\n").toUtf8());
    EXPECT_EQ(printed(rows, OutputFormat::Tsv, 2, u("/t/tmp/TmpKELMAR.htm")),
              u("桂枝湯\tfang\\\\guizhi.htm\na\\tb\\nc\\rd \"e\" \x01\tx\\\\y\n/t/tmp/TmpKELMAR.htm\n").toUtf8());

    const QList<QByteArray> lines =
        printed(rows, OutputFormat::Json, 2, u("/資料 夾/tmp/TmpKELMAR.htm")).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].isEmpty());
    for (int r = 0; r < 2; ++r) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(lines[r], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[r].toStdString();
        EXPECT_EQ(object.value(u("row")).toInt(), r + 1);
        EXPECT_EQ(object.value(u("title")).toString(), rows.text(r, 0));
        EXPECT_EQ(object.value(u("page")).toString(), rows.text(r, 1));
        EXPECT_EQ(object.contains(u("path")), r == 1);
    }
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object().value(u("path")).toString(),
              u("/資料 夾/tmp/TmpKELMAR.htm"));
}

TEST(QueryOutputTest, ContextLinesAndCounts)
{
    const Rows rows({{u("桂枝湯"), u("fang\\guizhi.htm")}});
    const LinePieces line{20, "。\r\n", "桂枝", "湯\t\""};
    auto context = [&](OutputFormat format, HitMarks marks) {
        return QString::fromUtf8(
            written([&](std::FILE *out) { ContextPrinter(out, format, marks).print(rows, 0, line); }));
    };
    // Text keeps to one line: line breaks and TABs in the context become blanks.
    EXPECT_EQ(context(OutputFormat::Text, HitMarks::Brackets),
              u("桂枝湯\tfang\\guizhi.htm\t20\t。  【桂枝】湯 \"\n"));
    EXPECT_EQ(context(OutputFormat::Text, HitMarks::Red),
              u("桂枝湯\tfang\\guizhi.htm\t20\t。  \x1b[31m桂枝\x1b[0m湯 \"\n"));
    EXPECT_EQ(context(OutputFormat::Tsv, HitMarks::Red),
              u("桂枝湯\tfang\\\\guizhi.htm\t20\t。\\r\\n\t桂枝\t湯\\t\"\n"));
    const QJsonObject json = QJsonDocument::fromJson(context(OutputFormat::Json, HitMarks::Red).toUtf8()).object();
    EXPECT_EQ(json, QJsonObject({{u("row"), 1},
                                 {u("title"), u("桂枝湯")},
                                 {u("page"), u("fang\\guizhi.htm")},
                                 {u("offset"), 20},
                                 {u("before"), u("。\r\n")},
                                 {u("hit"), u("桂枝")},
                                 {u("after"), u("湯\t\"")}}));
    // A byte that begins no character (content from elsewhere) shows as U+FFFD.
    EXPECT_EQ(
        written([&](std::FILE *out) {
            ContextPrinter(out, OutputFormat::Text, HitMarks::Brackets).print(rows, 0, {3, "a\xff", "桂", "\xe6"});
        }),
        u("桂枝湯\tfang\\guizhi.htm\t3\ta\uFFFD【桂】\uFFFD\n").toUtf8());

    // Long pieces cut from one buffer, as a search gives them: every control character
    // becomes a blank wherever it lies (the printer goes eight bytes at a time), and the
    // pieces are checked together, a stray byte still showing where it is.
    std::string ascii;
    for (char c = 1; c > 0; ++c)
        ascii += c;
    for (const bool stray : {false, true}) {
        const std::string buffer = ascii + "。中\r\n文" + (stray ? "桂\xff" : "桂枝") + "\x1f湯\x7f" + ascii;
        const std::string_view all(buffer);
        const std::size_t hitAt = ascii.size() + 11, afterAt = hitAt + (stray ? 4 : 6);
        const LinePieces cut{7, all.substr(0, hitAt), all.substr(hitAt, afterAt - hitAt), all.substr(afterAt)};
        std::string expected = "桂枝湯\tfang\\guizhi.htm\t7\t" + buffer.substr(0, hitAt) + "【" +
                               (stray ? std::string("桂\uFFFD") : buffer.substr(hitAt, 6)) + "】" +
                               buffer.substr(afterAt) + "\n";
        for (std::size_t k = expected.find('\t', expected.find('\t', expected.find('\t') + 1) + 1) + 1;
             k < expected.size() - 1; ++k)
            if (static_cast<unsigned char>(expected[k]) < 0x20)
                expected[k] = ' ';
        EXPECT_EQ(written([&](std::FILE *out) {
                      ContextPrinter(out, OutputFormat::Text, HitMarks::Brackets).print(rows, 0, cut);
                  }),
                  QByteArray::fromStdString(expected))
            << stray;
    }

    auto count = [&](qint64 occurrences, OutputFormat format) {
        return written([&](std::FILE *out) { printCount(out, 3, occurrences, format); });
    };
    EXPECT_EQ(count(-1, OutputFormat::Text), QByteArray("3\n"));
    EXPECT_EQ(count(7, OutputFormat::Tsv), QByteArray("3\t7\n"));
    EXPECT_EQ(count(-1, OutputFormat::Json), QByteArray("{\"records\":3}\n"));
    EXPECT_EQ(count(7, OutputFormat::Json), QByteArray("{\"records\":3,\"occurrences\":7}\n"));
}

// Lines made on two threads, a stretch of rows each in turn, come out in the result's
// order, also where the thread making them ahead stops holding them and the other goes on.
TEST(QueryOutputTest, ContextLinesFromTwoThreadsKeepTheResultOrder)
{
    const ContextSearch search = test::valueOf(
        runContextSearch(test::connFor("collection"), analyseQuery(u("，")), Matching::Exact, Collection(), {5}));
    const int records = search.outcome.rows ? search.outcome.rows->count() : 0;
    ASSERT_GE(records, 6);
    auto lines = [&](const LineStretches &stretches, qint64 &count) {
        return written([&](std::FILE *out) {
            count = printContextLines(out, search, records, OutputFormat::Text, HitMarks::Brackets, stretches);
        });
    };
    qint64 oneThreadCount = 0;
    const QByteArray oneThread = lines({records, std::size_t(1) << 20}, oneThreadCount);
    EXPECT_GT(oneThreadCount, 1000);
    EXPECT_EQ(oneThread.count('\n'), oneThreadCount);
    const LineStretches shares[] = {{1, std::size_t(1) << 20}, {2, 1}, {3, 2000}, {4, 0}};
    for (const LineStretches &share : shares) {
        qint64 count = 0;
        EXPECT_EQ(lines(share, count), oneThread) << share.rows << ' ' << share.mostHeld;
        EXPECT_EQ(count, oneThreadCount);
    }
}
