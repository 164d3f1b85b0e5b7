#include "fuzztarget.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz: check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz
