#include "search/contextsearch.h"

#include "base/spillbuffer.h"
#include "engine/scannercache.h"
#include "store/columncursor.h"

#include <algorithm>
#include <array>

namespace morvessa {

namespace {

void appendNumber(std::string &out, std::uint64_t n)
{
    do {
        out += char((n & 0x7F) | (n > 0x7F ? 0x80 : 0));
        n >>= 7;
    } while (n);
}

std::uint64_t takeNumber(std::string_view &in)
{
    std::uint64_t n = 0;
    for (int shift = 0; !in.empty() && shift < 64; shift += 7) {
        const auto b = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        n |= std::uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    return n;
}

std::string_view takeBytes(std::string_view &in, std::uint64_t size)
{
    const std::string_view bytes = in.substr(0, std::size_t(std::min<std::uint64_t>(size, in.size())));
    in.remove_prefix(bytes.size());
    return bytes;
}

} // namespace

// The lines of the records a scan showed, by row: each record's line count, then each
// line's offset, the sizes of its three pieces and their bytes. Each lane of the scan
// (ContentScanner's RowWatcher) keeps its own, so that the two may run at once.
class SeenLines {
public:
    SeenLines(std::shared_ptr<const StoreTable> table, const std::uint64_t *byteCounts, int maxHits,
              const ContextOptions &options, const QString &folder)
        : m_table(std::move(table)), m_byteCounts(byteCounts), m_maxHits(maxHits)
    {
        for (auto &lane : m_lanes)
            lane = std::make_unique<Lane>(m_table->written, folder, options.memoryLimit / m_lanes.size());
    }

    void see(const Concordance &concordance, unsigned laneIndex, std::uint32_t row, std::string_view text,
             std::size_t firstHit)
    {
        if (laneIndex >= m_lanes.size())
            return;
        Lane &lane = *m_lanes[laneIndex];
        const RecordContent content{text,
                                    text,
                                    m_table->contentFolded ? lane.written.at(row) : std::string_view(),
                                    m_table->contentFolded,
                                    m_byteCounts,
                                    firstHit};
        std::uint64_t count = 0;
        lane.lines.clear();
        concordance.eachLineIn(
            content, m_maxHits,
            [&](const LinePieces &line) {
                ++count;
                appendNumber(lane.lines, std::uint64_t(line.offset));
                for (const std::string_view piece : {line.before, line.hit, line.after})
                    appendNumber(lane.lines, piece.size());
                lane.lines.append(line.before).append(line.hit).append(line.after);
            },
            &lane.scratch);
        lane.record.clear();
        appendNumber(lane.record, count);
        lane.index.emplace_back(row, lane.kept.size());
        lane.kept.append(lane.record);
        lane.kept.append(lane.lines);
    }

    // Ends the seeing; false when the lines were lost on the way.
    bool finish()
    {
        for (auto &lane : m_lanes) {
            // A row shown again by a later scan of the same search keeps its first lines.
            std::stable_sort(lane->index.begin(), lane->index.end(),
                             [](const auto &a, const auto &b) { return a.first < b.first; });
            lane->index.erase(std::unique(lane->index.begin(), lane->index.end(),
                                          [](const auto &a, const auto &b) { return a.first == b.first; }),
                              lane->index.end());
            const std::optional<std::string_view> bytes = lane->kept.finish();
            if (!bytes)
                return false;
            lane->bytes = *bytes;
        }
        return true;
    }

    const StoreTable *table() const { return m_table.get(); }

