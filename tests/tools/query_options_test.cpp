// morvessa-query's command line and output formats, without a process.
#include "engine/recordstore.h"
#include "search/concordance.h"
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

TEST(QueryOptionsTest, QueriesBeginningWithADashStayQueries)
{
    const struct {
        std::initializer_list<const char *> args;
        const char *query;
    } cases[] = {
        {{"-發熱 頭痛"}, "-發熱 頭痛"},
        {{"--", "-發熱 頭痛"}, "-發熱 頭痛"},
        {{"-"}, "-"},
        {{"--", "-h"}, "-h"},
        {{"--", "--help"}, "--help"},
        {{"-hv"}, "-hv"},
        {{"-發熱", "--folder", "x"}, "-發熱"},
        {{"--folder", "-x", "+發熱"}, "+發熱"},
        {{"發熱"}, "發熱"},
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
    for (const auto &args :
         {parse({"-h"}), parse({"--help"}), parse({"發熱", "-h"}), parse({"--folder", "x", "--help"})}) {
        EXPECT_EQ(args.action, CommandLine::ShowHelp);
        for (const char *option : {"--folder", "--explain", "--page", "--format", "--version", "--variants",
                                   "--context", "--max-hits", "--count"})
            EXPECT_TRUE(args.text.contains(u(option))) << option;
    }
    for (const auto &args : {parse({"-v"}), parse({"--version"})}) {
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
}

// --context takes a width when a number follows it, and is 20 wide otherwise.
TEST(QueryOptionsTest, ContextCountAndVariants)
{
    const struct {
        std::initializer_list<const char *> args;
        int context, maxHits;
        bool count, variants;
        const char *query;
    } cases[] = {
        {{"發熱"}, -1, 0, false, false, "發熱"},
        {{"--context", "發熱"}, 20, 0, false, false, "發熱"},
        {{"--context", "5", "發熱"}, 5, 0, false, false, "發熱"},
        {{"--context=0", "--max-hits", "2", "發熱"}, 0, 2, false, false, "發熱"},
        {{"--context", "--", "100"}, 20, 0, false, false, "100"},
        {{"--context", "-發熱 頭痛"}, 20, 0, false, false, "-發熱 頭痛"},
        {{"--variants", "--count", "--context", "--max-hits=3", "后"}, 20, 3, true, true, "后"},
        {{"--count"}, -1, 0, true, false, ""},
    };
    for (const auto &c : cases) {
        const CommandLine line = parse(c.args);
        ASSERT_EQ(line.action, CommandLine::Run) << c.query << ": " << line.text.toStdString();
        EXPECT_EQ(line.options.context, c.context) << c.query;
        EXPECT_EQ(line.options.maxHits, c.maxHits) << c.query;
        EXPECT_EQ(line.options.count, c.count) << c.query;
        EXPECT_EQ(line.options.variants, c.variants) << c.query;
        EXPECT_EQ(line.options.query, u(c.query));
    }
}

TEST(QueryOptionsTest, WrongCommandLinesFailWithAMessage)
{
    const struct {
        std::initializer_list<const char *> args;
        const char *mentions;
    } cases[] = {
        {{"--unknown"}, "unknown"},
        {{"a", "b"}, "查詢只能有一個"},
        {{"-發熱", "頭痛"}, "查詢只能有一個"},
        {{"--folder"}, "--folder"},
        {{"--folder", ""}, "--folder"},
        {{"--folder=", "發熱"}, "--folder"},
        {{"--page", "0"}, "--page"},
        {{"--page", "x"}, "--page"},
        {{"--page", "-1"}, "--page"},
        {{"--format", "xml"}, "xml"},
        {{"--context=x"}, "--context"},
        {{"--context=-1"}, "--context"},
        {{"--context", "--max-hits", "0"}, "--max-hits"},
        {{"--max-hits", "2", "發熱"}, "--context"},
        {{"--count", "--page", "1"}, "--page"},
        {{"--context", "--page", "1"}, "--page"},
    };
    for (const auto &c : cases) {
        const CommandLine line = parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Fail) << c.mentions;
        EXPECT_TRUE(line.text.contains(u(c.mentions))) << line.text.toStdString();
    }
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
    const ContextLine line{20, u("。\r\n"), u("桂枝"), u("湯\t\"")};
    auto context = [&](OutputFormat format, HitMarks marks) {
        return QString::fromUtf8(
            written([&](std::FILE *out) { printContextLine(out, rows, 0, line, format, marks); }));
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
                                 {u("before"), line.before},
                                 {u("hit"), line.hit},
                                 {u("after"), line.after}}));

    auto count = [&](qint64 occurrences, OutputFormat format) {
        return written([&](std::FILE *out) { printCount(out, 3, occurrences, format); });
    };
    EXPECT_EQ(count(-1, OutputFormat::Text), QByteArray("3\n"));
    EXPECT_EQ(count(7, OutputFormat::Tsv), QByteArray("3\t7\n"));
    EXPECT_EQ(count(-1, OutputFormat::Json), QByteArray("{\"records\":3}\n"));
    EXPECT_EQ(count(7, OutputFormat::Json), QByteArray("{\"records\":3,\"occurrences\":7}\n"));
}
