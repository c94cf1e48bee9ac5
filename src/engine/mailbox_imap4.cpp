// Checking and deleting one IMAP4 account: every selectable folder, every message in it.

#include "engine/mailbox_client_setup.h"
#include "imap/imap_client.h"
#include "imap/imap_folder_name.h"
#include "net/errors.h"
#include "support/check_context.h"
#include "support/text_format.h"

#include <QSet>

#include <vector>

namespace brevio {

QList<TFoundMessage> CheckImap4(const TMailBoxSettings& box, TCheckContext& context,
                                const TTransportFactory& factory, QString* trustedFingerprint)
{
    const auto log = [&](const QString& text) { LogForHost(context, box.Host, text); };
    // A failed connection, command or the user's abort ends this account's check; what was read
    // so far stays listed. The session logged connection and login failures.
    QList<TFoundMessage> found;
    RunSession<TImap4Client>(box, context, factory, trustedFingerprint, [&](TImap4Client& client) {
        context.SetStatus(Text(context, texts::ConnectedReceivingMessages));

        QList<TImapListEntry> folders;
        try {
            client.ListFolders(folders);
        } catch (const EReplyError&) {
            log(Text(context, texts::FaildToRetriveFolderNames));
            throw;
        }

        for (const TImapListEntry& folder : std::as_const(folders)) {
            // A \Noselect parent or a \NonExistent name holds no messages of its own.
            if (!folder.Selectable())
                continue;
            try {
                client.SelectFolder(folder.Name);
            } catch (const EReplyError&) {
                // One folder the server will not open must not hide the others.
                log(Text(context, texts::ErrorSelecting) + client.FolderDisplayName(folder.Name));
                continue;
            }
            const TImapFolderInfo& info = client.SelectedMailBox();
            const qint32 count = info.TotalMessages;
            const quint32 uidValidity = info.UidValidity;
            for (qint32 i = 1; i <= count; ++i) {
                TFoundMessage message;
                QByteArray uid;
                client.MessageUid(i, uid);
                client.FetchHeaderByUid(uid, message.Message);
                message.Message.Folder = folder.Name;
                message.Message.Size = client.FetchSizeByUid(uid);
                message.Message.Uid = uid.toUInt();
                message.Message.UidValidity = uidValidity;
                message.Id = {folder.Name, uidValidity, message.Message.Uid, {}, i};
                if (client.Utf8Enabled())
                    message.FolderEncoding = TImapNameEncoding::Utf8;
                context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {i, count}));
                found.append(std::move(message));
                // Escape is honoured between messages, so a big folder can be left at once.
                context.Yield();
            }
        }
    });
    context.SetStatus(QString());
    return found;
}

namespace {

// The messages to delete in one folder. Numbers and Uids run in parallel, in the given order; a
// Uid of 0 means the UID was not known at the listing.
struct TFolderDeletes {
    QByteArray Name;  // exactly as the server listed it
    QList<qint32> Numbers;
    QList<quint32> Uids;
    quint32 UidValidity = 0;  // the folder's UIDVALIDITY when the UIDs were seen; 0 when unknown
};

// The UIDs the messages at these sequence numbers have now; numbers the server gives no UID for
// are left out.
QList<quint32> CurrentUids(TImap4Client& client, const QList<qint32>& numbers)
{
    QList<quint32> uids;
    for (qint32 number : numbers) {
        QByteArray uid;
        if (client.MessageUid(number, uid))
            uids.append(uid.toUInt());
    }
    return uids;
}

// One entry per folder (compared byte for byte), in order of first appearance.
std::vector<TFolderDeletes> GroupByFolder(const QList<TMessageIdentity>& messages)
{
    std::vector<TFolderDeletes> folders;
    for (const TMessageIdentity& id : messages) {
        auto entry = std::find_if(folders.begin(), folders.end(),
                                  [&](const TFolderDeletes& f) { return f.Name == id.Folder; });
        if (entry == folders.end())
            entry = folders.insert(folders.end(), TFolderDeletes{id.Folder, {}, {}, 0});
        entry->Numbers.append(id.Number);
        entry->Uids.append(id.Uid);
        if (id.UidValidity != 0)
            entry->UidValidity = id.UidValidity;
    }
    return folders;
}

}  // namespace

