#pragma once
// The program's own command line: --variants, --help and --version. Every other argument
// is left to Qt and the browser engine, which read their own options from it.
#include <QString>
#include <QStringList>

namespace morvessa {

struct StartOptions {
    enum Action { Run, ShowHelp, ShowVersion };
    Action action = Run;
    bool variants = false; // variant search in the windows
    QString text;          // the help or version text to print
};

// arguments: the command line without the program's name.
StartOptions parseStartOptions(const QStringList &arguments);

} // namespace morvessa
