#pragma once
// A fast 64-bit hash of bytes, to tell damage apart (not to resist forgery): the kept copy's
// checksums. Vector instructions are used where the processor has them; the value is the
// same without.
#include <cstddef>
#include <cstdint>

namespace morvessa {

std::uint64_t hashBytes(const void *data, std::size_t size, std::uint64_t seed = 0);
std::uint64_t hashBytesWithoutVectors(const void *data, std::size_t size, std::uint64_t seed = 0);

} // namespace morvessa
