#include "tools/query/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace morvessa::querytool {

namespace {

const QString kProgram = QStringLiteral("morvessa-query");

// Every option of the tool, declared once: the parser, the help text and the reading of
// the values below all go through this table.
struct Declared {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("顯示這份說明後結束。")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("顯示版本後結束。")};
    QCommandLineOption folder{QStringLiteral("folder"),
                              QStringLiteral("在資料夾 DIR 的資料集中檢索（預設為程式檔所在的資料夾）。"),
                              QStringLiteral("DIR")};
    QCommandLineOption explain{QStringLiteral("explain"),
                               QStringLiteral("只列出檢索模式與 SQL 敘述，不執行檢索。")};
    QCommandLineOption page{QStringLiteral("page"),
                            QStringLiteral("另把第 N 筆（從 1 起算）的網頁標出關鍵詞後寫出，並列出其路徑。"),
                            QStringLiteral("N")};
    QCommandLineOption format{QStringLiteral("format"),
                              QStringLiteral("輸出格式：text（預設，標題、定位字元、網頁名稱）、tsv（同樣兩欄，"
                                             "定位字元、換行與反斜線以 \\t、\\n、\\r、\\\\ 表示）、"
                                             "json（每筆一行 JSON 物件）。"),
                              QStringLiteral("FORMAT"), QStringLiteral("text")};
    QCommandLineOption variants{
        QStringLiteral("variants"),
        QStringLiteral("簡體、繁體與異體字視為同一個字：「发热」也找到「發熱」，「脉」也找到「脈」；"
                       "一字對應多字時全部算在內，例如「后」也找到「後」。")};
    QCommandLineOption context{
        QStringLiteral("context"),
        QStringLiteral("每筆結果中每個詞的每一處各印一行：標題、網頁名稱、位置（內容中前面的字數）"
                       "與前後各 N 個字（省略 N 時為 %1），找到的字在終端機上以紅色、"
                       "輸出到檔案或管線時以【】標出。")
            .arg(kDefaultContext),
        QStringLiteral("N")};
    QCommandLineOption maxHits{QStringLiteral("max-hits"),
                               QStringLiteral("與 --context 一起使用：每筆結果最多印 K 行。"),
                               QStringLiteral("K")};
    QCommandLineOption count{
        QStringLiteral("count"),
        QStringLiteral("只印找到的筆數；與 --context 一起使用時，再印一個 TAB 與出現的處數。")};

    QList<QCommandLineOption> all() const
    {
        return {help, version, folder, explain, page, format, variants, context, maxHits, count};
    }
};

QString helpText(const QCommandLineParser &parser)
{
    return parser.helpText() +
           QStringLiteral("\n結束狀態：找到資料為 0；找不到資料為 1（訊息寫到標準錯誤）；"
                          "失敗（沒有或損毀的 jst.mdb、無效的查詢、錯誤的選項）為 2。\n"
                          "以「-」開頭的查詢可寫在「--」之後，例如：morvessa-query -- -發熱\n");
}

bool isShortOption(const QString &arg, const QList<QCommandLineOption> &options)
{
    for (const QCommandLineOption &option : options) {
        for (const QString &name : option.names()) {
            if (name.size() == 1 && arg == QLatin1Char('-') + name)
                return true;
        }
    }
    return false;
}

bool takesValue(const QString &arg, const QList<QCommandLineOption> &options)
{
    if (arg.contains(QLatin1Char('=')))
        return false;
    for (const QCommandLineOption &option : options) {
        if (!option.valueName().isEmpty() && option.names().contains(arg.mid(2)))
            return true;
    }
    return false;
}

// Takes the arguments that begin with a single "-" and are no option out of the parser's
// reach: they are queries, as the query box reads them.
QStringList separateDashQueries(const QStringList &arguments, const QList<QCommandLineOption> &options,
                                QStringList &dashQueries)
{
    QStringList forParser{arguments.value(0, kProgram)};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--")) {
            forParser += arguments.mid(i);
            break;
        }
        if (arg.startsWith(QLatin1String("--"))) {
            forParser << arg;
            if (takesValue(arg, options) && i + 1 < arguments.size())
                forParser << arguments[++i]; // a value may begin with "-"
        } else if (arg.startsWith(QLatin1Char('-')) && !isShortOption(arg, options)) {
            dashQueries << arg;
        } else {
            forParser << arg;
        }
    }
    return forParser;
}

