// A second program on a collection for the claim tests: claims a temporary page of the
// collection named on the command line, prints its path, and holds it until its input ends.
#include "page/pageclaim.h"

#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    const morvessa::RecordPageClaim claim(QFile::decodeName(argv[1]));
    std::printf("%s %s\n", claim.held() ? "held" : "free", QFile::encodeName(claim.path()).constData());
    std::fflush(stdout);
    char buffer[256];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    return 0;
}
