// Times the record page on the long page of the test collection: marking three terms in
// memory, and the whole write of the temporary page. Prints the median of many runs.
#include "viewer/recordpage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace morvessa;

namespace {

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    times.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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
    const double mark = medianMs(200, [&] { marks = markKeywords(page, terms).size(); });
    const double noMatch = medianMs(200, [&] { markKeywords(page, QString::fromUtf8("不在 此頁 之中")); });

    QTemporaryDir dir;
    const QString folder = dir.path();
    QDir().mkpath(folder + QStringLiteral("/long"));
    QFile::copy(source, folder + QStringLiteral("/long/long.htm"));
    const double write = medianMs(100, [&] { WriteRecordPage(folder, QStringLiteral("long\\long.htm"), terms); });

    std::printf("page %lld bytes, marked page %lld bytes, terms: %s\n", (long long)page.size(),
                (long long)marks, terms.toUtf8().constData());
    std::printf("markKeywords, 3 terms found:     median %.3f ms (200 runs)\n", mark);
    std::printf("markKeywords, 3 terms not found: median %.3f ms (200 runs)\n", noMatch);
    std::printf("WriteRecordPage, 3 terms:        median %.3f ms (100 runs)\n", write);
    return 0;
}
