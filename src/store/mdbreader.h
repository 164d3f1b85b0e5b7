#pragma once
// Table maindata of a Jet database as the record store holds it.
//
// readMaindata maps the copy kept from an earlier read of the same database version
// (keptcolumns.h), or has the reading program read the file (isolatedread.h) and keeps
// what it wrote. Either way the columns are used where they lie in the mapped file.
#include "base/result.h"
#include "store/readsettings.h"
#include "store/storetable.h"

#include <QString>

#include <memory>

namespace morvessa {

// How the content column is held: as written, or folded (letter case, width) for the
// fast path of the search (engine/fastscan.h), which like cannot tell apart.
enum class ContentForm { AsWritten, Folded };

// The table, or why it could not be read (the message names the file and says what is wrong).
using TableResult = Result<std::shared_ptr<const StoreTable>>;
TableResult readMaindata(const QString &path, ContentForm form = ContentForm::AsWritten,
                         const ReadSettings &settings = ReadSettings());

// The same reading without the reading program and without kept copies, for tools that
// want it in one process. A damaged file may bring the caller down.
TableResult readMaindataInProcess(const QString &path, ContentForm form = ContentForm::AsWritten);

} // namespace morvessa
