#include "store/columnfile.h"

#include "store/bytehash.h"
#include "store/chunkcheck.h"
#include "store/columnlayout.h"
#include "store/readmessages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace morvessa {

using namespace columnlayout;

namespace {

// The short texts (and the content's differences from how it was written) are written far
// out in the file while the content grows from the front, then moved right behind it; the
// gap costs no disk (the file is sparse until then).
constexpr std::uint64_t kSubjectFar = std::uint64_t(1) << 40;
constexpr std::uint64_t kHtmFar = kSubjectFar + (std::uint64_t(1) << 39);
constexpr std::uint64_t kWrittenFar = kHtmFar + (std::uint64_t(1) << 39);

// Far more than any database of that size holds: beyond it the reading is running away.
std::uint64_t textLimit(std::uint64_t databaseSize)
{
    return databaseSize * 16 + (1u << 20);
}

// The column file, and the first of its writes that failed (a full disk, a file-size
// limit): then the file is what failed, not the database.
class FileOut {
public:
    explicit FileOut(int fd) : m_fd(fd) {}
    int fd() const { return m_fd; }
    int error() const { return m_error; }

    bool writeAt(const void *data, std::size_t len, std::uint64_t offset)
    {
        const char *p = static_cast<const char *>(data);
        while (len > 0) {
            const ssize_t n = ::pwrite(m_fd, p, len, off_t(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return fail(n < 0 ? errno : ENOSPC);
            p += n;
            len -= std::size_t(n);
            offset += std::uint64_t(n);
        }
        return true;
    }
    bool resize(std::uint64_t size) { return ::ftruncate(m_fd, off_t(size)) == 0 || fail(errno); }
    bool fail(int error)
    {
        if (m_error == 0)
            m_error = error;
        return false;
    }

private:
    int m_fd;
    int m_error = 0;
};

// Moves [from, from+len) to [to, to+len) within the file, in the kernel where it can.
bool moveWithin(FileOut &file, std::uint64_t from, std::uint64_t to, std::uint64_t len)
{
    const int fd = file.fd();
    while (len > 0) {
        loff_t in = loff_t(from), out = loff_t(to);
        const ssize_t n =
            ::copy_file_range(fd, &in, fd, &out, std::size_t(std::min<std::uint64_t>(len, 1u << 30)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        from += std::uint64_t(n);
        to += std::uint64_t(n);
        len -= std::uint64_t(n);
    }
    std::vector<char> buffer(1 << 20);
    while (len > 0) {
        const ssize_t n =
            ::pread(fd, buffer.data(), std::size_t(std::min<std::uint64_t>(len, buffer.size())), off_t(from));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return file.fail(n < 0 ? errno : EIO);
        if (!file.writeAt(buffer.data(), std::size_t(n), to))
            return false;
        from += std::uint64_t(n);
        to += std::uint64_t(n);
        len -= std::uint64_t(n);
    }
    return true;
}

// Bytes appended at a place of the file through a buffer; or held in memory, where the
// file cannot reach far out.
class Stream {
public:
    Stream() = default;
    Stream(FileOut &file, std::uint64_t offset, std::size_t bufferSize, bool inMemory = false)
        : m_file(&file), m_start(offset), m_inMemory(inMemory)
    {
        m_buffer.reserve(bufferSize);
    }
    bool append(const void *data, std::size_t len)
    {
        m_size += len;
        if (m_inMemory) {
            m_memory.append(static_cast<const char *>(data), len);
            return true;
        }
        if (m_buffer.size() + len > m_buffer.capacity() && !flush())
            return false;
        if (len > m_buffer.capacity())
            return m_file->writeAt(data, len, m_start + m_flushed) && (m_flushed += len, true);
        m_buffer.insert(m_buffer.end(), static_cast<const char *>(data), static_cast<const char *>(data) + len);
        return true;
    }
    template <typename T>
    bool put(T value)
    {
        return append(&value, sizeof value);
    }
    bool flush()
    {
        if (m_buffer.empty())
            return true;
        const bool ok = m_file->writeAt(m_buffer.data(), m_buffer.size(), m_start + m_flushed);
        m_flushed += m_buffer.size();
        m_buffer.clear();
        return ok;
    }
    // Puts the bytes at `to` (after flush()).
    bool moveTo(std::uint64_t to)
    {
        if (m_inMemory)
            return m_file->writeAt(m_memory.data(), m_memory.size(), to);
        return to == m_start || moveWithin(*m_file, m_start, to, m_size);
    }
    std::uint64_t size() const { return m_size; }

private:
    FileOut *m_file = nullptr;
    std::uint64_t m_start = 0;
    std::uint64_t m_size = 0;
    std::uint64_t m_flushed = 0;
    std::vector<char> m_buffer;
    bool m_inMemory = false;
    std::string m_memory;
};

} // namespace

struct ColumnFileWriter::Impl {
    explicit Impl(int fd) : file(fd) {}
    FileOut file;
    QString name;
    int mapError = 0;
    bool folded = false;
    std::uint64_t databaseSize = 0;
    std::uint64_t rows = 0;
    std::uint64_t rowsAdded = 0;
    Header header{};
    Stream streams[BlockCount];
};

ColumnFileWriter::ColumnFileWriter(int fd, bool contentFolded, std::uint64_t databaseSize, const QString &name)
    : m_impl(std::make_unique<Impl>(fd))
{
    m_impl->name = name;
    m_impl->folded = contentFolded;
    m_impl->databaseSize = databaseSize;
}

ColumnFileWriter::~ColumnFileWriter() = default;

bool ColumnFileWriter::begin(std::uint64_t claimedRows)
{
    Impl &w = *m_impl;
    w.rows = claimedRows;
    std::uint64_t at = kHeaderBytes;
    for (int b = 0; b < ContentBytes; ++b) {
        w.header.blocks[b] = {at, claimedRows * kElementSize[b]};
        if (b != Order)
            w.streams[b] = Stream(w.file, at, 1 << 16);
        at = align64(at + w.header.blocks[b].size);
    }
    at = (at + kHeaderBytes - 1) / kHeaderBytes * kHeaderBytes;
    w.header.blocks[ContentBytes].offset = at;
    w.streams[ContentBytes] = Stream(w.file, at, 1 << 20);
    // A file system that cannot hold a file that far out (or a full one) gets the short
    // texts in memory instead: they are a small part of the table. Only the probe may fail.
    const bool far = ::ftruncate(w.file.fd(), off_t(kWrittenFar + 1)) == 0;
    w.streams[SubjectBytes] = Stream(w.file, kSubjectFar, 1 << 18, !far);
    w.streams[HtmBytes] = Stream(w.file, kHtmFar, 1 << 18, !far);
    w.streams[WrittenBytes] = Stream(w.file, kWrittenFar, 1 << 18, !far);
    return w.file.resize(at);
}

bool ColumnFileWriter::add(const RowValues &row)
{
    Impl &w = *m_impl;
    if (++w.rowsAdded > w.rows)
        return false;
    Stream *s = w.streams;
    const std::pair<const std::string *, bool> texts[3] = {
        {&row.subject, row.subjectNull}, {&row.htm, row.htmNull}, {&row.content, row.contentNull}};
    const Block bytes[3] = {SubjectBytes, HtmBytes, ContentBytes};
    const Block ends[3] = {SubjectEnds, HtmEnds, ContentEnds};
    const Block nulls[3] = {SubjectNull, HtmNull, ContentNull};
    for (int c = 0; c < 3; ++c) {
        Stream &text = s[bytes[c]];
        if (!texts[c].second && !text.append(texts[c].first->data(), texts[c].first->size()))
            return false;
        if (!s[ends[c]].put(std::uint64_t(text.size())) || !s[nulls[c]].put(std::uint8_t(texts[c].second)))
            return false;
    }
    if (!s[WrittenBytes].append(row.written.data(), row.written.size()) ||
        !s[WrittenEnds].put(std::uint64_t(s[WrittenBytes].size())))
        return false;
    if (s[SubjectBytes].size() + s[HtmBytes].size() + s[ContentBytes].size() + s[WrittenBytes].size() >
        textLimit(w.databaseSize))
        return false;
    return s[DateValues].put(row.dateNull ? 0.0 : row.date) && s[DateNull].put(std::uint8_t(row.dateNull));
}

Result<void, ColumnWriteFailure> ColumnFileWriter::finish(const Result<void, ReadFailure> &outcome)
{
    const bool completed = complete(outcome);
    const int error = m_impl->file.error();
    if (error != 0)
        return ColumnWriteFailure{{columnFileWriteMessage(m_impl->name, error)}, error};
    if (!completed)
        return ColumnWriteFailure{{columnFileMapMessage(m_impl->name, m_impl->mapError)}, 0};
    return {};
}

bool ColumnFileWriter::complete(const Result<void, ReadFailure> &outcome)
{
    Impl &w = *m_impl;
    Header &h = w.header;
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kVersion;
    h.headerSize = sizeof(Header);
    h.contentFolded = w.folded ? 1 : 0;
    h.status = outcome ? ReadOk : outcome.failure().status;
    if (!outcome || w.rowsAdded != w.rows) {
        if (h.status == ReadOk)
            h.status = Damaged;
        const std::string detail = outcome ? std::string() : outcome.failure().detail;
        h.detailSize = std::uint32_t(std::min(detail.size(), kDetailMax));
        std::memcpy(h.detail, detail.data(), h.detailSize);
        std::fill(std::begin(h.blocks), std::end(h.blocks), Place{});
        h.fileSize = kHeaderBytes;
        char page[kHeaderBytes] = {};
        std::memcpy(page, &h, sizeof h);
        return w.file.resize(kHeaderBytes) && w.file.writeAt(page, sizeof page, 0);
    }
    for (Stream &s : w.streams)
        if (!s.flush())
            return false;
    // The texts behind the content, each where its block begins.
    Place &content = h.blocks[ContentBytes];
    content.size = w.streams[ContentBytes].size();
    h.blocks[SubjectBytes] = {align64(content.offset + content.size), w.streams[SubjectBytes].size()};
    h.blocks[HtmBytes] = {align64(h.blocks[SubjectBytes].offset + h.blocks[SubjectBytes].size),
                          w.streams[HtmBytes].size()};
    h.blocks[WrittenBytes] = {align64(h.blocks[HtmBytes].offset + h.blocks[HtmBytes].size),
                              w.streams[WrittenBytes].size()};
    for (const Block b : {SubjectBytes, HtmBytes, WrittenBytes})
        if (!w.streams[b].moveTo(h.blocks[b].offset))
            return false;
    const std::uint64_t bodyEnd = align64(h.blocks[WrittenBytes].offset + h.blocks[WrittenBytes].size);
    h.blocks[ChunkSums] = {bodyEnd, chunkCount(bodyEnd - kHeaderBytes) * sizeof(std::uint64_t)};
    h.fileSize = bodyEnd + h.blocks[ChunkSums].size;
    if (!w.file.resize(h.fileSize))
        return false;
    h.rows = w.rows;

    // The date order is sorted where it lies in the file, then everything is summed.
    Mapping map(w.file.fd(), std::size_t(h.fileSize), PROT_READ | PROT_WRITE);
    if (!map.data()) {
        w.mapError = errno;
        return false;
    }
    unsigned char *base = map.data();
    const Place &order = h.blocks[Order];
    sortNewestFirst(std::span<std::uint32_t>(reinterpret_cast<std::uint32_t *>(base + order.offset), w.rows),
                    arrayAt<double>(base, h.blocks[DateValues]), arrayAt<std::uint8_t>(base, h.blocks[DateNull]));
    auto *sums = reinterpret_cast<std::uint64_t *>(base + bodyEnd);
    sumChunks(base + kHeaderBytes, std::size_t(bodyEnd - kHeaderBytes), sums);
    h.checksum = hashBytes(sums, std::size_t(h.blocks[ChunkSums].size), bodyEnd);
    std::memset(base, 0, kHeaderBytes);
    std::memcpy(base, &h, sizeof h);
    return true;
}

bool stampColumnFile(int fd, const ColumnFileStamp &stamp)
{
    Header h;
    if (::pread(fd, &h, sizeof h, 0) != ssize_t(sizeof h))
        return false;
    h.stamp = stamp;
    h.stamped = 1;
    return FileOut(fd).writeAt(&h, sizeof h, 0);
}

} // namespace morvessa
