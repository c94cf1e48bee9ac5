#pragma once
// The IMAP4 client (RFC 3501): logs in (optionally after STARTTLS, RFC 2595; then switches to
// UTF-8 when the server accepts it, RFC 6855), lists and selects
// folders, fetches UIDs, flags, headers and sizes, marks messages deleted and expunges. Replies
// are read response by response with literals taken by their byte count; what they mean is
// worked out by the pure readers of imap_response_parser.h.

#include "imap/imap_command.h"
#include "imap/imap_response_parser.h"
#include "imap/imap_types.h"
#include "mime/mail_message.h"
#include "net/line_channel.h"
#include "net/login_result.h"
#include "net/reply.h"

#include <functional>
#include <optional>

namespace brevio {

enum class TImapConnectionState { Any, NonAuthenticated, Authenticated, Selected, UnexpectedlyDisconnected };

// The state's name in messages ("Non Authenticated", ...; empty for UnexpectedlyDisconnected).
QString ImapStateName(TImapConnectionState state);

// How a command the server may refuse ended: Done on OK; otherwise the reply's text lines
// (JoinedText form), empty when nothing was sent.
struct TImapCommandResult {
    bool Done = false;
    QByteArray Text;
    explicit operator bool() const { return Done; }
};

class TImapPipelinedFetch;

// The reply codes a command accepts; a reply with any other raises EReplyError.
using TImapReplyCodes = QList<TImapReplyCode>;

// The code of a reply the IMAP4 client read.
inline TImapReplyCode ImapReplyCode(const TReply& reply)
{
    return static_cast<TImapReplyCode>(reply.NumericCode());
}

// What a pipelined fetch asks for and how far it goes ahead of the replies.
struct TImapFetchOptions {
    bool ByUid = false;      // UID FETCH of UID sets, not FETCH of sequence numbers
    bool WithHeader = true;  // the header as well, not only the UID and size
    int InFlight = 1;        // commands sent ahead of their replies; below 1 counts as 1
};

class TImap4Client {
public:
    // Called with every untagged response (without "* "); returns true when it took the
    // response, which then stays out of the reply's Text.
    using TUntaggedHandler = std::function<bool(const QByteArray& response)>;

    explicit TImap4Client(TTransportFactory factory);
    ~TImap4Client();
    TImap4Client(const TImap4Client&) = delete;
    TImap4Client& operator=(const TImap4Client&) = delete;

    QString Host;
    int Port = 143;
    TSecurity Security = TSecurity::None;
    QString CertFingerprint;  // SHA-256 hex of a certificate the user trusts; empty: none
    // The authserv-id whose Authentication-Results the spam verdicts trust; empty: the topmost.
    QByteArray TrustedAuthServId;
    // Login() signs in with an OAuth2 access token (given as the password) through AUTHENTICATE
    // instead of LOGIN; the token is only ever sent over a secured connection.
    bool BearerSignIn = false;

    void SetTraceSink(TTraceSink sink) { channel_.SetTraceSink(std::move(sink)); }

    // Connects (unless connected), reads the greeting (OK or PREAUTH) and secures the connection
    // when Security asks for it. Connection, greeting and TLS failures raise, and the
    // connection is closed then.
    void Connect();
    // LOGIN, unless the greeting was PREAUTH. A refusal (or a connection lost during the login)
    // comes back as Refused with the text to tell the user; the state stays Non Authenticated.
    // Once logged in, ENABLE UTF8=ACCEPT and QRESYNC, those of them the server announced in the
    // login's reply or, when that names no capabilities, before the login (RFC 6855 §3, RFC 7162
    // §3.2.3), in one command; a refusal leaves the session as it would be without it.
    TLoginReply Login(const QString& userName, const QString& password);
    // After a refused login: LOGOUT when still connected, then close. Never raises a protocol
    // failure; the old connection may already be gone.
    void QuitAfterRefusal();
    // LOGOUT, then closes whatever happened. Raises ESocketClosed when not connected.
    void Disconnect();
    bool Connected() { return channel_.IsOpen(); }
    // Whether the server's answer has begun to come (a hint: see TLineChannel::InputWaiting).
    bool InputWaiting() const { return channel_.InputWaiting(); }

    TImapConnectionState ConnectionState() const { return state_; }
    const TImapFolderInfo& SelectedMailBox() const { return selected_; }
    QByteArray MailBoxSeparator() const { return separator_; }
    // The tag of the last command ("C7").
    QByteArray CurrentTag() const { return "C" + QByteArray::number(commandCounter_); }

    // True once the server confirmed UTF8=ACCEPT: folder names then come in UTF-8, not in
    // modified UTF-7, and headers may hold raw UTF-8.
    bool Utf8Enabled() const { return utf8_; }
    // True once the server confirmed QRESYNC: SELECT then reports HIGHESTMODSEQ, and expunges
    // come as VANISHED responses (UIDs) instead of EXPUNGE (RFC 7162 §3.2.10).
    bool QresyncEnabled() const { return qresync_; }
    // A folder name as the server sends it, for showing to the user.
    QString FolderDisplayName(const QByteArray& name) const;

