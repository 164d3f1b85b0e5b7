#pragma once
// The column file's layout, shared by its writer (columnwriter.cpp) and its reader
// (columnfile.cpp): a header page, the row-sized arrays, the texts, the chunk sums.
#include "store/columnfile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <sys/mman.h>
#include <type_traits>

namespace morvessa::columnlayout {

constexpr char kMagic[8] = {'M', 'V', 'C', 'O', 'L', 'S', '\r', '\n'};
// Raised whenever the layout or the meaning of a field changes: a file of another version is a miss.
constexpr std::uint32_t kVersion = 5; // 3: the striped hash; 4: the device in the stamp; 5: chunk sums
constexpr std::uint64_t kHeaderBytes = 4096;
constexpr std::size_t kDetailMax = 256;

enum Block {
    SubjectEnds,
    HtmEnds,
    ContentEnds,
    DateValues,
    Order,
    SubjectNull,
    HtmNull,
    ContentNull,
    DateNull,
    WrittenEnds,
    ContentBytes,
    SubjectBytes,
    HtmBytes,
    WrittenBytes,
    ChunkSums, // one sum per chunk of everything between the header page and them
    BlockCount
};
constexpr std::uint64_t kElementSize[BlockCount] = {8, 8, 8, 8, 4, 1, 1, 1, 1, 8, 0, 0, 0, 0, 0};

struct Place {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

struct Header {
    char magic[8];
    std::uint32_t version;
    std::uint32_t headerSize;
    std::uint32_t status;
    std::uint32_t contentFolded;
    std::uint64_t rows;
    std::uint64_t fileSize;
    std::uint64_t checksum; // of the chunk sums
    std::uint32_t detailSize;
    std::uint32_t stamped;
    char detail[kDetailMax];
    ColumnFileStamp stamp;
    Place blocks[BlockCount];
};
static_assert(sizeof(Header) <= kHeaderBytes);
static_assert(std::is_trivially_copyable_v<Header>);

inline constexpr std::uint64_t align64(std::uint64_t at)
{
    return (at + 63) / 64 * 64;
}

class Mapping {
public:
    Mapping(int fd, std::size_t size, int prot)
    {
        void *p = ::mmap(nullptr, size, prot, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED) {
            m_data = static_cast<unsigned char *>(p);
            m_size = size;
        }
    }
    ~Mapping()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }
    Mapping(const Mapping &) = delete;
    Mapping &operator=(const Mapping &) = delete;
    unsigned char *data() const { return m_data; }
    // Hands the mapping over to a shared owner.
    std::shared_ptr<const void> release()
    {
        const std::size_t size = m_size;
        std::shared_ptr<const void> owner(m_data,
                                          [size](const void *q) { ::munmap(const_cast<void *>(q), size); });
        m_data = nullptr;
        return owner;
    }

private:
    unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
};

template <typename T>
inline std::span<const T> arrayAt(const unsigned char *base, const Place &place)
{
    return std::span<const T>(reinterpret_cast<const T *>(base + place.offset), place.size / sizeof(T));
}

} // namespace morvessa::columnlayout
