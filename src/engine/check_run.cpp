#include "engine/check_run.h"

#include "engine/mailbox_list.h"
#include "imap/imap_folder_name.h"
#include "support/abort_signal.h"
#include "support/check_context.h"

#include <algorithm>

namespace brevio {

QList<int> MailBoxesOfRun(const TMailBoxList& list, TRunKind kind, int mailBoxIndex)
{
    QList<int> indexes;
    for (int i = 0; i < list.Count(); ++i) {
        const TMailBox* box = list.Items(i);
        switch (kind) {
        case TRunKind::CheckAll:
            if (!box->IgnoreCheckAllCommand)
                indexes.append(i);
            break;
        case TRunKind::Scheduled:
            if (!box->IgnoreCheckOnSchedule)
                indexes.append(i);
            break;
        case TRunKind::CheckOne:
            if (i == mailBoxIndex)
                indexes.append(i);
            break;
        case TRunKind::DeleteMarked:
            indexes.append(i);
            break;
        }
    }
    return indexes;
}

namespace {

// An abort request (Escape) ends one mailbox only: the next one starts with a clean slate.
void StartNextMailBox(TCheckContext& context)
{
    if (TAbortSignal* abort = context.Abort())
        abort->Reset();
}

}  // namespace

void CheckMailBoxes(TMailBoxList& list, const QList<int>& indexes, TCheckContext& context,
                    const TTransportFactory& factory)
{
    list.ClearMessages();
    QList<int> ordered = indexes;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    for (int index : std::as_const(ordered)) {
        if (index < 0 || index >= list.Count())
            continue;
        StartNextMailBox(context);
        list.Items(index)->Check(context, factory);
    }
}

TRunResult ExecuteRun(TMailBoxList& list, TRunKind kind, TCheckContext& context, int mailBoxIndex,
                      const QLocale& locale, const TTransportFactory& factory)
{
    TRunResult result;
    result.Kind = kind;
    const QList<int> indexes = MailBoxesOfRun(list, kind, mailBoxIndex);
    if (kind == TRunKind::DeleteMarked) {
        for (int index : indexes) {
            StartNextMailBox(context);
            list.Items(index)->DeleteMarked(context, factory);
        }
        return result;
    }
    CheckMailBoxes(list, indexes, context, factory);
    result.Rows = BuildMessageRows(list, locale);
    return result;
}

QList<TMessageRow> BuildMessageRows(const TMailBoxList& list, const QLocale& locale)
{
    QList<TMessageRow> rows;
    for (int b = 0; b < list.Count(); ++b) {
        const TMailBox* box = list.Items(b);
        for (int m = 0; m < box->MessageCount(); ++m) {
            const TMailMessage& message = *box->MessageAt(m).Message;
            TMessageRow row;
            row.MailBoxIndex = b;
            row.MessageIndex = m;
            row.Number = QString::number(m + 1);
            row.Subject = message.Subject;
            row.From = message.From.Text();
            row.MailBox = box->Name;
            row.Size = QString::number(message.Size);
            row.SizeBytes = std::max<qint64>(0, message.Size);
            if (message.Date.isValid()) {
                row.Date = locale.toString(message.Date.date(), QLocale::ShortFormat);
                row.Time = locale.toString(message.Date.time(), QLocale::LongFormat);
            }
            row.Folder = DecodeImapFolderName(message.Folder);
            rows.append(row);
        }
    }
    return rows;
}

bool MarkRowForDeletion(TMailBoxList& list, const TMessageRow& row)
{
    if (row.MailBoxIndex < 0 || row.MailBoxIndex >= list.Count())
        return false;
    TMailBox* box = list.Items(row.MailBoxIndex);
    if (row.MessageIndex < 0 || row.MessageIndex >= box->MessageCount())
        return false;
    const TMessageEntry& entry = box->MessageAt(row.MessageIndex);
    const TMailMessage& message = *entry.Message;
    if (box->Protocol == TMailProtocol::POP3)
        box->MarkPopForDeletion(entry.Number, message.UniqueId);
    else
        box->MarkForDeletion(entry.Number, message.Folder, message.Uid, message.UidValidity);
    return true;
}

}  // namespace brevio