bool isCount(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= 0;
}

// "--context" not followed by a number asks for the default width; the argument after it
// stays what it is (the query, another option).
QStringList withContextWidth(const QStringList &arguments)
{
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("--"))
            return out + arguments.mid(i);
        int width;
        if (arg == QLatin1String("--context") && !(i + 1 < arguments.size() && isCount(arguments[i + 1], width)))
            out << QStringLiteral("--context=%1").arg(kDefaultContext);
        else
            out << arg;
    }
    return out;
}

CommandLine failure(const QString &what)
{
    CommandLine line;
    line.action = CommandLine::Fail;
    line.text = what + QStringLiteral("\n用法請見 %1 --help").arg(kProgram);
    return line;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    const Declared declared;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("在資料集中檢索，與主視窗的搜尋相同：每筆結果印成一行。"));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(declared.all());
    parser.addPositionalArgument(
        QStringLiteral("QUERY"),
        QStringLiteral("查詢，與主視窗的查詢框相同：「發熱 頭痛」、「-發熱 頭痛」（每個詞都要有）、"
                       "「+發熱 頭痛」（有任一詞即可）；省略時列出全部資料。"),
        QStringLiteral("[--] [QUERY]"));

    QStringList queries;
    if (!parser.parse(separateDashQueries(withContextWidth(arguments), declared.all(), queries)))
        return failure(parser.errorText());

    CommandLine line;
    if (parser.isSet(declared.help)) {
        line.action = CommandLine::ShowHelp;
        line.text = helpText(parser);
        return line;
    }
    if (parser.isSet(declared.version)) {
        line.action = CommandLine::ShowVersion;
        line.text = kProgram + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return line;
    }

    queries += parser.positionalArguments();
    if (queries.size() > 1)
        return failure(QStringLiteral("查詢只能有一個；含空白的查詢請加上引號。"));
    QueryOptions &options = line.options;
    options.query = queries.value(0);
    options.folder = parser.value(declared.folder);
    // An unset variable in a script gives --folder "": searching the program's own folder
    // instead would answer from another collection.
    if (parser.isSet(declared.folder) && options.folder.isEmpty())
        return failure(QStringLiteral("--folder 需要資料集的資料夾，不能是空的。"));
    options.explain = parser.isSet(declared.explain);
    if (parser.isSet(declared.page)) {
        bool ok = false;
        options.page = parser.value(declared.page).toInt(&ok);
        if (!ok || options.page < 1)
            return failure(
                QStringLiteral("--page 需要從 1 起算的筆數，而不是「%1」。").arg(parser.value(declared.page)));
    }
    const QString format = parser.value(declared.format);
    if (format == QLatin1String("text"))
        options.format = OutputFormat::Text;
    else if (format == QLatin1String("tsv"))
        options.format = OutputFormat::Tsv;
    else if (format == QLatin1String("json"))
        options.format = OutputFormat::Json;
    else
        return failure(QStringLiteral("--format 只能是 text、tsv 或 json，而不是「%1」。").arg(format));
    options.variants = parser.isSet(declared.variants);
    options.count = parser.isSet(declared.count);
    if (parser.isSet(declared.context) && !isCount(parser.value(declared.context), options.context))
        return failure(
            QStringLiteral("--context 需要 0 或更大的字數，而不是「%1」。").arg(parser.value(declared.context)));
    if (parser.isSet(declared.maxHits)) {
        if (!isCount(parser.value(declared.maxHits), options.maxHits) || options.maxHits < 1)
            return failure(QStringLiteral("--max-hits 需要從 1 起算的行數，而不是「%1」。")
                               .arg(parser.value(declared.maxHits)));
        if (options.context < 0)
            return failure(QStringLiteral("--max-hits 只能與 --context 一起使用。"));
    }
    if (options.page > 0 && (options.count || options.context >= 0))
        return failure(QStringLiteral("--page 不能與 --count 或 --context 一起使用。"));
    return line;
}

} // namespace morvessa::querytool