    // Where the lines of each row of `rows` (ascending) begin: (lane, bytes) in found, null
    // bytes where no scan showed the row.
    void find(const std::vector<std::uint32_t> &rows, std::vector<std::pair<unsigned, const char *>> &found) const
    {
        found.assign(rows.size(), {0, nullptr});
        for (unsigned l = 0; l < m_lanes.size(); ++l) {
            std::size_t from = 0;
            for (std::size_t k = 0; k < rows.size(); ++k)
                if (!found[k].second)
                    found[k] = {l, m_lanes[l]->find(rows[k], from)};
        }
    }
    template <typename Sink>
    void eachLineAt(const std::pair<unsigned, const char *> &at, const Sink &sink) const
    {
        m_lanes[at.first]->eachLineAt(at.second, sink);
    }

private:
    struct Lane {
        Lane(const TextColumn &writtenColumn, const QString &folder, std::size_t memoryLimit)
            : written(writtenColumn), kept(folder, memoryLimit)
        {}
        // Where row's lines begin in bytes, looked for from `from` on (rows asked for in
        // ascending order move it along); null when no scan showed the row.
        const char *find(std::uint32_t row, std::size_t &from) const
        {
            // Galloping from `from`: the next row asked for mostly lies a little further on.
            std::size_t below = std::min(from, index.size()), above = below, step = 1;
            while (above < index.size() && index[above].first < row) {
                below = above + 1;
                above += step;
                step *= 2;
            }
            above = std::min(above, index.size());
            const auto it =
                std::lower_bound(index.begin() + std::ptrdiff_t(below), index.begin() + std::ptrdiff_t(above),
                                 std::pair<std::uint32_t, std::uint64_t>(row, 0));
            from = std::size_t(it - index.begin());
            if (it == index.end() || it->first != row || it->second >= bytes.size())
                return nullptr;
            return bytes.data() + it->second;
        }
        // The lines that begin at `at` (as find gave it) to sink.
        template <typename Sink>
        void eachLineAt(const char *at, const Sink &sink) const
        {
            std::string_view in(at, std::size_t(bytes.data() + bytes.size() - at));
            for (std::uint64_t count = takeNumber(in); count > 0 && !in.empty(); --count) {
                LinePieces pieces;
                pieces.offset = qint64(takeNumber(in));
                const std::uint64_t before = takeNumber(in), hit = takeNumber(in), after = takeNumber(in);
                pieces.before = takeBytes(in, before);
                pieces.hit = takeBytes(in, hit);
                pieces.after = takeBytes(in, after);
                sink(pieces);
            }
        }

        ColumnCursor written;
        SpillBuffer kept;
        std::vector<std::pair<std::uint32_t, std::uint64_t>> index; // row, where its lines begin
        std::string_view bytes;                                     // all the lines, once finished
        std::string record, lines;                                  // a record's line count, and its lines
        LineScratch scratch;
    };

    std::shared_ptr<const StoreTable> m_table;
    const std::uint64_t *m_byteCounts;
    int m_maxHits;
    std::array<std::unique_ptr<Lane>, 2> m_lanes;
};

ContextSearch::ContextSearch(SearchOutcome found, std::shared_ptr<const StoreTable> held, Concordance concordance,
                             int maxHits)
    : outcome(std::move(found)), table(std::move(held)), m_concordance(std::move(concordance)), m_maxHits(maxHits)
{}

ContextSearch::~ContextSearch() = default;
ContextSearch::ContextSearch(ContextSearch &&) noexcept = default;
ContextSearch &ContextSearch::operator=(ContextSearch &&) noexcept = default;

RecordContent ContextSearch::contentOf(int row) const
{
    return contentOf(row, m_copies);
}

RecordContent ContextSearch::contentOf(int row, Copies &copies) const
{
    const qint64 at = outcome.rows ? outcome.rows->tableRow(row) : -1;
    if (!table || at < 0 || std::size_t(at) >= table->rowCount() || table->content.null(std::size_t(at)))
        return {};
    const auto r = std::size_t(at);
    const std::string_view content = table->content.read(r, copies.content);
    return {content, content, table->writtenDifferences(r, &copies.written), table->contentFolded,
            scanner ? scanner->byteCounts() : nullptr};
}

int ContextSearch::eachLineOfRows(int from, int count, const RowLineSink &sink, int stretch,
                                  const std::function<bool()> &goOn) const
{
    from = std::max(0, from);
    count = std::min(count, (outcome.rows ? outcome.rows->count() : 0) - from);
    Copies copies; // this call's own: two threads may give lines at once
    // The lines lie in row order and the result is newest first: the rows of a stretch of
    // the result are looked up together in row order, and each record's lines are fetched
    // from memory a few records ahead of their printing, not waited for one by one.
    constexpr int kAhead = 8;
    std::vector<std::uint32_t> rows;
    std::vector<int> order;
    std::vector<std::pair<unsigned, const char *>> sorted, found;
    stretch = std::max(1, stretch);
    for (int first = from; first < from + count; first += stretch) {
        const int n = std::min(stretch, from + count - first);
        found.assign(std::size_t(n), {0, nullptr});
        if (m_seen) {
            order.resize(std::size_t(n));
            for (int k = 0; k < n; ++k)
                order[std::size_t(k)] = k;
            auto tableRow = [&](int k) { return outcome.rows->tableRow(first + k); };
            std::sort(order.begin(), order.end(), [&](int a, int b) { return tableRow(a) < tableRow(b); });
            rows.clear();
            for (const int k : order)
                rows.push_back(std::uint32_t(std::max<qint64>(0, tableRow(k))));
            m_seen->find(rows, sorted);
            for (std::size_t k = 0; k < order.size(); ++k)
                if (tableRow(order[k]) >= 0)
                    found[std::size_t(order[k])] = sorted[k];
        }
        for (int k = 0; k < n; ++k) {
            if (goOn && (k > 0 || first > from) && !goOn())
                return first + k;
            if (k + kAhead < n && found[std::size_t(k + kAhead)].second)
                __builtin_prefetch(found[std::size_t(k + kAhead)].second);
            const int row = first + k;
            auto toSink = [&](const LinePieces &pieces) { sink(row, pieces); };
            if (found[std::size_t(k)].second)
                m_seen->eachLineAt(found[std::size_t(k)], toSink);
            else
                m_concordance.eachLineIn(contentOf(row, copies), m_maxHits, toSink);
        }
    }
    return from + std::max(0, count);
}

std::vector<ContextLine> ContextSearch::linesOf(int row) const
{
    std::vector<ContextLine> lines;
    const auto add = [&](const LinePieces &pieces) { lines.push_back(contextLine(pieces)); };
    const qint64 at = outcome.rows ? outcome.rows->tableRow(row) : -1;
    std::vector<std::pair<unsigned, const char *>> found;
    if (m_seen && at >= 0)
        m_seen->find({std::uint32_t(at)}, found);
    if (!found.empty() && found.front().second)
        m_seen->eachLineAt(found.front(), add);
    else
        m_concordance.eachLineIn(contentOf(row), m_maxHits, add);
    return lines;
}

Result<ContextSearch> runContextSearch(const QString &connString, const QueryAnalysis &analysis, Matching matching,
                                       const Collection &collection, const ContextOptions &options)
{
    Result<Concordance> concordance = Concordance::make(analysis, matching, options.width);
    if (!concordance)
        return concordance.failure();
    Connection connection(collection);
    if (const Result<void> opened = connection.open(connString); !opened)
        return opened.failure();
    const std::shared_ptr<const StoreTable> watched = connection.table();
    // Content held as written goes only the plain way, which has no scan to watch.
    std::unique_ptr<SeenLines> seen;
    std::shared_ptr<const ContentScanner> scanner;
    if (watched->contentFolded)
        scanner = scannerFor(*collection.tables, watched, watched->content, true); // the one the search uses
    if (options.duringScan && scanner)
        seen = std::make_unique<SeenLines>(watched, scanner->byteCounts(), options.maxHits, options,
                                           collection.reading.keptFolder);
    const RowWatcher watcher = [&](unsigned lane, std::uint32_t row, std::string_view text, std::size_t firstHit) {
        seen->see(*concordance, lane, row, text, firstHit);
    };
    Result<SearchOutcome> outcome = runSearchOn(connection, analysis, matching, seen ? &watcher : nullptr);
    if (!outcome)
        return outcome.failure();
    // A kept copy found damaged under a variant search (which runs on a connection of its
    // own) is read again here too: the lines come from the database.
    if (connection.table()->knownDamaged())
        if (const Result<void> again = connection.readAgain(); !again)
            return again.failure();
    ContextSearch search(std::move(*outcome), connection.table(), std::move(*concordance), options.maxHits);
    if (seen && search.table.get() == seen->table() && search.table->settled() && seen->finish())
        search.m_seen = std::move(seen);
    if (search.table->contentFolded)
        search.scanner = search.table == watched
                             ? scanner
                             : scannerFor(*collection.tables, search.table, search.table->content, true);
    return search;
}

} // namespace morvessa
