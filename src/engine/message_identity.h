#pragma once
// What names one message on its server between a listing and a later deletion, and a message
// as a check found it.

#include "imap/imap_folder_name.h"
#include "mime/mail_message.h"

#include <QByteArray>

namespace brevio {

// IMAP4: the folder as the server names it, its UIDVALIDITY, the message's UID and its sequence
// number at the listing. POP3: the unique id from UIDL and the message number at the listing.
// Numbers hold for one session only; the ids are what a deletion trusts when it has them.
struct TMessageIdentity {
    QByteArray Folder;
    quint32 UidValidity = 0;  // 0: unknown
    quint32 Uid = 0;          // 0: unknown
    QByteArray UniqueId;      // empty: the server gave none
    qint32 Number = 0;

    bool operator==(const TMessageIdentity&) const = default;
};

// Where it lies is kept once, in the message's Folder, UidValidity, Uid and UniqueId, with the
// number it had at the listing beside them: a big listing holds many of these.
struct TFoundMessage {
    TListedHeader Message;
    qint32 Number = 0;  // the message's number at the listing (IMAP4: its sequence number)
    // How Id.Folder is to be read for showing: UTF-8 once the session enabled UTF8=ACCEPT.
    TImapNameEncoding FolderEncoding = TImapNameEncoding::ModifiedUtf7;

    TMessageIdentity Id() const
    {
        return {Message.Folder, Message.UidValidity, Message.Uid, Message.UniqueId, Number};
    }
};

}  // namespace brevio
