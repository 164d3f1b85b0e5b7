#pragma once
#include <optional>

namespace morvessa {

// The row whose title the results grid's tooltip shows for a pointer at height y (twips
// from the grid's top edge), from the grid's geometry: rowHeight = RowHeight(1),
// rowPos = RowPos(1), rows = Rows (the header row included).
//
// The quotient is (y - 1.5 * rowHeight) / rowHeight when rowPos >= rowHeight, else
// (y + rowHeight / 2 - rowPos) / rowHeight; it is rounded half to even into a 16-bit
// signed integer r, and the row is |r + 1|. Above the grid (y < 0, while a button is
// held) this still gives a positive row: the rule is kept as it is, mirror image included.
//
// Returns no row, so the tooltip keeps its text, when that row is not below rows, and
// where the arithmetic has no answer: no row 1 (rows < 2), a row height of 0 or less,
// a y that is not a number, or r (or r + 1) outside the 16-bit range.
std::optional<int> rowTipRow(int rowHeight, int rowPos, double y, int rows);

} // namespace morvessa