    // CAPABILITY; kept until the connection is secured, logged in or closed.
    QList<QByteArray> Capability();
    bool HasCapability(const QByteArray& name);

    // LIST "" *: the folders in reply order. NO or BAD raises EReplyError.
    bool ListFolders(QList<TImapListEntry>& folders);
    // SELECT: fills SelectedMailBox(). NO or BAD raises EReplyError. `whileServerWorks` (when
    // given) is called once the command is sent, before its reply is read.
    bool SelectFolder(const QByteArray& name, const std::function<void()>& whileServerWorks = {});
    // EXAMINE (RFC 3501 §6.3.2): as SelectFolder, but read-only, so listing a folder takes no
    // \Recent flag away from other clients.
    bool ExamineFolder(const QByteArray& name);
    // FETCH n (UID): false and an empty uid when the server gave none.
    bool MessageUid(qint32 number, QByteArray& uid);
    bool FetchFlagsByUid(const QByteArray& uid, TMessageFlags& flags);
    // UID FETCH uid (RFC822.HEADER): true when the header came and the command ended OK; the
    // message's RawHeaders are then replaced and parsed.
    bool FetchHeaderByUid(const QByteArray& uid, TMailMessage& message);
    // UID FETCH uid (RFC822.SIZE): -1 on NO or when no usable size came.
    qint32 FetchSizeByUid(const QByteArray& uid);
    // STORE numbers +FLAGS.SILENT (\Deleted) by sequence number; not done on NO or when empty.
    TImapCommandResult MarkDeleted(const QList<qint32>& numbers);
    // EXPUNGE; the removed sequence numbers go to SelectedMailBox().ExpungedNumbers.
    TImapCommandResult ExpungeFolder();

    // FETCH set (UID RFC822.SIZE RFC822.HEADER) for a sequence set ("1:*", "7"): one record per
    // message, its header parsed and Folder set to the selected folder. False on NO.
    bool FetchMessages(const QByteArray& sequenceSet, QList<TImapFetchedMessage>& messages);
    // Called with the messages of one answered fetch command, in sequence order.
    using TFetchChunkHandler = std::function<void(QList<TImapListedMessage>& messages)>;
    // FETCH (or UID FETCH with ByUid) of (UID RFC822.SIZE RFC822.HEADER), or of (UID
    // RFC822.SIZE) without WithHeader, one command per set of `sets`, with up to InFlight
    // commands sent ahead of their replies. The items of one message may come split over several
    // responses; a message is handed over once its reply has ended and it has every item asked
    // (the size may be missing: -1). Responses about messages outside the set are ignored. Only
    // UID sets may hold "*".
    // Returns false when the server refused a command (NO); the replies of the commands already
    // sent are still read, so the conversation stays in step, and no further chunk is handed over.
    // `whileServerWorks` (when given) is called once the first commands are on their way, before
    // any reply is read: work that needs no answer is done while the server works on them.
    bool FetchPipelined(const QList<QByteArray>& sets, const TImapFetchOptions& options,
                        const TFetchChunkHandler& onChunk, const std::function<void()>& whileServerWorks = {});

    // UID STORE uids +FLAGS.SILENT (\Deleted); not done on NO or when empty.
    TImapCommandResult UidStoreDeleted(const QList<quint32>& uids);
    // UID STORE uids +FLAGS.SILENT (\Deleted) and UID EXPUNGE uids in one burst, for a server
    // with UIDPLUS (RFC 4315): the expunge touches only these UIDs, so it may go before the
    // store's answer. Done when both ended OK; otherwise the first refusal's text.
    TImapCommandResult UidDeleteBurst(const QList<quint32>& uids);
    // UID EXPUNGE uids when the server has UIDPLUS (RFC 4315), else EXPUNGE.
    TImapCommandResult UidExpunge(const QList<quint32>& uids);
    // UID SEARCH DELETED: the UIDs of the selected folder's messages marked \Deleted, in
    // reply order; not done on NO.
    TImapCommandResult UidSearchDeleted(QList<quint32>& uids);
    // UID SEARCH UID set for every set of `sets`, all sent before the first answer is read; in
    // the ESEARCH form (RFC 4731), whose ranges keep the answer short, when the server announces
    // it. The UIDs of the answers in their order; nullopt when a search was refused (NO or BAD) or the
    // answers name more than `most` UIDs.
    std::optional<QList<quint32>> UidSearchPipelined(const QList<QByteArray>& sets, qsizetype most);
    // Called with the UID ranges of one VANISHED (EARLIER) response, each ascending.
    using TVanishedHandler = std::function<void(const QList<std::pair<quint32, quint32>>& ranges)>;
    // With QRESYNC enabled: UID FETCH set (UID) (CHANGEDSINCE modSeq VANISHED) (RFC 7162 §3.2.6),
    // which names the UIDs of `set` expunged since `modSeq` in VANISHED (EARLIER) responses,
    // handed to `onVanished` one by one; the FETCH responses of messages whose flags changed are
    // passed over. False when the command was refused (NO or BAD) or a VANISHED response was
    // malformed; the reply is read to its end either way.
    bool UidFetchVanished(const QByteArray& set, quint64 modSeq, const TVanishedHandler& onVanished);
    // UID STORE uids -FLAGS.SILENT (\Deleted); not done on NO or when empty.
    TImapCommandResult UidStoreUndeleted(const QList<quint32>& uids);

