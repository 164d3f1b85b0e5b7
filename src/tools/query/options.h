#pragma once
// The command line of morvessa-query: what to search, where, and how to print it.
#include <QString>
#include <QStringList>

namespace morvessa::querytool {

enum class OutputFormat {
    Text, // title TAB page name, as people read it
    Tsv,  // the same columns with TAB, line breaks and backslashes escaped, for scripts
    Json, // one JSON object a line
};

// When hits in context lines are coloured.
enum class ColorChoice {
    Auto, // on a terminal whose TERM is set and not "dumb", unless NO_COLOR is set
    Always,
    Never,
};

struct QueryOptions {
    QString folder; // empty: the folder of the program file
    bool explain = false;
    int page = 0; // the result row to show, from 1; 0: none
    OutputFormat format = OutputFormat::Text;
    bool variants = false; // simplified, traditional and variant forms as one
    int context = -1;      // characters on each side of a hit in context lines; -1: no context lines
    int maxHits = 0;       // context lines per record at most; 0: all
    int maxCount = 0;      // records at most; 0: all
    bool count = false;    // only the number of records (and of context lines)
    ColorChoice color = ColorChoice::Auto;
    QString query;
};

struct CommandLine {
    enum Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Run;
    QueryOptions options;
    QString text; // the help text, the version line or what is wrong
};

// arguments[0] is the program name. As with grep: before "--" every argument beginning with
// "-" (other than "-" alone) is an option, short ones may be bundled ("-cC3"), an option's
// value is the next argument or follows "=" (long) or the letters (short); every other
// argument is a word of the query, and the words are one query joined by blanks, as the
// query box reads them.
CommandLine parseCommandLine(const QStringList &arguments);

// Whether context lines colour their hits, from the choice and the environment.
bool colorHits(ColorChoice choice, bool stdoutIsTerminal);

} // namespace morvessa::querytool
