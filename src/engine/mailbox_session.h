#pragma once
// One mailbox's conversation with its server: a check that lists what lies there, and a
// deletion of messages named by identity. Both work on a copy of the settings and touch nothing
// else, so they can run on any thread.

#include "engine/mailbox_settings.h"
#include "engine/message_identity.h"
#include "net/line_channel.h"

#include <QList>
#include <QString>

namespace brevio {

class TCheckContext;

// Reads what the server holds now (POP3 or IMAP4 by Protocol), in server order. Never raises:
// a failure or the user's abort ends the check, and what was read before it is returned;
// failures are logged where the user must know. `factory` makes the connection's transport
// (empty: a real socket). When the user trusted the server's certificate during the session,
// `trustedFingerprint` (when given) receives its fingerprint. `complete` (when given) says
// whether the check listed everything: false after any failure, a folder that would not open
// or the user's abort.
QList<TFoundMessage> CheckMailBox(const TMailBoxSettings& settings, TCheckContext& context,
                                  const TTransportFactory& factory = {}, QString* trustedFingerprint = nullptr,
                                  bool* complete = nullptr);

// Deletes `messages` on the server, in the given order. POP3 finds each message by its unique
// id under its current number (by its listed number only when it has no id); IMAP4 works folder
// by folder in order of first appearance, by UID when every UID of the folder is known (and its
// UIDVALIDITY still holds), else by sequence number. Never raises; refusals are logged. Connects
// only when there is something to delete.
void DeleteMessages(const TMailBoxSettings& settings, const QList<TMessageIdentity>& messages, TCheckContext& context,
                    const TTransportFactory& factory = {}, QString* trustedFingerprint = nullptr);

}  // namespace brevio
