#include "engine/plainsearch.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace morvessa {

namespace {

std::atomic<bool> &plainFlag()
{
    static std::atomic<bool> flag = [] {
        const char *v = std::getenv("MORVESSA_PLAIN_SEARCH");
        return v && std::strcmp(v, "1") == 0;
    }();
    return flag;
}

} // namespace

void setPlainSearch(bool on)
{
    plainFlag() = on;
}
bool plainSearch()
{
    return plainFlag();
}

} // namespace morvessa
