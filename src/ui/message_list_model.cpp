#include "ui/message_list_model.h"

namespace brevio {

namespace {

const QString& CellText(const TMessageRow& row, int column)
{
    switch (column) {
    case TMessageListModel::ColNumber: return row.Number;
    case TMessageListModel::ColSubject: return row.Subject;
    case TMessageListModel::ColFrom: return row.From;
    case TMessageListModel::ColMailBox: return row.MailBox;
    case TMessageListModel::ColSize: return row.Size;
    case TMessageListModel::ColDate: return row.Date;
    case TMessageListModel::ColTime: return row.Time;
    default: return row.Folder;
    }
}

}  // namespace

TMessageListModel::TMessageListModel(QObject* parent)
    : QAbstractTableModel(parent),
      // The built-in captions; a language file replaces them.
      captions_{QStringLiteral("№"),     QStringLiteral("Тема"),   QStringLiteral("От кого"),
                QStringLiteral("Ящик"),  QStringLiteral("Размер"), QStringLiteral("Дата"),
                QStringLiteral("Время"), QStringLiteral("Папка")}
{
}

int TMessageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int TMessageListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TMessageListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole)
        return CellText(rows_.at(index.row()), index.column());
    if (role == Qt::CheckStateRole && index.column() == ColNumber)
        return ticks_.at(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool TMessageListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != ColNumber ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    SetTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TMessageListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColNumber)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant TMessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return captions_.at(section);
}

bool TMessageListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) || section < 0 ||
        section >= ColumnCount)
        return false;
    captions_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void TMessageListModel::AppendRows(const QList<TMessageRow>& rows)
{
    if (rows.isEmpty())
        return;
    const int first = int(rows_.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    rows_.append(rows);
    ticks_.resize(rows_.size(), false);
    endInsertRows();
}

void TMessageListModel::Clear()
{
    beginResetModel();
    rows_.clear();
    ticks_.clear();
    endResetModel();
}

void TMessageListModel::SetTicked(int row, bool ticked)
{
    if (row < 0 || row >= ticks_.size() || ticks_[row] == ticked)
        return;
    ticks_[row] = ticked;
    const QModelIndex cell = index(row, ColNumber);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void TMessageListModel::ToggleTick(int row)
{
    if (row >= 0 && row < ticks_.size())
        SetTicked(row, !ticks_[row]);
}

void TMessageListModel::TickAll()
{
    ticks_.fill(true);
    TicksChanged();
}

void TMessageListModel::UntickAll()
{
    ticks_.fill(false);
    TicksChanged();
}

void TMessageListModel::InvertTicks()
{
    for (bool& tick : ticks_)
        tick = !tick;
    TicksChanged();
}

QList<TMessageRow> TMessageListModel::TickedRows() const
{
    QList<TMessageRow> out;
    for (qsizetype i = 0; i < rows_.size(); ++i)
        if (ticks_[i])
            out.append(rows_[i]);
    return out;
}

void TMessageListModel::TicksChanged()
{
    if (rows_.isEmpty())
        return;
    emit dataChanged(index(0, ColNumber), index(int(rows_.size()) - 1, ColNumber), {Qt::CheckStateRole});
}

}  // namespace brevio
