#include "store/collection.h"

#include <cstdlib>
#include <cstring>

namespace morvessa {

bool plainSearchChosen()
{
    const char *v = std::getenv("MORVESSA_PLAIN_SEARCH");
    return v && std::strcmp(v, "1") == 0;
}

} // namespace morvessa
