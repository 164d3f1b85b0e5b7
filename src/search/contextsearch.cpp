#include "search/contextsearch.h"

#include "base/spillbuffer.h"
#include "engine/scannercache.h"
#include "store/columncursor.h"

#include <algorithm>

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
// line's offset, the sizes of its three pieces and their bytes.
class SeenLines {
public:
    SeenLines(std::shared_ptr<const StoreTable> table, const std::uint64_t *byteCounts, int maxHits,
              const ContextOptions &options, const QString &folder)
        : m_table(std::move(table)),
          m_byteCounts(byteCounts),
          m_maxHits(maxHits),
          m_written(m_table->written),
          m_seen(m_table->rowCount(), false),
          m_lines(folder, options.memoryLimit)
    {}

    void see(const Concordance &concordance, std::uint32_t row, std::string_view text)
    {
        if (row >= m_seen.size() || m_seen[row])
            return; // shown by an earlier scan of the same search
        m_seen[row] = true;
        const RecordContent content{text, text, m_table->contentFolded ? m_written.at(row) : std::string_view(),
                                    m_table->contentFolded, m_byteCounts};
        m_record.clear();
        std::uint64_t count = 0;
        std::string lines;
        concordance.eachLineIn(content, m_maxHits, [&](const LinePieces &line) {
            ++count;
            appendNumber(lines, std::uint64_t(line.offset));
            for (const std::string_view piece : {line.before, line.hit, line.after})
                appendNumber(lines, piece.size());
            lines.append(line.before).append(line.hit).append(line.after);
        });
        appendNumber(m_record, count);
        m_record += lines;
        m_index.emplace_back(row, m_lines.size());
        m_lines.append(m_record);
    }

    // Ends the seeing; false when the lines were lost on the way.
    bool finish()
    {
        std::sort(m_index.begin(), m_index.end());
        const std::optional<std::string_view> bytes = m_lines.finish();
        m_bytes = bytes.value_or(std::string_view());
        return bytes.has_value();
    }

    const StoreTable *table() const { return m_table.get(); }

    // Row's lines to sink; false when no scan showed it.
    bool eachLineOf(std::uint32_t row, const LineSink &sink) const
    {
        const auto it =
            std::lower_bound(m_index.begin(), m_index.end(), std::pair<std::uint32_t, std::uint64_t>(row, 0));
        if (it == m_index.end() || it->first != row || it->second > m_bytes.size())
            return false;
        std::string_view in = m_bytes.substr(std::size_t(it->second));
        for (std::uint64_t count = takeNumber(in); count > 0 && !in.empty(); --count) {
            LinePieces pieces;
            pieces.offset = qint64(takeNumber(in));
            const std::uint64_t before = takeNumber(in), hit = takeNumber(in), after = takeNumber(in);
            pieces.before = takeBytes(in, before);
            pieces.hit = takeBytes(in, hit);
            pieces.after = takeBytes(in, after);
            sink(pieces);
        }
        return true;
    }

private:
    std::shared_ptr<const StoreTable> m_table;
    const std::uint64_t *m_byteCounts;
    int m_maxHits;
    ColumnCursor m_written;
    std::vector<bool> m_seen;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> m_index; // row, where its lines begin
    SpillBuffer m_lines;
    std::string_view m_bytes; // all the lines, once finished
    std::string m_record;
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
    const qint64 at = outcome.rows ? outcome.rows->tableRow(row) : -1;
    if (!table || at < 0 || std::size_t(at) >= table->rowCount() || table->content.null(std::size_t(at)))
        return {};
    const auto r = std::size_t(at);
    const std::string_view content = table->content.read(r, m_contentCopy);
    return {content, content, table->writtenDifferences(r, &m_writtenCopy), table->contentFolded,
            scanner ? scanner->byteCounts() : nullptr};
}

void ContextSearch::eachLineOf(int row, const LineSink &sink) const
{
    const qint64 at = outcome.rows ? outcome.rows->tableRow(row) : -1;
    if (m_seen && at >= 0 && m_seen->eachLineOf(std::uint32_t(at), sink))
        return;
    m_concordance.eachLineIn(contentOf(row), m_maxHits, sink);
}

std::vector<ContextLine> ContextSearch::linesOf(int row) const
{
    std::vector<ContextLine> lines;
    eachLineOf(row, [&](const LinePieces &pieces) { lines.push_back(contextLine(pieces)); });
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
    const RowWatcher watcher = [&](std::uint32_t row, std::string_view text) {
        seen->see(*concordance, row, text);
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
