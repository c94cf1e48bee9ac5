// The folder commands of TImap4Client: LIST, and SELECT or EXAMINE of one folder, with the
// folder names as the user reads them.

#include "imap/imap_client.h"

#include "imap/imap_folder_name.h"
#include "net/errors.h"
#include "net/protocol_limits.h"

namespace brevio {

namespace {

using State = TImapConnectionState;
using Code = TImapReplyCode;

}  // namespace

QString TImap4Client::FolderDisplayName(const QByteArray& name) const
{
    return DecodeImapFolderName(name, utf8_ ? TImapNameEncoding::Utf8 : TImapNameEncoding::ModifiedUtf7);
}

bool TImap4Client::ListFolders(QList<TImapListEntry>& folders)
{
    RequireState({State::Authenticated, State::Selected});
    QList<TImapListEntry> listed;
    qsizetype total = 0;
    Command("LIST", {TImapArgument::Raw("\"\""), TImapArgument::Raw("*")}, {Code::Ok}, [&](const QByteArray& response) {
        std::optional<TImapListEntry> entry = ParseListResponse(response);
        if (!entry)
            return false;
        // The folders are one reply and held at once: the same bound as any reply.
        total += response.size() + 2;
        if (total > kMaxReplyBytes)
            throw ELineTooLong();
        listed.append(std::move(*entry));
        return true;
    });
    for (const TImapListEntry& entry : listed) {
        if (!entry.Delimiter.isEmpty())
            separator_ = entry.Delimiter;
    }
    folders = listed;
    return true;
}

bool TImap4Client::SelectFolder(const QByteArray& name, const std::function<void()>& whileServerWorks)
{
    return OpenFolder("SELECT", name, whileServerWorks);
}

bool TImap4Client::ExamineFolder(const QByteArray& name)
{
    return OpenFolder("EXAMINE", name);
}

bool TImap4Client::OpenFolder(const QByteArray& verb, const QByteArray& name,
                              const std::function<void()>& whileServerWorks)
{
    RequireState({State::Authenticated, State::Selected});
    TImapFolderInfo info;
    TReply reply;
    try {
        reply = Command(
            verb, {TImapArgument::String(name)}, {Code::Ok},
            [&info](const QByteArray& response) {
                ApplySelectResponse(info, response);
                return false;
            },
            whileServerWorks);
    } catch (const EMailClientError&) {
        // RFC 3501 §6.3.1: a failed SELECT leaves no folder selected; a reply that could not be
        // understood leaves the folder unknown.
        if (state_ == State::Selected)
            state_ = State::Authenticated;
        selected_ = TImapFolderInfo();
        throw;
    }
    ApplySelectResponse(info, "OK " + reply.Text.value(reply.Text.size() - 1));
    info.Name = name;
    selected_ = info;
    state_ = State::Selected;
    return true;
}

}  // namespace brevio
