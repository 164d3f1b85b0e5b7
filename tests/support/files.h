#pragma once
#include <QString>

namespace morvessa::test {

// Copies the folder `from` into `to` (made where missing) with its sub-folders and hidden
// files. The copies are writable by their owner whatever the source's mode, so a test may
// change them. False when something could not be copied.
bool copyTree(const QString &from, const QString &to);

} // namespace morvessa::test
