#pragma once
// File and folder names as the file system keeps them (bytes) and as the condition file
// window shows them. A name that is not UTF-8, such as a Big5 name from a Windows zip, is
// shown decoded as Big5 and still reached through its own bytes.
#include <QByteArray>
#include <QString>

namespace morvessa {

// Whether bytes are well-formed UTF-8.
bool isUtf8(const QByteArray &bytes);

// One name: UTF-8 when it is well formed, else Big5 when every byte is Big5 text, else
// UTF-8 with substitutes for the bytes that are not.
QString shownName(const QByteArray &name);
// A whole path, each name shown on its own.
QString shownPath(const QByteArray &path);

// A path Qt hands over (the current folder, the home folder) as the file system's bytes.
QByteArray nativePath(const QString &path);

// The folder and the name with one separator between them, also when the folder is
// the root, which already ends in one.
QByteArray childPath(const QByteArray &folder, const QByteArray &name);

// Absolute, without "." and ".." and doubled separators; relative paths start at the
// current folder.
QByteArray cleanFolder(const QByteArray &folder);

// The folder's last name ("/" for the root) and its parent (the root's is itself).
QByteArray lastName(const QByteArray &folder);
QByteArray parentFolder(const QByteArray &folder);

} // namespace morvessa
