#pragma once
#include <QString>

namespace morvessa {

// The application folder: the folder of the program file. Every fixed file name
// (jst.mdb, Help.htm, tmp/TmpKELMAR.htm, ...) is relative to it. Only a program's main
// reads it, to make its Collection (collection.h); the layers get that value.
QString applicationFolder();

// The folder followed by a literal that begins with a backslash ("\jst.mdb").
// The backslash is the Windows separator; here it becomes the native one and
// every other character stays as it is. Plain concatenation, no normalising.
QString appPath(const QString &folder, const QString &literal);

// A file counts when it is a regular file (plain or read-only) that is not hidden.
// Folders, and names beginning with "." (hidden here), do not.
bool fileExists(const QString &path);

} // namespace morvessa
