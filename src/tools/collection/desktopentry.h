#pragma once
// The desktop entry of a collection: what it says to start, and what it records of the
// files made for it, so that removing the collection deletes those and nothing else.
// Its file name and the escaping of its values are declared in collection.h.
#include <QByteArray>
#include <QString>

#include <map>

namespace morvessa::collection {

// What an entry written here says it made: the link's target, and each copied page's digest.
struct Made {
    QString folder;
    QString link;                         // empty: the link was there before
    std::map<QString, QByteArray> copies; // page name -> SHA-256 of the copy as made
};

// Reads what the entry at `path` made; false when there is none or it is not one of ours.
bool readEntry(const QString &path, Made &made);
// The entry of `folder` starting the program at `start`, recording `made`.
QByteArray entryText(const QString &folder, const QString &start, const Made &made);

} // namespace morvessa::collection
