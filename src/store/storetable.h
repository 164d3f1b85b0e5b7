#pragma once
// Table maindata held in memory as compact columns, read once per file version and
// shared by every connection and result that uses it. Immutable once built.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvessa {

class ChunkCheck;

// A column of texts: all values back to back in one UTF-8 buffer, value i spanning
// [ends[i-1], ends[i]). A null value is kept apart from an empty one.
struct TextColumn {
    std::string_view bytes;
    std::span<const std::uint64_t> ends;
    std::span<const std::uint8_t> isNull;
    // Where the bytes come from a kept file: what checks them as they are read in bulk.
    const ChunkCheck *check = nullptr;

    std::size_t size() const { return ends.size(); }
    std::string_view at(std::size_t row) const
    {
        const std::uint64_t begin = row == 0 ? 0 : ends[row - 1];
        return bytes.substr(begin, ends[row] - begin);
    }
    bool null(std::size_t row) const { return isNull[row] != 0; }
    // Row's bytes as at(), for a kept file copied into `copy` by reading the file: touching
    // a mapping page by page costs several times more than reading it (store/chunkcheck.h).
    std::string_view read(std::size_t row, std::string &copy) const;
};

// The columns point into memory that `storage` keeps alive.
struct StoreTable {
    // Row i is the i-th row of the file (its row order); the row id seen by SQL is i + 1.
    TextColumn subject;
    TextColumn htm;
    TextColumn content;
    bool contentFolded = false; // content held folded (ContentForm::Folded)
    // With content folded: where each record's content as written differs from it
    // (store/writtenform.h); no rows where nothing was kept.
    TextColumn written;
    // Jet dates: days since 1899-12-30 as a double, larger is newer.
    std::span<const double> date;
    std::span<const std::uint8_t> dateNull;
    // The date order as read with the columns (a column file holds it); empty: computed
    // on first use.
    std::span<const std::uint32_t> storedNewestFirst;
    // Names the columns' bytes when they come from a column file (its checksum), so that
    // what is made from them can be kept beside it; 0: not known.
    std::uint64_t contentKey = 0;
    std::shared_ptr<const void> storage;
    // A kept file's bytes still being checked (store/chunkcheck.h); null: nothing to check.
    // Until settled() only a scan of the content may read the table, and only its content's
    // bytes, ends and nulls: those may say anything, the ends too, so the scan keeps every
    // index within the columns' sizes and trusts nothing it found before settled().
    std::shared_ptr<const ChunkCheck> pending;

    std::size_t rowCount() const { return subject.size(); }
    // Every byte checked and found whole: only then may what was found in it be used. A
    // table that fails is read again from the database (its kept file is gone by then).
    bool settled() const;
    // A check already failed: the table must not be handed out again.
    bool knownDamaged() const;

    // The differences of row's content as written from content; empty where it is as written.
    // With copy, read as TextColumn::read does.
    std::string_view writtenDifferences(std::size_t row, std::string *copy = nullptr) const
    {
        if (!contentFolded || row >= written.size())
            return {};
        return copy ? written.read(row, *copy) : written.at(row);
    }

    // Rows newest first, rows without a date last, equal dates in file order.
    std::span<const std::uint32_t> newestFirst() const;

private:
    mutable std::once_flag m_orderOnce;
    mutable std::vector<std::uint32_t> m_newestFirst;
};

// A text column while it is being filled.
struct TextColumnBuilder {
    std::string bytes;
    std::vector<std::uint64_t> ends;
    std::vector<std::uint8_t> isNull;

    // Ends the value whose bytes were appended to `bytes` since the last one.
    void endValue(bool null)
    {
        ends.push_back(bytes.size());
        isNull.push_back(null ? 1 : 0);
    }
    void append(std::string_view value, bool null)
    {
        bytes.append(value);
        endValue(null);
    }
    TextColumn view() const { return {bytes, ends, isNull}; }
};

// Sorts rows into newest first, rows without a date last, equal dates in file order.
void sortNewestFirst(std::span<std::uint32_t> rows, std::span<const double> date,
                     std::span<const std::uint8_t> dateNull);

// Builds a table row by row; finish() hands the memory over to the table.
struct StoreTableBuilder {
    TextColumnBuilder subject;
    TextColumnBuilder htm;
    TextColumnBuilder content;
    TextColumnBuilder written;
    std::vector<double> date;
    std::vector<std::uint8_t> dateNull;
    bool contentFolded = false; // fold content as it is read (ContentForm::Folded)

    void addDate(double value, bool null)
    {
        date.push_back(null ? 0 : value);
        dateNull.push_back(null ? 1 : 0);
    }
    std::size_t rowCount() const { return subject.ends.size(); }
    std::shared_ptr<const StoreTable> finish() &&;
};

} // namespace morvessa
