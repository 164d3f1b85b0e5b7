#pragma once
// Reads table maindata of a Jet database into memory.
//
// libmdb trusts the file it reads, so a damaged database can make it crash or loop.
// The reading therefore runs in a forked child process that hands the finished columns
// to this process through a pipe; a child that dies, stalls or sends something that
// does not add up becomes a DbError here, and this process goes on.
#include "store/storetable.h"

#include <QString>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace morvessa {

// How the content column is held: as written, or folded (letter case, width) for the
// fast path of the search (search/fastscan.h), which like cannot tell apart.
enum class ContentForm { AsWritten, Folded };

// Throws DbError (the message names the file).
std::shared_ptr<const StoreTable> readMaindata(const QString &path, ContentForm form = ContentForm::AsWritten);

// The same reading without the child process, for tools that want it in one process.
// A damaged file may bring the caller down.
std::shared_ptr<const StoreTable> readMaindataInProcess(const QString &path,
                                                        ContentForm form = ContentForm::AsWritten);

// Jet 4 stored text (UTF-16LE, or the compressed form that starts with FF FE) as UTF-8.
// Surrogate pairs become one character; a lone surrogate becomes U+FFFD.
std::string jet4TextToUtf8(std::string_view stored);

// Tests make the reading child misbehave through this (null: behave).
void setReaderChildHook(void (*hook)());

// A reading child that reports no progress for this long is stuck: it is stopped and the
// file is reported as not readable in time. Ten seconds unless a test sets it.
void setReaderStallLimit(std::chrono::milliseconds limit);

} // namespace morvessa
