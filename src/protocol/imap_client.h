#pragma once
// The IMAP4 client (RFC 3501): logs in (optionally after STARTTLS, RFC 2595), lists and selects
// folders, fetches UIDs, flags, headers and sizes, marks messages deleted and expunges. Replies
// are read response by response with literals taken by their byte count; what they mean is
// worked out by the pure readers of imap_response_parser.h.

#include "protocol/imap_command.h"
#include "protocol/imap_response_parser.h"
#include "protocol/imap_types.h"
#include "protocol/message_client.h"

#include <functional>
#include <optional>

namespace brevio {

enum class TImapConnectionState { Any, NonAuthenticated, Authenticated, Selected, UnexpectedlyDisconnected };

// The state's name in messages ("Non Authenticated", ...; empty for UnexpectedlyDisconnected).
QString ImapStateName(TImapConnectionState state);

class TImap4Client : public TMessageClient {
public:
    // Reply codes of the IMAP4 readers.
    static constexpr int kOk = 1;
    static constexpr int kNo = 2;
    static constexpr int kBad = 3;
    static constexpr int kPreAuth = 4;
    static constexpr int kBye = 5;
    static constexpr int kContinuation = 6;

    // Called with every untagged response (without "* "); returns true when it took the
    // response, which then stays out of LastReply.Text.
    using TUntaggedHandler = std::function<bool(const QByteArray& response)>;

    TImap4Client(TCheckContext& context, TTransportFactory factory);
    ~TImap4Client() override;

    // Connects, reads the greeting (OK or PREAUTH), secures the connection when Security asks
    // for it, and logs in. A refused login is logged; a scheduled check then returns with the
    // state Non Authenticated, otherwise the user is asked for new credentials (cancel raises
    // EAbort). Connection, greeting and TLS failures are logged and raised.
    void Connect();
    // LOGOUT, then closes whatever happened. Raises ESocketClosed when not connected.
    void Disconnect() override;

    TImapConnectionState ConnectionState() const { return state_; }
    const TImapFolderInfo& SelectedMailBox() const { return selected_; }
    QByteArray MailBoxSeparator() const { return separator_; }
    // The tag of the last command ("C7").
    QByteArray CurrentTag() const { return "C" + QByteArray::number(commandCounter_); }

    // CAPABILITY; kept until the connection is secured, logged in or closed.
    QList<QByteArray> Capability();
    bool HasCapability(const QByteArray& name);

    // LIST "" *: the folders in reply order. NO or BAD raises EReplyError.
    bool ListFolders(QList<TImapListEntry>& folders);
    // SELECT: fills SelectedMailBox(). NO or BAD raises EReplyError.
    bool SelectFolder(const QByteArray& name);
    // FETCH n (UID): false and an empty uid when the server gave none.
    bool MessageUid(qint32 number, QByteArray& uid);
    bool FetchFlagsByUid(const QByteArray& uid, TMessageFlags& flags);
    // UID FETCH uid (RFC822.HEADER): true when the header came and the command ended OK; the
    // message's RawHeaders are then replaced and parsed.
    bool FetchHeaderByUid(const QByteArray& uid, TMailMessage& message);
    // UID FETCH uid (RFC822.SIZE): -1 on NO or when no usable size came.
    qint32 FetchSizeByUid(const QByteArray& uid);
    // STORE numbers +FLAGS.SILENT (\Deleted) by sequence number; false on NO or when empty.
    bool DeleteMessages(const QList<qint32>& numbers);
    // EXPUNGE; the removed sequence numbers go to SelectedMailBox().ExpungedNumbers.
    bool ExpungeFolder();

    // FETCH set (UID RFC822.SIZE RFC822.HEADER) for a sequence set ("1:*", "7"): one record per
    // message, its header parsed and Folder set to the selected folder. False on NO.
    bool FetchMessages(const QByteArray& sequenceSet, QList<TImapFetchedMessage>& messages);
    // UID STORE uids +FLAGS.SILENT (\Deleted); false on NO or when empty.
    bool UidStoreDeleted(const QList<quint32>& uids);
    // UID EXPUNGE uids when the server has UIDPLUS (RFC 4315), else EXPUNGE.
    bool UidExpunge(const QList<quint32>& uids);

    // Readers of one reply; they fill LastReply and check the code against `allowed`.
    int ReadGreeting(const TReplyCodes& allowed);
    int ReadTaggedReply(const QByteArray& tag, const TReplyCodes& allowed,
                        const TUntaggedHandler& onUntagged = {});
    // One response: a line and, while a line ends in a literal "{n}", the n bytes and the line
    // that goes on after them. Bounded by kMaxReplyBytes.
    QByteArray ReadResponse();

private:
    [[noreturn]] void FailUnrecognized();
    void ConnectAndGreet();
    void Login();
    void RequireState(std::initializer_list<TImapConnectionState> states) const;
    int Command(const QByteArray& verb, const QList<TImapArgument>& arguments,
                const TReplyCodes& allowed, const TUntaggedHandler& onUntagged = {});
    void TakeCapabilities(const QByteArray& statusText);
    int FetchByUid(const QByteArray& uid, const QByteArray& items,
                   const std::function<void(const TImapFetch&)>& onFetch);
    static quint32 CheckUid(const QByteArray& uid);
    static void CheckUids(const QList<quint32>& uids);
    bool Expunge(const QByteArray& verb, const QList<TImapArgument>& arguments);

    TImapConnectionState state_ = TImapConnectionState::NonAuthenticated;
    qint32 commandCounter_ = 0;
    TImapFolderInfo selected_;
    QByteArray separator_ = "/";
    std::optional<QList<QByteArray>> capabilities_;
    bool preAuthenticated_ = false;
};

}  // namespace brevio
