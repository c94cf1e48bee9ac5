// The IMAP4 half of deleting: the ticked messages folder by folder, by UID where the listing saw
// every UID, and an expunge that removes only what this program marked.

#include "engine/mailbox_client_setup.h"
#include "imap/imap_client.h"
#include "net/errors.h"
#include "engine/check_context.h"
#include "support/text_format.h"

#include <QSet>

#include <optional>
#include <vector>

namespace brevio {

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
        auto entry =
            std::find_if(folders.begin(), folders.end(), [&](const TFolderDeletes& f) { return f.Name == id.Folder; });
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
    TImapCommandResult search = client.UidSearchDeleted(marked);
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
    TImapCommandResult unmarked = client.UidStoreUndeleted(foreign);
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
                   FormatText(Text(context, texts::ForeignDeleteMarksLost),
                              {folder, qint64(foreign.size()), QString::fromUtf8(remarked.Text).simplified()}));
    }
    if (!expungeRefusal.isEmpty())
        return {false, expungeRefusal};
    return expunged;
}

namespace {

// Marks the folder's messages \Deleted and expunges them: by UID when `byUid`, in one burst when
// the server takes it, else by sequence number. Empty when they are gone; otherwise what the
// server said when it refused.
std::optional<QByteArray> DeleteInSelectedFolder(TImap4Client& client, TCheckContext& context,
                                                 const TMailBoxSettings& box, const TFolderDeletes& entry, bool byUid,
                                                 const QString& displayName)
{
    bool deleted = false;
    QByteArray refusal;
    try {
        // With UIDPLUS the expunge touches only our UIDs, so both go in one burst.
        const bool burst = byUid && context.Pipelining() && client.HasCapability("UIDPLUS");
        TImapCommandResult result = burst ? client.UidDeleteBurst(entry.Uids)
            : byUid                       ? client.UidStoreDeleted(entry.Uids)
                                          : client.MarkDeleted(entry.Numbers);
        refusal = result.Text;
        deleted = burst && result.Done;
        if (result && !burst) {
            context.ThrowIfAborted();
            result = ExpungeOnlyOurs(client, byUid ? entry.Uids : CurrentUids(client, entry.Numbers), displayName,
                                     context, box.Host);
            refusal = result.Text;
            deleted = result.Done;
        }
    } catch (const EReplyError& e) {
        refusal = e.Message().toUtf8();
    }
    if (deleted)
        return std::nullopt;
    return refusal;
}

// Selects the folder and deletes its messages there. A folder the server will not select, or
// one rebuilt since the check, is left alone with a line in the log.
void DeleteInFolder(TImap4Client& client, TCheckContext& context, const TMailBoxSettings& box,
                    const TFolderDeletes& entry)
{
    const auto log = [&](const QString& text) { LogForHost(context, box.Host, text); };
    const QString displayName = client.FolderDisplayName(entry.Name);
    context.SetStatus(FormatText(Text(context, texts::DeleteMessagesFromFolder), {displayName}));
    context.ThrowIfAborted();
    try {
        client.SelectFolder(entry.Name);
    } catch (const EReplyError&) {
        log(Text(context, texts::ErrorSelecting) + displayName);
        return;
    }
    context.ThrowIfAborted();

    // Sequence numbers only hold for one session; UIDs hold as long as the folder's
    // UIDVALIDITY does. Delete by UID whenever the listing saw every UID.
    const bool byUid = !entry.Uids.isEmpty() && !entry.Uids.contains(0u);
    if (byUid) {
        const quint32 current = client.SelectedMailBox().UidValidity;
        if (entry.UidValidity != 0 && current != entry.UidValidity) {
            log(FormatText(Text(context, texts::FolderRebuiltNotDeleted), {displayName}));
            return;
        }
    }
    // A refused STORE or EXPUNGE leaves this folder's messages on the server: say so, and go on
    // with the next folder.
    if (const std::optional<QByteArray> refusal =
            DeleteInSelectedFolder(client, context, box, entry, byUid, displayName))
        log(FormatText(Text(context, texts::FolderNotDeleted),
                       {displayName, QString::fromUtf8(*refusal).simplified()}));
}

}  // namespace

void DeleteImap4(const TMailBoxSettings& box, const QList<TMessageIdentity>& messages, TCheckContext& context,
                 const TTransportFactory& factory, QString* trustedFingerprint)
{
    const std::vector<TFolderDeletes> folders = GroupByFolder(messages);
    // A failed connection ends the deletion; folders done before it stay done.
    RunSession<TImap4Client>(box, context, factory, trustedFingerprint, [&](TImap4Client& client) {
        for (const TFolderDeletes& entry : folders)
            DeleteInFolder(client, context, box, entry);
    });
}

}  // namespace brevio
