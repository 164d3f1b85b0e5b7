#pragma once
// The checks of a kept column file, done as its bytes are first used instead of before.
//
// Hashing the whole kept file before a search was most of a start: the search then read
// most of it again. The file holds a sum of each chunk of its body instead; the search
// checks each stretch of content just before it scans it (while it is in the cache), a
// second thread checks the rest meanwhile from the far end, and nothing found is used
// before `settle()` has seen every chunk hold. A file that fails answers nothing: it is
// forgotten and read again from the database.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace morvessa {

// Bytes of the body summed together; the last chunk may be shorter.
inline constexpr std::size_t kChunkBytes = std::size_t(256) << 10;

// The sum of chunk `index` of a body (its place is part of it: swapped chunks fail).
std::uint64_t chunkSum(const unsigned char *chunk, std::size_t size, std::size_t index);

// Every chunk's sum, computed on two threads where it can.
void sumChunks(const unsigned char *body, std::size_t size, std::uint64_t *sums);

inline std::size_t chunkCount(std::uint64_t bodySize)
{
    return std::size_t((bodySize + kChunkBytes - 1) / kChunkBytes);
}

class ChunkCheck {
public:
    // body/size: the checked bytes as mapped, which are bytes [bodyOffset, bodyOffset + size)
    // of the file in fd (the check reads its own descriptor of it); sums: one per chunk. The
    // mapping lives while `keepAlive` does. onDamage runs once, in settle(), when a chunk
    // failed (or could not be read).
    ChunkCheck(int fd, std::uint64_t bodyOffset, const unsigned char *body, std::size_t size,
               std::span<const std::uint64_t> sums, std::shared_ptr<const void> keepAlive,
               std::function<void()> onDamage);
    ~ChunkCheck();
    ChunkCheck(const ChunkCheck &) = delete;
    ChunkCheck &operator=(const ChunkCheck &) = delete;

    // Starts the second thread (without one, settle() does it all).
    void startHelping();
    // Stops it where it is, for readers that keep both cores busy checking what they read;
    // settle() checks what is left.
    void stopHelping() const { m_stop.store(true, std::memory_order_relaxed); }
    // Copies the mapped bytes [at, at + size) into out by reading the file, and checks the
    // chunks that lie wholly within them. Reading copies from the system's cache; touching
    // a fresh mapping page by page costs several times more (on virtual machines most). False
    // when the file could not be read or a chunk failed: what was read may then be anything.
    bool read(const void *at, std::size_t size, char *out) const;
    // Bytes from at to the end of its chunk (at lies within the body).
    std::size_t toChunkEnd(const void *at) const
    {
        return kChunkBytes - std::size_t(static_cast<const unsigned char *>(at) - m_body) % kChunkBytes;
    }
    // Every chunk checked: true when all hold. Waits for the second thread.
    bool settle() const;
    // A chunk is known to have failed (settle() may not have run yet).
    bool failed() const { return m_failed.load(std::memory_order_acquire); }

private:
    enum State : std::uint8_t { Unchecked, Checking, Holds, Fails };
    // Checks chunk k, reading it into scratch (kChunkBytes) unless `bytes` holds it.
    bool checkChunk(std::size_t k, char *scratch, const char *bytes = nullptr) const;
    void finish(std::size_t k, bool holds) const;
    void helpFromTheEnd() const;
    bool readAt(std::uint64_t offset, std::size_t size, char *out) const;

    int m_fd = -1;
    std::uint64_t m_bodyOffset;
    const unsigned char *m_body;
    std::size_t m_size;
    std::span<const std::uint64_t> m_sums;
    std::shared_ptr<const void> m_keepAlive;
    std::function<void()> m_onDamage;
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_states;
    mutable std::atomic<bool> m_failed{false};
    mutable std::atomic<bool> m_stop{false};
    mutable std::atomic<bool> m_settled{false};
    mutable std::once_flag m_settleOnce;
    mutable bool m_holds = false;
    mutable std::thread m_helper;
};

} // namespace morvessa
