// Times the record page on the long page of the test collection: marking three terms in
// memory, and the whole write of the temporary page. Prints the median of many runs, as
// wall-clock time and as the thread's processor time (steadier on a busy machine).
#include "page/recordpage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

using namespace morvessa;

namespace {

struct Timing {
    double wallMs;
    double cpuMs;
};

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

Timing median(int runs, const std::function<void()> &work)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const double cpuStart = threadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        work();
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

} // namespace

int main()
{
    const QString source = QStringLiteral(MORVESSA_TEST_DATA "/collection/long/long.htm");
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(source));
        return 1;
    }
    const QByteArray page = file.readAll();
    const QString terms = QString::fromUtf8("脾胃 健脾 尾端標記");

    qsizetype marks = 0;
    const Timing mark = median(200, [&] { marks = markKeywords(page, terms).size(); });
    const Timing noMatch = median(200, [&] { markKeywords(page, QString::fromUtf8("不在 此頁 之中")); });

    QTemporaryDir dir;
    const QString folder = dir.path();
    QDir().mkpath(folder + QStringLiteral("/long"));
    QFile::copy(source, folder + QStringLiteral("/long/long.htm"));
    const Timing write = median(100, [&] { WriteRecordPage(folder, QStringLiteral("long\\long.htm"), terms); });

    std::printf("page %lld bytes, marked page %lld bytes, terms: %s\n", (long long)page.size(),
                (long long)marks, terms.toUtf8().constData());
    std::printf("markKeywords, 3 terms found:     median %.3f ms wall, %.3f ms cpu (200 runs)\n",
                mark.wallMs, mark.cpuMs);
    std::printf("markKeywords, 3 terms not found: median %.3f ms wall, %.3f ms cpu (200 runs)\n",
                noMatch.wallMs, noMatch.cpuMs);
    std::printf("WriteRecordPage, 3 terms:        median %.3f ms wall, %.3f ms cpu (100 runs)\n",
                write.wallMs, write.cpuMs);
    return 0;
}
