#include "support/string_table.h"

namespace brevio {

namespace {

constexpr TTextKey kTextKeys[texts::TextCount] = {
    {"NewMailBoxName", "Новый ящик"},
    {"NumberNewMessages", "%d new message(s)"},
    {"ClickHere", "Click here to view these messages"},
    {"CannotRunEmaiClient",
     "Can not run default email client. Please specify path to the email-client executable."},
    {"ConnectingToPOP3server", "Connecting to server (%s)..."},
    {"ConnectedReceivingMessages", "Connected. Receiving messages..."},
    {"NewMessageInMailbox", "%d new message(s) in mailbox"},
    {"RetrievedMessageHeader", "Retrieved message header %d from %d"},
    {"DeleteMessage", "Delete message %d from %d"},
    {"DeleteMessagesFromFolder", "Delete message(s) from folder %s"},
    {"AbortedByUser", "Aborted by user"},
    {"ErrorOcurres", "Some Errors occures. Click here for details."},
    {"NothingToDelete", "Nothing to delete…"},
    {"LastCheck", "%s v%s - last check at %s"},
    {"FaildToRetriveFolderNames", "Failed to retrieve folder names!"},
    {"ErrorSelecting", "Error selecting "},
    // Beyond the sixteen classic texts: what a check with no mailbox configured says, what the
    // status line says when the window cannot go to the tray, and when a help topic is missing.
    {"NoMailBoxes", "No mailboxes yet: File, Arrange Mailboxes… (Ctrl+L)"},
    // An expunge on a server without UIDPLUS kept what another program had marked deleted.
    {"ForeignDeleteMarksKept",
     "Folder %s: %d message(s) another program marked for deletion were kept and marked again"},
    // What the status line says when a help topic cannot be shown, with the topic's file.
    {"HelpTopicMissing", "The help topic %s is missing."},
    {"HelpTopicNotOpened", "The help topic %s cannot be opened: no program to show web pages was found."},
    {"NoSystemTray", "No system tray on this desktop: the window stays on the taskbar."},
    // Ticked rows whose mailbox was changed or removed in the mailbox editor since they were
    // listed: their message numbers may name other mail now, so they are not deleted.
    {"MailBoxChangedNotDeleted",
     "%d ticked message(s) were not deleted: their mailbox was changed since they were listed"},
    {"SecretStoreLocked", "secret store locked"},
    {"SecretStoreFailed", "The password cannot be read from the secret store: %s"},
    {"SecretStoreUnreachable", "No secret store can be reached (%s): passwords kept there are asked for"},
    {"PasswordsNotMoved", "The passwords were not moved into the secret store: %s"},
    {"SecretStoreNoSession", "no D-Bus session"},
    {"SecretStoreNoService", "no secret store answers on the session bus"},
    {"SecretStoreNoAnswer", "the secret store did not answer in time"},
    {"SecretNotFound", "the secret store holds no password for this mailbox"},
    {"SecretReadBackDiffers", "the secret store gave back another password than it was given"},
    {"SecretFileDiffers", "the settings file does not hold the passwords it was given"},
};

}  // namespace

const TTextKey& TextKey(texts::TTextId id) { return kTextKeys[id]; }

TStringTable::TStringTable()
{
    values_.reserve(texts::TextCount);
    for (const TTextKey& key : kTextKeys)
        values_.append(QString::fromUtf8(key.BuiltIn));
}

std::optional<texts::TTextId> TStringTable::FindKey(const QString& key)
{
    for (int i = 0; i < texts::TextCount; ++i)
        if (key.compare(QLatin1String(kTextKeys[i].Key), Qt::CaseInsensitive) == 0)
            return texts::TTextId(i);
    return std::nullopt;
}

void TStringTable::Set(const QString& key, const QString& text)
{
    if (const std::optional<texts::TTextId> id = FindKey(key))
        values_[*id] = text;
}

}  // namespace brevio
