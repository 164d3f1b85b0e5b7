#include "ui/logic/resultgridmodel.h"

namespace morvessa {

ResultGridModel::ResultGridModel(QObject *parent) : QAbstractTableModel(parent), m_header(kColumns) {}

void ResultGridModel::bind(std::shared_ptr<const ResultRows> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ResultGridModel::gridRows() const
{
    return rowCount() + 1;
}

QString ResultGridModel::cell(int gridRow, int col) const
{
    if (gridRow < 0 || gridRow >= gridRows() || col < 0 || col >= kColumns)
        return QString();
    if (gridRow == 0)
        return m_header.at(col);
    return m_rows ? m_rows->text(gridRow - 1, col) : QString();
}

void ResultGridModel::setHeaderText(int col, const QString &text)
{
    if (col < 0 || col >= kColumns)
        return;
    m_header[col] = text;
    emit headerDataChanged(Qt::Horizontal, col, col);
}

int ResultGridModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_rows ? m_rows->count() : 1;
}

int ResultGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant ResultGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !m_rows)
        return QVariant();
    return m_rows->text(index.row(), index.column());
}

QVariant ResultGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QVariant();
    return m_header.at(section);
}

Qt::ItemFlags ResultGridModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace morvessa
