#pragma once
// The condition file window's folder list: the current folder's ancestors down from the
// root, the folder itself and its subfolders, each indented below the one above.
// A double-click or Enter opens a folder.
#include <QTreeWidget>

namespace morvessa {

class FolderList : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderList(QWidget *parent = nullptr);
    // The current folder as shown, and by its bytes (see ui/logic/filenames.h).
    QString path() const;
    QByteArray nativePath() const { return m_path; }
    // Moves to folder and raises pathChanged when it is another one. Returns false and
    // stays where it is when the folder cannot be opened.
    bool setPath(const QByteArray &folder);

signals:
    void pathChanged();
    void openFailed(const QByteArray &folder);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;

private:
    void open(QTreeWidgetItem *item);
    void list();
    QByteArray m_path;
};

} // namespace morvessa
