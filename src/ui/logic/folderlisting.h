#pragma once
// What the condition file window lists of a folder: its subfolders and its condition
// files, read through the names' own bytes (see filenames.h).
#include <QByteArray>
#include <QList>
#include <QString>

namespace morvessa {

struct ListedName {
    QByteArray name; // as the file system keeps it
    QString shown;   // as the list shows it
};

// Names ending in .txt or .set in any letter case.
bool isConditionFileName(const QByteArray &name);

// The ordinary files of folder with condition file names. Hidden files (a name starting
// with a dot), folders, devices, pipes and broken links are left out; a link to an
// ordinary file counts as one. Sorted by shown name, letter case ignored.
QList<ListedName> conditionFiles(const QByteArray &folder);

// The folders in folder (links to folders included), hidden ones left out, in the same
// order.
QList<ListedName> subfolders(const QByteArray &folder);

// A folder can be opened when it can be listed and entered.
bool canOpenFolder(const QByteArray &folder);
bool isFolder(const QByteArray &path);

// The process's current folder, by its bytes.
QByteArray currentFolder();
bool setCurrentFolder(const QByteArray &folder);

} // namespace morvessa
