#pragma once
// A text column folded (letter case, width; text/textfold.h) for the content scan: the
// column itself where the table already holds it folded, else a folded copy of it.
#include "store/storetable.h"

namespace morvessa {

class FoldedColumn {
public:
    FoldedColumn(TextColumn column, bool alreadyFolded);
    FoldedColumn(const FoldedColumn &) = delete;
    FoldedColumn &operator=(const FoldedColumn &) = delete;

    const TextColumn &view() const { return m_view; }
    // The size of the copy (0 when the column was folded already).
    std::size_t ownBytes() const { return m_copy.bytes.size(); }

private:
    TextColumnBuilder m_copy;
    TextColumn m_view;
};

} // namespace morvessa
