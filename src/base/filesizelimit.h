#pragma once
// Under a file-size limit (ulimit -f) a write past the limit sends SIGXFSZ, which ends the
// program by default, part way through a save. Ignored, the write fails with EFBIG instead,
// and the writer puts the old bytes back and says so.
#include <csignal>

namespace morvessa {

// Every program calls this first; the file writers call it too, so that a program that
// forgot cannot lose a file.
inline void letWritesPastTheSizeLimitFail()
{
    struct sigaction current {};
    if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace morvessa
