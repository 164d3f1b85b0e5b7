#include "tools/query/options.h"

#include "text/terminalwidth.h"

#include <QCoreApplication>

#include <optional>
#include <vector>

namespace morvessa::querytool {

namespace {

const QString kProgram = QStringLiteral("morvessa-query");

enum class Id { Help, Version, Folder, Explain, Page, Format, Variants, Context, MaxHits, MaxCount, Count, Color };

struct Option {
    Id id;
    QString shorts; // letters, the first one shown
    QString name;   // the long name, without "--"
    QString value;  // the value's name; empty for a switch
    QString help;
};

// Every option of the tool, declared once: the parser and the help text go through it.
const std::vector<Option> &options()
{
    static const std::vector<Option> table{
        {Id::Folder,
         {},
         QStringLiteral("folder"),
         QStringLiteral("DIR"),
         QStringLiteral("在資料夾 DIR 的資料集中檢索（預設為程式檔所在的資料夾）。")},
        {Id::Variants,
         {},
         QStringLiteral("variants"),
         {},
         QStringLiteral("簡體、繁體與異體字視為同一個字：「发热」也找到「發熱」，「脉」也找到「脈」；"
                        "一字對應多字時全部算在內，例如「后」也找到「後」。")},
        {Id::Count,
         QStringLiteral("c"),
         QStringLiteral("count"),
         {},
         QStringLiteral("只印找到的筆數（找不到時印 0）；與 --context 一起使用時，再印一個 TAB 與出現的處數。")},
        {Id::Context, QStringLiteral("C"), QStringLiteral("context"), QStringLiteral("N"),
         QStringLiteral("每筆結果中每個詞的每一處各印一行：標題、網頁名稱、位置（內容中前面的字數）"
                        "與前後各 N 個字；找到的字以紅色或【】標出（見 --color）。")},
        {Id::MaxCount, QStringLiteral("m"), QStringLiteral("max-count"), QStringLiteral("K"),
         QStringLiteral("最多 K 筆結果（依結果的順序），有沒有 --context 都一樣。")},
        {Id::MaxHits,
         {},
         QStringLiteral("max-hits"),
         QStringLiteral("K"),
         QStringLiteral("與 --context 一起使用：每筆結果最多印 K 行。")},
        {Id::Color,
         {},
         QStringLiteral("color"),
         QStringLiteral("WHEN"),
         QStringLiteral("auto（預設）、always 或 never：前後文中找到的字以紅色標出；"
                        "auto 只在 TERM 不是 dumb 的終端機上、且沒有設定 NO_COLOR 時上色；"
                        "不上色時放在【】之間。")},
        {Id::Page,
         {},
         QStringLiteral("page"),
         QStringLiteral("N"),
         QStringLiteral("另把第 N 筆（從 1 起算）的網頁標出關鍵詞後寫出，並列出其路徑。")},
        {Id::Format,
         {},
         QStringLiteral("format"),
         QStringLiteral("FORMAT"),
         QStringLiteral("輸出格式：text（預設，標題、定位字元、網頁名稱）、tsv（同樣兩欄，"
                        "定位字元、換行與反斜線以 \\t、\\n、\\r、\\\\ 表示）、json（每筆一行 JSON 物件）。")},
        {Id::Explain,
         {},
         QStringLiteral("explain"),
         {},
         QStringLiteral("只列出檢索模式與 SQL 敘述，不執行檢索。")},
        {Id::Help, QStringLiteral("h"), QStringLiteral("help"), {}, QStringLiteral("顯示這份說明後結束。")},
        {Id::Version, QStringLiteral("Vv"), QStringLiteral("version"), {}, QStringLiteral("顯示版本後結束。")},
    };
    return table;
}

const Option *byName(QStringView name)
{
    for (const Option &option : options())
        if (option.name == name)
            return &option;
    return nullptr;
}

const Option *byLetter(QChar letter)
{
    for (const Option &option : options())
        if (option.shorts.contains(letter))
            return &option;
    return nullptr;
}

QString nameOf(Id id)
{
    for (const Option &option : options())
        if (option.id == id)
            return option.name;
    return {};
}

QString helpText()
{
    QString text = QStringLiteral("用法：%1 [選項] [--] [查詢…]\n"
                                  "在資料集中檢索，與主視窗的搜尋相同：每筆結果印成一行。\n\n"
                                  "查詢與主視窗的查詢框相同：「發熱 頭痛」、「-發熱 頭痛」（每個詞都要有）、"
                                  "「+發熱 頭痛」（有任一詞即可）；幾個引數以空白連成一個查詢；"
                                  "省略時列出全部資料。以「-」開頭的查詢寫在「--」之後，"
                                  "例如：%1 -- -發熱 頭痛\n\n選項：\n")
                       .arg(kProgram);
    for (const Option &option : options()) {
        QString names =
            option.shorts.isEmpty() ? QStringLiteral("    ") : QStringLiteral("-%1, ").arg(option.shorts.front());
        names += QStringLiteral("--") + option.name;
        if (!option.value.isEmpty())
            names += QLatin1Char(' ') + option.value;
        text += QStringLiteral("  %1  %2\n").arg(names, -20).arg(option.help);
    }
    text += QStringLiteral("\n結束狀態：找到資料為 0；找不到資料為 1（訊息寫到標準錯誤；--count 只印 0）；"
                           "失敗（沒有或損毀的 jst.mdb、無效的查詢、錯誤的選項）為 2。");
    return wrapForTerminal(text);
}

CommandLine failure(const QString &what)
{
    CommandLine line;
    line.action = CommandLine::Fail;
    line.text = what + QStringLiteral("\n用法請見 %1 --help").arg(kProgram);
    return line;
}

std::optional<int> countFrom(const QString &text, int least)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < least)
        return std::nullopt;
    return value;
}