    // ---- IDLE (RFC 2177; imap_idle.cpp) ----
    // What one wait during IDLE brought.
    enum class TIdleEvent {
        Untagged,  // an untagged response (Response holds it without "* ")
        Ended,     // the server ended IDLE itself with the command's completion
        TimedOut,  // nothing came within the wait
    };
    struct TIdleWait {
        TIdleEvent Event = TIdleEvent::TimedOut;
        QByteArray Response;
    };
    // IDLE in the selected folder, up to the server's go-ahead ("+"). Untagged responses that
    // come before it go to `onUntagged`. Not done when the server answered with a completion
    // (NO or BAD: it will not idle) instead of the go-ahead.
    TImapCommandResult StartIdle(const TUntaggedHandler& onUntagged);
    // Waits up to `seconds` for the next response while idling.
    TIdleWait WaitDuringIdle(int seconds);
    // DONE and the IDLE command's completion; the untagged responses before it go to
    // `onUntagged`. Not done when the completion was NO or BAD.
    TImapCommandResult EndIdle(const TUntaggedHandler& onUntagged);
    bool Idling() const { return !idleTag_.isEmpty(); }

    // Readers of one reply; they return it after checking its code against `allowed`.
    TReply ReadGreeting(const TImapReplyCodes& allowed);
    TReply ReadTaggedReply(const QByteArray& tag, const TImapReplyCodes& allowed,
                           const TUntaggedHandler& onUntagged = {});
    // One response: a line and, while a line ends in a literal "{n}", the n bytes and the line
    // that goes on after them. Bounded by kMaxReplyBytes.
    QByteArray ReadResponse();

private:
    // The pipelined fetch (imap_fetch.cpp) queues, sends and reads through the session.
    friend class TImapPipelinedFetch;

    [[noreturn]] void FailUnrecognized();
    TServerEndpoint Endpoint() const { return {Host, Port, Security, CertFingerprint}; }
    void Greet();
    void CloseConnection();
    void RequireState(std::initializer_list<TImapConnectionState> states) const;
    TReply Command(const QByteArray& verb, const QList<TImapArgument>& arguments, const TImapReplyCodes& allowed,
                   const TUntaggedHandler& onUntagged = {}, const std::function<void()>& whileServerWorks = {});
    // Queues a command of raw arguments without sending it; returns its tag.
    QByteArray QueueCommand(const QByteArray& verb, const QList<TImapArgument>& arguments);
    void FlushCommands();
    bool OpenFolder(const QByteArray& verb, const QByteArray& name, const std::function<void()>& whileServerWorks = {});
    static TImapCommandResult ResultOf(const TReply& reply);
    // Raises EReplyError unless the reply's code is among `allowed`.
    static void CheckImapReplyCode(const TReply& reply, const TImapReplyCodes& allowed);
    void TakeCapabilities(const QByteArray& statusText);
    TImapReplyCode FetchByUid(const QByteArray& uid, const QByteArray& items,
                              const std::function<void(const TImapFetch&)>& onFetch);
    static quint32 CheckUid(const QByteArray& uid);
    static void CheckUids(const QList<quint32>& uids);
    TImapCommandResult Expunge(const QByteArray& verb, const QList<TImapArgument>& arguments);
    TImapCommandResult UidStoreFlag(const QList<quint32>& uids, const QByteArray& change);
    // AUTHENTICATE OAUTHBEARER or XOAUTH2 with `token` (imap_sasl.cpp): the tagged OK, else raises
    // EMailClientError with the refusal.
    TReply AuthenticateBearer(const QByteArray& user, const QByteArray& token);
    // ENABLE UTF8=ACCEPT and QRESYNC, those of them that `capabilities` name (RFC 6855 §3,
    // RFC 7162 §3.2.3).
    void EnableExtensions(const QList<QByteArray>& capabilities);

    TLineChannel channel_;
    TImapConnectionState state_ = TImapConnectionState::NonAuthenticated;
    qint32 commandCounter_ = 0;
    TImapFolderInfo selected_;
    QByteArray separator_ = "/";
    std::optional<QList<QByteArray>> capabilities_;
    bool preAuthenticated_ = false;
    bool utf8_ = false;
    bool qresync_ = false;
    QByteArray idleTag_;  // the tag of the IDLE command going; empty when not idling
};

}  // namespace brevio
