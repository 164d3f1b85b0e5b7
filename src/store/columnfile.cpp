#include "store/columnfile.h"

#include "store/bytehash.h"
#include "store/chunkcheck.h"
#include "store/columnlayout.h"
#include "store/readmessages.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace morvessa {

using namespace columnlayout;

namespace {

bool validEnds(std::span<const std::uint64_t> ends, std::uint64_t bytes)
{
    std::uint64_t last = 0;
    for (const std::uint64_t e : ends) {
        if (e < last)
            return false;
        last = e;
    }
    return last == bytes;
}

} // namespace

Result<std::shared_ptr<const StoreTable>, ReadFailure> mapColumnFile(int fd, bool contentFolded,
                                                                     const ColumnFileStamp *expected,
                                                                     bool verifyChecksum, const QString &path,
                                                                     std::function<void()> onDamage)
{
    const auto damaged = [&path] { return readFailure(Damaged, path); };
    struct stat st {};
    if (::fstat(fd, &st) != 0 || std::uint64_t(st.st_size) < kHeaderBytes)
        return damaged();
    const std::uint64_t size = std::uint64_t(st.st_size);
    Mapping map(fd, std::size_t(size), PROT_READ);
    const unsigned char *base = map.data();
    if (!base)
        return damaged();
    Header h;
    std::memcpy(&h, base, sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.version != kVersion ||
        h.headerSize != sizeof(Header) || h.fileSize != size || h.status > Damaged || h.detailSize > kDetailMax ||
        h.contentFolded != (contentFolded ? 1u : 0u))
        return damaged();
    if (h.status != ReadOk)
        return readFailure(ReadStatus(h.status), path, std::string(h.detail, h.detailSize));
    if (expected && (!h.stamped || !(h.stamp == *expected)))
        return damaged();
    if (h.rows > size || h.rows > 0xFFFFFFFFu)
        return damaged();
    const Place &sums = h.blocks[ChunkSums];
    for (int b = 0; b < BlockCount; ++b) {
        const Place &p = h.blocks[b];
        if (p.offset % 8 != 0 || p.offset < kHeaderBytes || p.offset > size || p.size > size - p.offset ||
            (kElementSize[b] && p.size != h.rows * kElementSize[b]) ||
            (b != ChunkSums && p.offset + p.size > sums.offset))
            return damaged();
    }
    const std::uint64_t bodySize = sums.offset - kHeaderBytes;
    if (sums.size != chunkCount(bodySize) * sizeof(std::uint64_t) || sums.offset + sums.size != size)
        return damaged();
    if (verifyChecksum && hashBytes(base + sums.offset, std::size_t(sums.size), sums.offset) != h.checksum)
        return damaged();

    auto table = std::make_shared<StoreTable>();
    auto text = [&](Block bytes, Block ends, Block nulls) {
        return TextColumn{
            std::string_view(reinterpret_cast<const char *>(base + h.blocks[bytes].offset), h.blocks[bytes].size),
            arrayAt<std::uint64_t>(base, h.blocks[ends]), arrayAt<std::uint8_t>(base, h.blocks[nulls])};
    };
    table->subject = text(SubjectBytes, SubjectEnds, SubjectNull);
    table->htm = text(HtmBytes, HtmEnds, HtmNull);
    table->content = text(ContentBytes, ContentEnds, ContentNull);
    table->written = text(WrittenBytes, WrittenEnds, ContentNull);
    table->contentFolded = contentFolded;
    table->date = arrayAt<double>(base, h.blocks[DateValues]);
    table->dateNull = arrayAt<std::uint8_t>(base, h.blocks[DateNull]);
    table->storedNewestFirst = arrayAt<std::uint32_t>(base, h.blocks[Order]);
    table->contentKey = h.checksum;
    // A kept file's ends and order are what its writer checked: its sums say whether it is
    // still that file (StoreTable::pending), without reading the arrays here.
    if (!verifyChecksum) {
        for (const TextColumn *c : {&table->subject, &table->htm, &table->content, &table->written})
            if (!validEnds(c->ends, c->bytes.size()))
                return damaged();
        for (const std::uint32_t r : table->storedNewestFirst)
            if (r >= h.rows)
                return damaged();
    }
    table->storage = map.release();
    if (verifyChecksum) {
        // The body's chunks are checked as the search reads them (store/chunkcheck.h).
        auto check =
            std::make_shared<ChunkCheck>(fd, kHeaderBytes, base + kHeaderBytes, std::size_t(bodySize),
                                         arrayAt<std::uint64_t>(base, sums), table->storage, std::move(onDamage));
        check->startHelping();
        table->content.check = check.get();
        table->written.check = check.get();
        table->pending = std::move(check);
    }
    return std::shared_ptr<const StoreTable>(std::move(table));
}

bool ofThisVersion(int fd)
{
    char head[sizeof kMagic + sizeof kVersion];
    std::uint32_t version = 0;
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head) || std::memcmp(head, kMagic, sizeof kMagic) != 0)
        return false;
    std::memcpy(&version, head + sizeof kMagic, sizeof version);
    return version == kVersion;
}

} // namespace morvessa
