#pragma once
// Bytes written once, in order, and read back when all are in: held in memory up to a
// limit, past it in a temporary file with no name (nothing is left behind, whatever ends
// the program). Its pages belong to the system's file cache, which can drop them; a long
// output made in one order and read in another then costs the program little memory.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace morvessa {

class SpillBuffer {
public:
    // folder: where the file goes (one on a disk, not in memory; empty: the system's
    // temporary folder).
    SpillBuffer(QString folder, std::size_t memoryLimit);
    ~SpillBuffer();
    SpillBuffer(const SpillBuffer &) = delete;
    SpillBuffer &operator=(const SpillBuffer &) = delete;

    // Bytes appended so far.
    std::uint64_t size() const { return m_spilled + m_memory.size(); }
    void append(std::string_view bytes);
    // Ends appending: every byte appended, valid while the buffer lives; nullopt when a
    // file could be written but not read back (then nothing is).
    std::optional<std::string_view> finish();

private:
    bool spill();

    QString m_folder;
    std::size_t m_limit;
    std::string m_memory;
    int m_fd = -1;
    bool m_inMemoryOnly = false; // no file to be had: every byte stays in memory
    std::uint64_t m_spilled = 0;
    void *m_map = nullptr;
    std::size_t m_mapSize = 0;
};

} // namespace morvessa
