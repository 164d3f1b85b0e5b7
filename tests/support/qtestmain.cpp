#include "registry.h"

#include <QApplication>
#include <QTest>

#include <memory>
#include <vector>

namespace {
std::vector<QObject *(*)()> &makers()
{
    static std::vector<QObject *(*)()> list;
    return list;
}
} // namespace

void registerTest(QObject *(*make)())
{
    makers().push_back(make);
}

int main(int argc, char *argv[])
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    int failures = 0;
    for (auto make : makers()) {
        std::unique_ptr<QObject> test(make());
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures ? 1 : 0;
}
