#pragma once
// What the tools put into a collection folder, and how they look at what is there: the
// link to the program and the pages copied from the sample collection.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace morvessa::collection {

inline const QString kProgramName = QStringLiteral("morvessa");
inline const QStringList kPages = {QStringLiteral("Help.htm"), QStringLiteral("demo.htm")};

// A path as the messages show it, in corner brackets.
QString quoted(const QString &path);
bool isLink(const QString &path);
// Exists in any form, a dangling link included.
bool isTaken(const QString &path);
// Where a link points; empty when the path is no link.
QString linkTarget(const QString &path);
// The SHA-256 of a file, in hex; empty when it cannot be read.
QByteArray fileDigest(const QString &path);

} // namespace morvessa::collection
