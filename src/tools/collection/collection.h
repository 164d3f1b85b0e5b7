#pragma once
// Making a collection folder startable from the desktop's menu, and undoing it exactly.
//
// The program reads the folder it was started from, so a collection gets a link to the
// program inside it, the help and tour pages when it has none, and a desktop entry in the
// user's applications folder whose Exec starts that link. The entry records what was made,
// so that removing it deletes those files and nothing else.
#include <QString>
#include <QStringList>

namespace morvessa::collection {

// Where the installed pieces are, seen from the folder the tools run from.
struct Installation {
    QString program;      // the program file a collection's link points at
    QString sampleFolder; // the sample collection, source of Help.htm and demo.htm
};

// The program beside the tools, and the sample collection: the share folder of an
// installation (sampleRelative, from the tools' folder) or else the tools' folder itself,
// as in a build tree. sampleFolder is empty when neither holds a jst.mdb.
Installation findInstallation(const QString &toolFolder, const QString &sampleRelative);

// The user's applications folder: $XDG_DATA_HOME/applications (~/.local/share/applications).
QString applicationsFolder();
// The folder of the sample collection the menu opens: $XDG_DATA_HOME/morvessa/sample.
QString userSampleFolder();

struct Outcome {
    enum Status { Done, NotAdded, Failed };
    Status status = Failed; // NotAdded: --remove found no entry of the folder
    QString message;        // what was done, or what is wrong (Traditional Chinese)
    QString desktopFile;    // the entry written or removed
};

Outcome addCollection(const QString &folder, const Installation &installation);
Outcome removeCollection(const QString &folder);

// The folder of the sample collection the menu entry opens, made or completed: a link to
// every entry of the installed sample (but its programs and tmp) and one to the program.
// The user can write there, so the program can keep its temporary page. Returns the link
// to start, or an empty string with the reason in `error`.
QString prepareSampleFolder(const Installation &installation, const QString &target, QString &error);

// The desktop entry file of a collection folder: ASCII, from its name and its path.
QString desktopFileName(const QString &canonicalFolder);
// One argument of an Exec line, quoted and escaped as desktop entries read it back.
QString execArgument(const QString &argument);
// A value of type string or localestring, escaped.
QString escapeValue(const QString &value);

} // namespace morvessa::collection
