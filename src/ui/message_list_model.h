#pragma once
// The main window's message list as a table: one row per message of every mailbox, nine text
// columns (the last one, Spam, drawn by TSpamColumn), and a tick in the first column that marks
// the message for deletion. Suspected spam is drawn bold and italic; each row's tool tip tells
// what the servers said about it. Rows arrive a
// mailbox at a time while a check goes, each mailbox in one insertion; a very large mailbox is
// cut into pieces taken one per event-loop turn, so a very long list shows without a stall.

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QTimer>

#include "engine/check_run.h"
#include "ui/spam_column.h"

namespace brevio {

class TMessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn {
        ColNumber,
        ColSubject,
        ColFrom,
        ColMailBox,
        ColSize,
        ColDate,
        ColTime,
        ColFolder,
        ColSpam,
        ColumnCount
    };

    explicit TMessageListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Only the tick (Qt::CheckStateRole of the first column) can be changed.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Column captions come from the language file.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

    // At most this many rows go into the list in one event-loop turn.
    static constexpr qsizetype FeedRows = 4000;

    // Appends one mailbox's rows, unticked, in one insertion, at once.
    void AppendRows(const QList<TMessageRow>& rows);
    // Queues one mailbox's rows, unticked, behind those still waiting. They go in from the event
    // loop: whole mailboxes, each in one insertion, as long as a turn's rows stay within
    // FeedRows; a larger mailbox goes in FeedRows rows per turn. Filled() follows the last row.
    void QueueRows(const QList<TMessageRow>& rows);
    // Puts `rows` in place of the rows of the mailbox with `mailBoxId` (at `mailBoxIndex` of the
    // list), where its rows were, else before the rows of the mailboxes after it. A message still
    // listed keeps its tick. Only while nothing is queued.
    void ReplaceMailBoxRows(quint64 mailBoxId, int mailBoxIndex, const QList<TMessageRow>& rows);
    // Rows are still queued.
    bool IsFilling() const { return !queue_.isEmpty(); }
    // Empties the list, including what is still queued, in one reset.
    void Clear();

    const TMessageRow& Row(int row) const { return rows_.at(row); }
    bool IsTicked(int row) const { return ticks_.at(row); }
    void SetTicked(int row, bool ticked);
    void ToggleTick(int row);
    // Each of these changes every row's tick and reports it as one change of the first column.
    void TickAll();
    void UntickAll();
    void InvertTicks();
    // Ticks every suspected row (TSpamColumn::Suspected), leaving the other ticks as they are.
    void TickSuspectedSpam();

    const TSpamColumn& SpamColumn() const { return spam_; }
    // The texts and sender lists the Spam column draws with; every row is drawn again.
    void SetSpamTexts(const TStringTable& strings);
    void SetSenderLists(TSenderLists lists);
    // Moves the ticked rows out, in list order, and empties the list like Clear.
    QList<TMessageRow> TakeTickedRows();

signals:
    // The last queued row is in the list.
    void Filled();

private:
    void TicksChanged();
    void InsertRows(const QList<TMessageRow>& rows, qsizetype first, qsizetype count);
    void FeedQueuedRows();
    void DropQueue();

    // The texts of the cells that are not kept in the row.
    QString CellText(const TMessageRow& row, int column) const;

    QList<TMessageRow> rows_;
    TMessageRowTexts texts_;
    QList<bool> ticks_;
    QStringList captions_;
    TSpamColumn spam_;
    // Mailboxes waiting to go in; the first one's rows before queueOffset_ are in already.
    QList<QList<TMessageRow>> queue_;
    qsizetype queueOffset_ = 0;
    QTimer feed_;
};

}  // namespace brevio
