#pragma once
#include "store/collection.h"
#include "ui/uihooks.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <vector>

namespace morvessa::test {

// A collection copied into a temporary folder, for the windows to be started on; the
// program's windows are closed when it goes.
class TestFolder {
public:
    // source: a folder to copy (the sample collection or one of tests/data), or empty.
    explicit TestFolder(const QString &source = QString());
    ~TestFolder();
    QString path() const { return m_dir.path(); }
    bool isValid() const { return m_dir.isValid(); }
    void writeFile(const QString &name, const QByteArray &bytes) const;
    // The collection the windows are started on: this folder.
    morvessa::Collection collection() const;

private:
    QTemporaryDir m_dir;
};

// Takes the place of the message boxes and the web browser while it lives.
class Recorder {
public:
    struct Message {
        QString text;
        morvessa::MessageKind kind;
        bool waitCursor = false; // shown under the wait cursor
    };
    Recorder();
    ~Recorder();
    std::vector<Message> messages;
    std::vector<QUrl> openedPages;
};

// Closes every window of the program and lets the deferred deletions run.
void closeAllWindows();

} // namespace morvessa::test
