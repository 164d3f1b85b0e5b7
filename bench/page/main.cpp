// Times the record page on the long page of the test collection: marking three terms in
// memory, a term given once against the same term given many times, and the whole write
// of the temporary page. Prints the median of many runs, as
// wall-clock time and as the thread's processor time (steadier on a busy machine).
#include "page/marking.h"
#include "page/pagefile.h"

#include <QStringList>

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
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
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

    // 脾 occurs 12,000 times in the page. A few repeats nest; many are marked once.
    auto repeated = [](const char *term, int times) {
        QStringList words;
        for (int i = 0; i < times; ++i)
            words << QString::fromUtf8(term);
        return words.join(QLatin1Char(' '));
    };
    struct Repeat {
        int times;
        qsizetype size = 0;
        Timing timing{};
    } repeats[] = {{1}, {3}, {800}, {30000}};
    for (Repeat &r : repeats) {
        const QString keywords = repeated("脾", r.times);
        r.timing = median(r.times > 100 ? 20 : 100, [&] { r.size = markKeywords(page, keywords).size(); });
    }

    QTemporaryDir dir;
    const QString folder = dir.path();
    QDir().mkpath(folder + QStringLiteral("/long"));
    QFile::copy(source, folder + QStringLiteral("/long/long.htm"));
    const QString pagePath = recordPagePath(folder);
    const auto writeOnce = [&] {
        return WriteRecordPage(folder, pagePath, QStringLiteral("long\\long.htm"), terms);
    };
    if (const auto written = writeOnce(); !written) {
        std::fprintf(stderr, "%s\n", written.message().toUtf8().constData());
        return 1;
    }
    const Timing write = median(100, [&] { (void)writeOnce(); });

    std::printf("page %lld bytes, marked page %lld bytes, terms: %s\n", (long long)page.size(), (long long)marks,
                terms.toUtf8().constData());
    std::printf("markKeywords, 3 terms found:     median %.3f ms wall, %.3f ms cpu (200 runs)\n", mark.wallMs,
                mark.cpuMs);
    std::printf("markKeywords, 3 terms not found: median %.3f ms wall, %.3f ms cpu (200 runs)\n", noMatch.wallMs,
                noMatch.cpuMs);
    for (const Repeat &r : repeats)
        std::printf(
            "markKeywords, 脾 x %-5d:         median %.3f ms wall, %.3f ms cpu (%.1fx once), page %lld bytes\n",
            r.times, r.timing.wallMs, r.timing.cpuMs, r.timing.cpuMs / repeats[0].timing.cpuMs, (long long)r.size);
    std::printf("WriteRecordPage, 3 terms:        median %.3f ms wall, %.3f ms cpu (100 runs)\n", write.wallMs,
                write.cpuMs);
    return 0;
}