TImapCommandResult ExpungeOnlyOurs(TImap4Client& client, const QList<quint32>& ours, const QString& folder,
                                   TCheckContext& context, const QString& host)
{
    if (client.HasCapability("UIDPLUS"))
        return client.UidExpunge(ours);
    QList<quint32> marked;
    const TImapCommandResult search = client.UidSearchDeleted(marked);
    if (!search)
        return search;
    // The marks of other programs, each once, in the order the server gave them.
    QSet<quint32> seen(ours.cbegin(), ours.cend());
    QList<quint32> foreign;
    for (quint32 uid : std::as_const(marked)) {
        if (!seen.contains(uid)) {
            seen.insert(uid);
            foreign.append(uid);
        }
    }
    if (foreign.isEmpty())
        return client.ExpungeFolder();
    // No yield from here on: an abort between taking the marks off and putting them back would
    // leave the other program's choice undone.
    const TImapCommandResult unmarked = client.UidStoreUndeleted(foreign);
    if (!unmarked)
        return unmarked;
    TImapCommandResult expunged;
    QByteArray expungeRefusal;
    try {
        expunged = client.ExpungeFolder();
    } catch (const EReplyError& e) {
        // The marks go back on before the refusal is told.
        expungeRefusal = e.Message().toUtf8();
    }
    // A UID that no longer exists is ignored by UID STORE (RFC 3501 §6.4.8): no need to find out
    // which of them are still there.
    const TImapCommandResult remarked = client.UidStoreDeleted(foreign);
    if (remarked) {
        LogForHost(context, host,
                   FormatText(Text(context, texts::ForeignDeleteMarksKept), {folder, qint64(foreign.size())}));
    } else {
        LogForHost(context, host,
                   QStringLiteral("Folder %1: %2 message(s) another program marked for deletion were kept, but "
                                  "their marks could not be set again: %3")
                       .arg(folder, QString::number(foreign.size()), QString::fromUtf8(remarked.Text).simplified()));
    }
    if (!expungeRefusal.isEmpty())
        return {false, expungeRefusal};
    return expunged;
}

void DeleteImap4(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context,
                 const TTransportFactory& factory, QString* trustedFingerprint)
{
    const std::vector<TFolderDeletes> folders = GroupByFolder(messages);
    const auto log = [&](const QString& text) { LogForHost(context, box.Host, text); };
    // A failed connection ends the deletion; folders done before it stay done.
    RunSession<TImap4Client>(box, context, factory, trustedFingerprint, [&](TImap4Client& client) {
        for (const TFolderDeletes& entry : folders) {
            const QString displayName = client.FolderDisplayName(entry.Name);
            context.SetStatus(FormatText(Text(context, texts::DeleteMessagesFromFolder), {displayName}));
            context.Yield();
            try {
                client.SelectFolder(entry.Name);
            } catch (const EReplyError&) {
                log(Text(context, texts::ErrorSelecting) + displayName);
                continue;
            }
            context.Yield();

            // Sequence numbers only hold for one session; UIDs hold as long as the folder's
            // UIDVALIDITY does. Delete by UID whenever the listing saw every UID.
            const bool byUid = !entry.Uids.isEmpty() && !entry.Uids.contains(0u);
            if (byUid) {
                const quint32 current = client.SelectedMailBox().UidValidity;
                if (entry.UidValidity != 0 && current != entry.UidValidity) {
                    log(QStringLiteral("Folder %1 was rebuilt on the server since the check; "
                                       "nothing was deleted in it.").arg(displayName));
                    continue;
                }
            }
            // A refused STORE or EXPUNGE leaves this folder's messages on the server: say so, and
            // go on with the next folder.
            bool deleted = false;
            QByteArray refusal;
            try {
                TImapCommandResult result =
                    byUid ? client.UidStoreDeleted(entry.Uids) : client.DeleteMessages(entry.Numbers);
                refusal = result.Text;
                if (result) {
                    context.Yield();
                    result = ExpungeOnlyOurs(client, byUid ? entry.Uids : CurrentUids(client, entry.Numbers),
                                             displayName, context, box.Host);
                    refusal = result.Text;
                    deleted = result.Done;
                }
            } catch (const EReplyError& e) {
                refusal = e.Message().toUtf8();
            }
            if (!deleted)
                log(QStringLiteral("Messages in folder %1 were not deleted: %2")
                        .arg(displayName, QString::fromUtf8(refusal).simplified()));
        }
    });
}

}  // namespace brevio