// The options as given, in order, and the words of the query.
struct Given {
    std::vector<std::pair<Id, QString>> values; // the last of an option counts
    QStringList words;
    std::optional<QString> wrong; // the first mistake
    bool isSet(Id id) const
    {
        for (const auto &[which, value] : values)
            if (which == id)
                return true;
        return false;
    }
    QString valueOf(Id id) const
    {
        QString last;
        for (const auto &[which, value] : values)
            if (which == id)
                last = value;
        return last;
    }
};

Given readArguments(const QStringList &arguments)
{
    Given given;
    auto take = [&](const Option &option, const QString &shown, std::optional<QString> value, qsizetype &i) {
        if (option.value.isEmpty()) {
            if (value)
                given.wrong = given.wrong.value_or(QStringLiteral("%1 不接受值。").arg(shown));
            given.values.emplace_back(option.id, QString());
            return;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                given.wrong =
                    given.wrong.value_or(QStringLiteral("%1 需要一個值（%2）。").arg(shown, option.value));
                return;
            }
            value = arguments[++i]; // a value may begin with "-"
        }
        given.values.emplace_back(option.id, *value);
    };

    bool onlyQuery = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (onlyQuery || arg == QLatin1String("-") || !arg.startsWith(QLatin1Char('-'))) {
            given.words << arg;
        } else if (arg == QLatin1String("--")) {
            onlyQuery = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            const qsizetype equals = arg.indexOf(QLatin1Char('='));
            const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
            const Option *option = byName(name);
            if (!option)
                given.wrong = given.wrong.value_or(QStringLiteral("不明的選項「--%1」。").arg(name));
            else
                take(*option, QStringLiteral("--") + name,
                     equals < 0 ? std::nullopt : std::optional<QString>(arg.mid(equals + 1)), i);
        } else {
            for (qsizetype j = 1; j < arg.size(); ++j) {
                const Option *option = byLetter(arg[j]);
                if (!option) {
                    given.wrong = given.wrong.value_or(
                        QStringLiteral("不明的選項「-%1」；以「-」開頭的查詢請寫在「--」之後，"
                                       "例如：%2 -- %3")
                            .arg(arg.mid(j, 1), kProgram, arg));
                    break;
                }
                const QString shown = QStringLiteral("-") + arg[j];
                if (!option->value.isEmpty() && j + 1 < arg.size()) {
                    take(*option, shown, arg.mid(j + 1), i);
                    break;
                }
                take(*option, shown, std::nullopt, i);
            }
        }
    }
    return given;
}

