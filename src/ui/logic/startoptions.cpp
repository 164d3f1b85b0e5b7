#include "ui/logic/startoptions.h"

#include "text/terminalwidth.h"

namespace morvessa {

namespace {

const QString kHelp =
    QStringLiteral("用法：資料夾/morvessa [--variants]\n"
                   "\n"
                   "讀取程式被啟動時所在資料夾中的資料集（jst.mdb 與它的網頁），先顯示開始視窗。\n"
                   "\n"
                   "選項：\n"
                   // One line an option: the terminal's width decides where it breaks.
                   "  --variants     異體字檢索：簡體、繁體與異體字視為同一個字，「发热」也找到「發熱」，"
                   "「脉」也找到「脈」，找到的每一種寫法都在網頁中以紅色標出；"
                   "視窗標題後加上「（異體字）」。對照表無法讀取時說明原因，改用一般檢索。\n"
                   "  -h, --help     顯示這份說明後結束。\n"
                   "  -v, --version  顯示版本後結束。\n"
                   "\n"
                   "其他參數交給 Qt 與瀏覽器元件。\n");

} // namespace

StartOptions parseStartOptions(const QStringList &arguments)
{
    StartOptions options;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break; // what follows is no option of ours
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            options.action = StartOptions::ShowHelp;
            options.text = wrapForTerminal(kHelp);
            return options;
        }
        if (argument == QLatin1String("-v") || argument == QLatin1String("--version")) {
            options.action = StartOptions::ShowVersion;
            options.text = QStringLiteral("morvessa " MORVESSA_VERSION "\n");
            return options;
        }
        if (argument == QLatin1String("--variants"))
            options.variants = true;
    }
    return options;
}

} // namespace morvessa
