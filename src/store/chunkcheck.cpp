#include "store/chunkcheck.h"

#include "store/bytehash.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace morvessa {

std::uint64_t chunkSum(const unsigned char *chunk, std::size_t size, std::size_t index)
{
    return hashBytes(chunk, size, 0x6A09E667F3BCC909ull ^ std::uint64_t(index));
}

void sumChunks(const unsigned char *body, std::size_t size, std::uint64_t *sums)
{
    const std::size_t count = chunkCount(size);
    auto range = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k) {
            const std::size_t at = k * kChunkBytes;
            sums[k] = chunkSum(body + at, std::min(kChunkBytes, size - at), k);
        }
    };
    if (count >= 32) {
        try {
            std::thread other(range, count / 2, count);
            range(0, count / 2);
            other.join();
            return;
        } catch (const std::system_error &) { // no thread to be had: one after the other
        }
    }
    range(0, count);
}

ChunkCheck::ChunkCheck(int fd, std::uint64_t bodyOffset, const unsigned char *body, std::size_t size,
                       std::span<const std::uint64_t> sums, std::shared_ptr<const void> keepAlive,
                       std::function<void()> onDamage)
    : m_fd(fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 3) : -1),
      m_bodyOffset(bodyOffset),
      m_body(body),
      m_size(size),
      m_sums(sums),
      m_keepAlive(std::move(keepAlive)),
      m_onDamage(std::move(onDamage)),
      m_states(new std::atomic<std::uint8_t>[sums.size()])
{
    for (std::size_t k = 0; k < sums.size(); ++k)
        m_states[k].store(Unchecked, std::memory_order_relaxed);
}

ChunkCheck::~ChunkCheck()
{
    m_stop.store(true, std::memory_order_relaxed);
    if (m_helper.joinable())
        m_helper.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void ChunkCheck::startHelping()
{
    if (m_sums.size() < 8) // a small file: not worth a thread
        return;
    try {
        m_helper = std::thread([this] { helpFromTheEnd(); });
    } catch (const std::system_error &) { // settle() does it all
    }
}

bool ChunkCheck::readAt(std::uint64_t offset, std::size_t size, char *out) const
{
    if (m_fd < 0) { // no descriptor to be had: the mapping
        std::memcpy(out, m_body + (offset - m_bodyOffset), size);
        return true;
    }
    while (size > 0) {
        const ssize_t n = ::pread(m_fd, out, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        out += n;
        offset += std::uint64_t(n);
        size -= std::size_t(n);
    }
    return true;
}

void ChunkCheck::finish(std::size_t k, bool holds) const
{
    if (!holds)
        m_failed.store(true, std::memory_order_release);
    m_states[k].store(holds ? Holds : Fails, std::memory_order_release);
    m_states[k].notify_all();
}

bool ChunkCheck::checkChunk(std::size_t k, char *scratch, const char *bytes) const
{
    std::atomic<std::uint8_t> &state = m_states[k];
    std::uint8_t now = state.load(std::memory_order_acquire);
    if (now == Unchecked && state.compare_exchange_strong(now, Checking, std::memory_order_acq_rel)) {
        const std::size_t at = k * kChunkBytes, size = std::min(kChunkBytes, m_size - at);
        if (!bytes && !readAt(m_bodyOffset + at, size, scratch)) {
            finish(k, false);
            return false;
        }
        const bool holds =
            chunkSum(reinterpret_cast<const unsigned char *>(bytes ? bytes : scratch), size, k) == m_sums[k];
        finish(k, holds);
        return holds;
    }
    while (now == Checking) { // the other thread has it in hand
        state.wait(Checking, std::memory_order_acquire);
        now = state.load(std::memory_order_acquire);
    }
    return now == Holds;
}

void ChunkCheck::helpFromTheEnd() const
{
    std::vector<char> scratch(kChunkBytes);
    for (std::size_t k = m_sums.size(); k-- > 0;) {
        if (m_stop.load(std::memory_order_relaxed) || m_failed.load(std::memory_order_relaxed))
            return;
        if (m_states[k].load(std::memory_order_relaxed) == Unchecked)
            checkChunk(k, scratch.data());
    }
}

bool ChunkCheck::read(const void *at, std::size_t size, char *out) const
{
    const auto *p = static_cast<const unsigned char *>(at);
    if (p < m_body || std::size_t(p - m_body) > m_size || size > m_size - std::size_t(p - m_body))
        return false; // not bytes of this body
    const std::size_t from = std::size_t(p - m_body);
    if (!readAt(m_bodyOffset + from, size, out)) {
        m_failed.store(true, std::memory_order_release);
        return false;
    }
    // The chunks read whole are checked on the bytes just read, while they are in the cache.
    for (std::size_t k = (from + kChunkBytes - 1) / kChunkBytes; k < m_sums.size(); ++k) {
        const std::size_t begin = k * kChunkBytes, end = std::min(m_size, begin + kChunkBytes);
        if (end > from + size)
            break;
        if (m_states[k].load(std::memory_order_acquire) == Unchecked)
            checkChunk(k, nullptr, out + (begin - from));
    }
    return !failed();
}

bool ChunkCheck::settle() const
{
    if (m_settled.load(std::memory_order_acquire))
        return m_holds;
    std::call_once(m_settleOnce, [this] {
        std::vector<char> scratch(kChunkBytes);
        bool holds = true;
        for (std::size_t k = 0; k < m_sums.size() && holds; ++k)
            holds = checkChunk(k, scratch.data());
        m_stop.store(true, std::memory_order_relaxed);
        if (m_helper.joinable())
            m_helper.join();
        m_holds = holds && !failed();
        if (!m_holds && m_onDamage)
            m_onDamage();
        m_settled.store(true, std::memory_order_release);
    });
    return m_holds;
}

} // namespace morvessa