// The options of a command line that asks for a search, or why they cannot be.
CommandLine searchOptions(const Given &given)
{
    CommandLine line;
    QueryOptions &options = line.options;
    options.query = given.words.join(QLatin1Char(' '));
    options.folder = given.valueOf(Id::Folder);
    // An unset variable in a script gives --folder "": searching the program's own folder
    // instead would answer from another collection.
    if (given.isSet(Id::Folder) && options.folder.isEmpty())
        return failure(QStringLiteral("--folder 需要資料集的資料夾，不能是空的。"));
    options.explain = given.isSet(Id::Explain);
    // A count option: its value, at least `least`; `what` says what it counts.
    std::optional<QString> wrongCount;
    auto countOption = [&](Id id, int least, const QString &what, int &into) {
        if (!given.isSet(id) || wrongCount)
            return;
        if (const std::optional<int> value = countFrom(given.valueOf(id), least))
            into = *value;
        else
            wrongCount = QStringLiteral("--%1 需要%2，而不是「%3」。").arg(nameOf(id), what, given.valueOf(id));
    };
    countOption(Id::Page, 1, QStringLiteral("從 1 起算的筆數"), options.page);
    countOption(Id::Context, 0, QStringLiteral(" 0 或更大的字數"), options.context);
    countOption(Id::MaxCount, 1, QStringLiteral("從 1 起算的筆數"), options.maxCount);
    countOption(Id::MaxHits, 1, QStringLiteral("從 1 起算的行數"), options.maxHits);
    if (wrongCount)
        return failure(*wrongCount);
    const QString format = given.isSet(Id::Format) ? given.valueOf(Id::Format) : QStringLiteral("text");
    if (format == QLatin1String("text"))
        options.format = OutputFormat::Text;
    else if (format == QLatin1String("tsv"))
        options.format = OutputFormat::Tsv;
    else if (format == QLatin1String("json"))
        options.format = OutputFormat::Json;
    else
        return failure(QStringLiteral("--format 只能是 text、tsv 或 json，而不是「%1」。").arg(format));
    if (given.isSet(Id::Color)) {
        const QString when = given.valueOf(Id::Color);
        if (when == QLatin1String("auto"))
            options.color = ColorChoice::Auto;
        else if (when == QLatin1String("always"))
            options.color = ColorChoice::Always;
        else if (when == QLatin1String("never"))
            options.color = ColorChoice::Never;
        else
            return failure(QStringLiteral("--color 只能是 auto、always 或 never，而不是「%1」。").arg(when));
    }
    options.variants = given.isSet(Id::Variants);
    options.count = given.isSet(Id::Count);
    if (given.isSet(Id::MaxHits) && options.context < 0)
        return failure(QStringLiteral("--max-hits 只能與 --context 一起使用。"));
    if (options.page > 0 && (options.count || options.context >= 0))
        return failure(QStringLiteral("--page 不能與 --count 或 --context 一起使用。"));
    return line;
}

} // namespace

bool colorHits(ColorChoice choice, bool stdoutIsTerminal)
{
    switch (choice) {
    case ColorChoice::Always:
        return true;
    case ColorChoice::Never:
        return false;
    case ColorChoice::Auto:
        break;
    }
    const QByteArray term = qgetenv("TERM");
    return stdoutIsTerminal && !term.isEmpty() && term != "dumb" && qEnvironmentVariableIsEmpty("NO_COLOR");
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    const Given given = readArguments(arguments);
    CommandLine line;
    if (given.isSet(Id::Help)) {
        line.action = CommandLine::ShowHelp;
        line.text = helpText();
        return line;
    }
    if (given.isSet(Id::Version)) {
        line.action = CommandLine::ShowVersion;
        line.text = kProgram + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return line;
    }
    if (given.wrong)
        return failure(*given.wrong);
    return searchOptions(given);
}

} // namespace morvessa::querytool
