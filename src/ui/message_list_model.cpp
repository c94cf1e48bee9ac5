#include "ui/message_list_model.h"

#include <QFont>

#include <algorithm>

namespace brevio {

TMessageListModel::TMessageListModel(QObject* parent)
    : QAbstractTableModel(parent),
      // The built-in captions; a language file replaces them.
      captions_{QStringLiteral("№"),     QStringLiteral("Тема"),   QStringLiteral("От кого"),
                QStringLiteral("Ящик"),  QStringLiteral("Размер"), QStringLiteral("Дата"),
                QStringLiteral("Время"), QStringLiteral("Папка"),  QStringLiteral("Спам")}
{
    // A zero interval fires once per event-loop turn, after the events waiting, painting included.
    feed_.setInterval(0);
    connect(&feed_, &QTimer::timeout, this, &TMessageListModel::FeedQueuedRows);
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
    const TMessageRow& row = rows_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return CellText(row, index.column());
    case Qt::CheckStateRole:
        return index.column() == ColNumber ? QVariant(ticks_.at(index.row()) ? Qt::Checked : Qt::Unchecked)
                                           : QVariant();
    case Qt::ToolTipRole:
        return spam_.ToolTip(row);
    case Qt::FontRole:
        if (spam_.Suspected(row)) {
            // Not by colour alone: the whole row is bold and italic.
            QFont font;
            font.setBold(true);
            font.setItalic(true);
            return font;
        }
        return {};
    default:
        return {};
    }
}

bool TMessageListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != ColNumber
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
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
    if (orientation != Qt::Horizontal || (role != Qt::EditRole && role != Qt::DisplayRole) || section < 0
        || section >= ColumnCount)
        return false;
    captions_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

QString TMessageListModel::CellText(const TMessageRow& row, int column) const
{
    switch (column) {
    case ColNumber:
        return TMessageRowTexts::Number(row);
    case ColSubject:
        return row.Subject;
    case ColFrom:
        return row.From;
    case ColMailBox:
        return row.MailBox;
    case ColSize:
        return TMessageRowTexts::Size(row);
    case ColDate:
        return texts_.Date(row);
    case ColTime:
        return texts_.Time(row);
    case ColSpam:
        return spam_.CellText(row);
    default:
        return row.Folder;
    }
}

void TMessageListModel::AppendRows(const QList<TMessageRow>& rows)
{
    InsertRows(rows, 0, rows.size());
}

void TMessageListModel::InsertRows(const QList<TMessageRow>& rows, qsizetype first, qsizetype count)
{
    if (count <= 0)
        return;
    const int at = int(rows_.size());
    beginInsertRows({}, at, at + int(count) - 1);
    if (first == 0 && count == rows.size()) {
        rows_.append(rows);
    } else {
        for (qsizetype i = first; i < first + count; ++i)
            rows_.append(rows.at(i));
    }
    ticks_.resize(rows_.size(), false);
    endInsertRows();
}

void TMessageListModel::QueueRows(const QList<TMessageRow>& rows)
{
    if (rows.isEmpty())
        return;
    queue_.append(rows);
    // Room for every waiting row at once, so the list never grows by doubling (which holds up
    // to twice the rows' room while it copies).
    qsizetype waiting = rows_.size() - queueOffset_;
    for (const QList<TMessageRow>& queued : std::as_const(queue_))
        waiting += queued.size();
    if (rows_.capacity() < waiting)
        rows_.reserve(waiting);
    if (!feed_.isActive())
        feed_.start();
}

void TMessageListModel::FeedQueuedRows()
{
    qsizetype room = FeedRows;
    while (!queue_.isEmpty()) {
        const QList<TMessageRow>& head = queue_.first();
        const qsizetype left = head.size() - queueOffset_;
        // A mailbox that does not fit into what is left of this turn starts the next one.
        if (left > room && room < FeedRows)
            break;
        const qsizetype count = std::min(left, room);
        InsertRows(head, queueOffset_, count);
        room -= count;
        queueOffset_ += count;
        if (queueOffset_ == head.size()) {
            queue_.removeFirst();
            queueOffset_ = 0;
        }
        if (room == 0)
            break;
    }
    if (queue_.isEmpty()) {
        feed_.stop();
        emit Filled();
    }
}

void TMessageListModel::Clear()
{
    beginResetModel();
    rows_.clear();
    ticks_.clear();
    DropQueue();
    endResetModel();
}

void TMessageListModel::ReplaceMailBoxRows(quint64 mailBoxId, int mailBoxIndex, const QList<TMessageRow>& rows)
{
    const auto ofMailBox = [mailBoxId](const TMessageRow& row) { return row.MailBoxId == mailBoxId; };
    auto first = std::find_if(rows_.cbegin(), rows_.cend(), ofMailBox);
    if (first == rows_.cend()) {
        first = std::find_if(rows_.cbegin(), rows_.cend(),
                             [mailBoxIndex](const TMessageRow& row) { return row.MailBoxIndex > mailBoxIndex; });
    }
    const int at = int(first - rows_.cbegin());
    int count = 0;
    QList<TMessageIdentity> ticked;
    while (at + count < rows_.size() && ofMailBox(rows_.at(at + count))) {
        if (ticks_.at(at + count))
            ticked.append(rows_.at(at + count).Id);
        ++count;
    }
    if (count > 0) {
        beginRemoveRows({}, at, at + count - 1);
        rows_.remove(at, count);
        ticks_.remove(at, count);
        endRemoveRows();
    }
    if (rows.isEmpty())
        return;
    beginInsertRows({}, at, at + int(rows.size()) - 1);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        rows_.insert(at + i, rows.at(i));
        ticks_.insert(at + i, ticked.contains(rows.at(i).Id));
    }
    endInsertRows();
}

void TMessageListModel::DropQueue()
{
    queue_.clear();
    queueOffset_ = 0;
    feed_.stop();
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

void TMessageListModel::TickSuspectedSpam()
{
    for (qsizetype i = 0; i < rows_.size(); ++i)
        ticks_[i] = ticks_[i] || spam_.Suspected(rows_.at(i));
    TicksChanged();
}

void TMessageListModel::SetSpamTexts(const TStringTable& strings)
{
    spam_.SetStrings(strings);
    if (!rows_.isEmpty())
        emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, ColumnCount - 1));
}

void TMessageListModel::SetSenderLists(TSenderLists lists)
{
    spam_.SetSenderLists(std::move(lists));
    if (!rows_.isEmpty())
        emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, ColumnCount - 1));
}

void TMessageListModel::InvertTicks()
{
    for (bool& tick : ticks_)
        tick = !tick;
    TicksChanged();
}

QList<TMessageRow> TMessageListModel::TakeTickedRows()
{
    // The list's own storage is handed out with the ticked rows moved to its front, so taking
    // every row of a very long list allocates and copies nothing.
    QList<TMessageRow> out;
    beginResetModel();
    out.swap(rows_);
    qsizetype kept = 0;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (!ticks_[i])
            continue;
        if (kept != i)
            out[kept] = std::move(out[i]);
        ++kept;
    }
    out.resize(kept);
    ticks_.clear();
    DropQueue();
    endResetModel();
    return out;
}

void TMessageListModel::TicksChanged()
{
    if (rows_.isEmpty())
        return;
    emit dataChanged(index(0, ColNumber), index(int(rows_.size()) - 1, ColNumber), {Qt::CheckStateRole});
}

}  // namespace brevio
