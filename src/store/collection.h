#pragma once
// The collection a program reads, and how: made once where the program starts and handed
// down as a value, so that no layer below fetches it from process-wide state.
#include "store/readsettings.h"
#include "store/tablecache.h"

#include <QString>

#include <memory>

namespace morvessa {

// MORVESSA_PLAIN_SEARCH=1 in the environment.
bool plainSearchChosen();

struct Collection {
    // The application folder (appfolder.h): jst.mdb, Help.htm, tmp/ ... are relative to it.
    QString folder;
    // How its database is read and where read tables are kept.
    ReadSettings reading;
    // Every statement on the engine's plain path: SQLite with the reference like alone,
    // nothing answered from the columns and no result reused. What the fast path is
    // checked against.
    bool plainSearch = plainSearchChosen();
    // The tables read for it, shared by its copies: the window's many searches on one
    // table read it once while the file is unchanged.
    std::shared_ptr<TableCache> tables = std::make_shared<TableCache>();
};

} // namespace morvessa
