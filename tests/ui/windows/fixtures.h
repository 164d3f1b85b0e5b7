#pragma once
#include "engine/recordstore.h"
#include "registry.h"
#include "windowtest.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

using morvessa::test::closeAllWindows;
using morvessa::test::Recorder;
using morvessa::test::TestFolder;

QString sampleCollection();
QString testData(const QString &name);

namespace morvessa {
class FrmZendrelMain;
}
// The text the main window's browser pane shows now; empty when it does not answer.
QString paneText(morvessa::FrmZendrelMain *main);

// Opens the main window the way the user does: the start window's query button.
morvessa::FrmZendrelMain *openMainWindow(const TestFolder &folder,
                                         std::shared_ptr<const morvessa::VariantTable> variants = nullptr);
// Types query into the box and presses Enter there.
void pressEnter(morvessa::FrmZendrelMain *main, const QString &query);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString &path);

// Rows made on demand, counting how many cells the grid asked for.
class GeneratedRows : public morvessa::ResultRows {
public:
    explicit GeneratedRows(int count) : m_count(count) {}
    int count() const override { return m_count; }
    QString text(int row, int col) const override;
    mutable long long cellsRead = 0;

private:
    int m_count;
};

// The Big5 bytes of a string, as the pages hold them.
QByteArray big5(const QString &text);
