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

struct QueryOptions {
    QString folder; // empty: the folder of the program file
    bool explain = false;
    int page = 0; // the result row to show, from 1; 0: none
    OutputFormat format = OutputFormat::Text;
    bool variants = false; // simplified, traditional and variant forms as one
    int context = -1;      // characters on each side of a hit in context lines; -1: no context lines
    int maxHits = 0;       // context lines per record at most; 0: all
    bool count = false;    // only the number of records (and of context lines)
    QString query;
};

// Characters on each side when --context is given without a number.
constexpr int kDefaultContext = 20;

struct CommandLine {
    enum Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Run;
    QueryOptions options;
    QString text; // the help text, the version line or what is wrong
};

// arguments[0] is the program name. Before "--", an argument beginning with "--" is an
// option, and so are -h and -v; any other argument, also one beginning with a single
// "-" ("-發熱 頭痛", "-"), is the query, of which there is at most one.
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace morvessa::querytool
