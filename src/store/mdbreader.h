#pragma once
// Table maindata of a Jet database as the record store holds it.
//
// readMaindata maps the copy kept from an earlier read of the same database version
// (keptcolumns.h), or has the reading program read the file (isolatedread.h) and keeps
// what it wrote. Either way the columns are used where they lie in the mapped file.
#include "store/storetable.h"

#include <QString>

#include <memory>

namespace morvessa {

// How the content column is held: as written, or folded (letter case, width) for the
// fast path of the search (engine/fastscan.h), which like cannot tell apart.
enum class ContentForm { AsWritten, Folded };

// Throws DbError (the message names the file and says what is wrong).
std::shared_ptr<const StoreTable> readMaindata(const QString &path, ContentForm form = ContentForm::AsWritten);

// The same reading without the reading program and without kept copies, for tools that
// want it in one process. A damaged file may bring the caller down.
std::shared_ptr<const StoreTable> readMaindataInProcess(const QString &path,
                                                        ContentForm form = ContentForm::AsWritten);

} // namespace morvessa
