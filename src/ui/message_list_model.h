#pragma once
// The main window's message list as a table: one row per message of every mailbox, eight text
// columns, and a tick in the first column that marks the message for deletion. Rows arrive a
// mailbox at a time, each mailbox in one insertion, so a very long list shows without a stall.

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include "engine/check_run.h"

namespace brevio {

class TMessageListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { ColNumber, ColSubject, ColFrom, ColMailBox, ColSize, ColDate, ColTime, ColFolder, ColumnCount };

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

    // Appends one mailbox's rows, unticked, in one insertion.
    void AppendRows(const QList<TMessageRow>& rows);
    void Clear();

    const TMessageRow& Row(int row) const { return rows_.at(row); }
    bool IsTicked(int row) const { return ticks_.at(row); }
    void SetTicked(int row, bool ticked);
    void ToggleTick(int row);
    // Each of these changes every row's tick and reports it as one change of the first column.
    void TickAll();
    void UntickAll();
    void InvertTicks();
    // The ticked rows, in list order.
    QList<TMessageRow> TickedRows() const;

private:
    void TicksChanged();

    QList<TMessageRow> rows_;
    QList<bool> ticks_;
    QStringList captions_;
};

}  // namespace brevio
