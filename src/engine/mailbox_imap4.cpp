// Checking and deleting one IMAP4 account: every selectable folder, every message in it.

#include "support/check_context.h"
#include "engine/mailbox.h"
#include "engine/mailbox_client_setup.h"
#include "net/errors.h"
#include "imap/imap_client.h"
#include "imap/imap_folder_name.h"
#include "support/text_format.h"

namespace brevio {

void TMailBox::CheckIMAP4(TCheckContext& context, const TTransportFactory& factory)
{
    TImap4Client client(factory);
    ConfigureClient(*this, context, client);
    const auto log = [&](const QString& text) { LogForHost(context, Host, text); };
    try {
        ConnectWithProgress(context, *this, client);
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
                log(Text(context, texts::ErrorSelecting) + DecodeImapFolderName(folder.Name));
                continue;
            }
            const TImapFolderInfo& info = client.SelectedMailBox();
            const qint32 count = info.TotalMessages;
            const quint32 uidValidity = info.UidValidity;
            for (qint32 i = 1; i <= count; ++i) {
                auto message = std::make_unique<TMailMessage>();
                QByteArray uid;
                client.MessageUid(i, uid);
                client.FetchHeaderByUid(uid, *message);
                message->Folder = folder.Name;
                message->Size = client.FetchSizeByUid(uid);
                message->Uid = uid.toUInt();
                message->UidValidity = uidValidity;
                context.SetStatus(FormatText(Text(context, texts::RetrievedMessageHeader), {i, count}));
                AddMessage(std::move(message), i);
                // Escape is honoured between messages, so a big folder can be left at once.
                context.Yield();
            }
        }
    } catch (...) {
        // A failed connection, command or the user's abort ends this account's check; what was
        // read so far stays listed. The client logged connection and login failures.
    }
    DisconnectQuietly(client);
    context.SetStatus(QString());
}

void TMailBox::DeleteIMAP4(TCheckContext& context, const TTransportFactory& factory)
{
    if (FolderDeletes.empty()) {
        ClearDeletionMarks();
        return;
    }

    TImap4Client client(factory);
    ConfigureClient(*this, context, client);
    const auto log = [&](const QString& text) { LogForHost(context, Host, text); };
    try {
        ConnectWithProgress(context, *this, client);

        for (const TMailBoxFolder& entry : FolderDeletes) {
            const QString displayName = DecodeImapFolderName(entry.Name);
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
            // UIDVALIDITY does. Delete by UID whenever the check saw every UID.
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
                    result = byUid ? client.UidExpunge(entry.Uids) : client.ExpungeFolder();
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
    } catch (...) {
        // A failed connection ends the deletion; folders done before it stay done.
    }
    DisconnectQuietly(client);
    ClearDeletionMarks();
}

}  // namespace brevio
