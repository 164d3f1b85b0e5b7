#pragma once
// The condition file window's file list: the condition files of its folder (see
// ui/logic/folderlisting.h). fileName() is the selected name alone, empty when none is.
#include <QListWidget>

namespace morvessa {

class FileList : public QListWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);
    // The folder as shown, and by its bytes (see ui/logic/filenames.h).
    QString path() const;
    QByteArray nativePath() const { return m_path; }
    // Lists another folder, with nothing selected: a name chosen in one folder never
    // chooses the file of the same name in the next.
    void setPath(const QByteArray &folder);
    // Lists the folder again, keeping the selected file while it is there.
    void refresh();
    QString fileName() const;
    QByteArray nativeFileName() const;

signals:
    void dblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void list();
    QByteArray m_path;
};

} // namespace morvessa
