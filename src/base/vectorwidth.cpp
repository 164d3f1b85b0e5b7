#include "base/vectorwidth.h"

#include <algorithm>
#include <atomic>

namespace morvessa {

namespace {

VectorWidth offered()
{
    // 64-byte registers with byte compares into masks, and 32-byte ones.
    if (__builtin_cpu_supports("avx512bw"))
        return VectorWidth::Avx512;
    if (__builtin_cpu_supports("avx2"))
        return VectorWidth::Avx2;
    return VectorWidth::None;
}

std::atomic<VectorWidth> g_ceiling{VectorWidth::Avx512};

} // namespace

VectorWidth vectorWidth()
{
    static const VectorWidth machine = offered();
    return std::min(machine, g_ceiling.load(std::memory_order_relaxed));
}

VectorWidth limitVectorWidth(VectorWidth ceiling)
{
    return g_ceiling.exchange(ceiling, std::memory_order_relaxed);
}

} // namespace morvessa
