#pragma once
// One configured mailbox: its settings, the messages its last check found and the messages marked
// for deletion in it.

#include "engine/mailbox_settings.h"
#include "mime/mail_message.h"
#include "net/line_channel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace brevio {

class TCheckContext;

// The deletion marks of one IMAP4 folder. Numbers and Uids run in parallel (one entry per mark,
// in marking order); a Uid of 0 means the UID was not known when the message was marked.
struct TMailBoxFolder {
    QByteArray Name;  // exactly as the server listed it
    QList<qint32> Numbers;
    QList<quint32> Uids;
    quint32 UidValidity = 0;  // the folder's UIDVALIDITY when the UIDs were seen; 0 when unknown
};

// A message found by a check, with the number the server gave it during that check (POP3: the
// message number; IMAP4: the sequence number within the message's folder).
struct TMessageEntry {
    std::unique_ptr<TMailMessage> Message;
    qint32 Number = 0;
};

class TMailBox : public TMailBoxSettings {
public:
    TMailBox() = default;
    TMailBox(const TMailBox&) = delete;
    TMailBox& operator=(const TMailBox&) = delete;

    // POP3 deletion marks, in marking order; PopDeleteUniqueIds runs in parallel (empty when the
    // message's unique id was not known).
    QList<qint32> PopDeleteNumbers;
    QList<QByteArray> PopDeleteUniqueIds;
    // IMAP4 deletion marks, one entry per folder in order of first marking.
    std::vector<TMailBoxFolder> FolderDeletes;

    // Copies the settings (not the messages or the marks) of `source`.
    void Assign(const TMailBox& source);

    // Marks message `number`: for POP3 `folder` is not used; for IMAP4 the mark goes to the entry
    // of that folder (compared byte for byte), created on first use. Marking twice records twice.
    void MarkForDeletion(qint32 number, const QByteArray& folder);
    // The same, recording the message's IMAP4 UID and its folder's UIDVALIDITY beside the number.
    void MarkForDeletion(qint32 number, const QByteArray& folder, quint32 uid, quint32 uidValidity);
    // A POP3 mark that carries the message's unique id from UIDL.
    void MarkPopForDeletion(qint32 number, const QByteArray& uniqueId);
    // Drops every deletion mark.
    void ClearDeletionMarks();
    bool HasDeletionMarks() const;

    // The messages of the last check, in server order.
    int MessageCount() const { return int(messages_.size()); }
    TMessageEntry& MessageAt(int index) { return messages_.at(std::size_t(index)); }
    const TMessageEntry& MessageAt(int index) const { return messages_.at(std::size_t(index)); }
    void AddMessage(std::unique_ptr<TMailMessage> message, qint32 number);
    void ClearMessages() { messages_.clear(); }

    // Empties Messages, then reads what the server holds now (POP3 or IMAP4 by Protocol).
    // Never raises: failures end this mailbox's check inside, logged where the user must know.
    // `factory` makes the connection's transport; empty: a real socket.
    void Check(TCheckContext& context, const TTransportFactory& factory = {});
    // Deletes the marked messages on the server and drops the marks. Never raises.
    void DeleteMarked(TCheckContext& context, const TTransportFactory& factory = {});

    void CheckPOP3(TCheckContext& context, const TTransportFactory& factory);
    void DeletePOP3(TCheckContext& context, const TTransportFactory& factory);
    void CheckIMAP4(TCheckContext& context, const TTransportFactory& factory);
    void DeleteIMAP4(TCheckContext& context, const TTransportFactory& factory);

private:
    TMailBoxFolder& FolderEntry(const QByteArray& folder);

    std::vector<TMessageEntry> messages_;
};

}  // namespace brevio
