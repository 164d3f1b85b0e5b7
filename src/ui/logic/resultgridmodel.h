#pragma once
// The rows behind the results grid: the header row (grid row 0) as the model's
// horizontal header and grid rows 1..n as model rows 0..n-1, read straight from the
// bound result. Nothing is copied per row.
#include "engine/recordstore.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>

namespace morvessa {

class ResultGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 2;

    explicit ResultGridModel(QObject *parent = nullptr);

    // Null leaves the grid as laid out: the header row and one empty row.
    void bind(std::shared_ptr<const ResultRows> rows);
    std::shared_ptr<const ResultRows> rows() const { return m_rows; }

    // Grid rows, the header row included.
    int gridRows() const;
    // Text of a grid cell; row 0 is the header row. Empty outside the grid.
    QString cell(int gridRow, int col) const;
    void setHeaderText(int col, const QString &text); // does nothing outside the header row

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    std::shared_ptr<const ResultRows> m_rows;
    QStringList m_header;
};

} // namespace morvessa
