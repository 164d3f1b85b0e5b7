#pragma once
#include "registry.h"
#include "engine/recordstore.h"
#include "ui/uihooks.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A collection copied into a temporary folder that becomes the application folder.
class TestFolder {
public:
    // source: a folder to copy (the sample collection or one of tests/data), or empty.
    explicit TestFolder(const QString &source = QString());
    ~TestFolder();
    QString path() const { return m_dir.path(); }
    bool isValid() const { return m_dir.isValid(); }
    void writeFile(const QString &name, const QByteArray &bytes) const;

private:
    QTemporaryDir m_dir;
};

QString sampleCollection();
QString testData(const QString &name);

// Takes the place of the message boxes and the web browser while it lives.
class Recorder {
public:
    struct Message {
        QString text;
        morvessa::MessageKind kind;
    };
    Recorder();
    ~Recorder();
    std::vector<Message> messages;
    std::vector<QUrl> openedPages;
};

namespace morvessa {
class FrmZendrelMain;
}
// The text the main window's browser pane shows now; empty when it does not answer.
QString paneText(morvessa::FrmZendrelMain *main);

// Closes every window of the program and lets the deferred deletions run.
void closeAllWindows();

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
