#pragma once
// Pure readers of IMAP4 server responses (RFC 3501 §7). Each takes the bytes of one response
// as the client read it, with its literals inline ("{n}" CR LF and n bytes), and without the
// leading "* " or tag; none touches a connection. Malformed input gives nullopt or an
// EMailClientError, never a crash or an unbounded allocation.

#include "imap/imap_types.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace brevio {

// A parsed value: an atom (also numbers and flags), a string (quoted or literal, decoded), a
// parenthesized list, or NIL.
struct TImapValue {
    enum class TKind { Atom, String, List, Nil };
    TKind Kind = TKind::Atom;
    QByteArray Text;
    QList<TImapValue> Items;

    bool IsAtom(const char* name) const;  // atom equal to name, letter case ignored
    bool IsList() const { return Kind == TKind::List; }
};

// The values of a response text, up to its end. nullopt when the text is malformed (an
// unclosed quote or list, a literal longer than what follows, nesting deeper than 64).
std::optional<QList<TImapValue>> ParseImapValues(const QByteArray& text);

// How a reply ended: a status word (OK, NO, BAD, PREAUTH, BYE) or "+", the server's go-ahead for
// the rest of a command. The values are the numeric codes of the client's TReply and EReplyError.
enum class TImapReplyCode { Ok = 1, No = 2, Bad = 3, PreAuth = 4, Bye = 5, Continuation = 6 };

// The code of a status word, letter case ignored; nullopt for any other word.
std::optional<TImapReplyCode> ImapStatusCode(const QByteArray& word);

// A tagged completion ("C7 OK done"): its status word and the text after it, trimmed.
struct TImapCompletion {
    QByteArray Status;
    QByteArray Text;
};
// The completion of the command tagged `tag` (the tag's letter case ignored); nullopt when the
// response does not start with that tag and a blank.
std::optional<TImapCompletion> SplitCompletion(const QByteArray& response, const QByteArray& tag);

// The start of an untagged response: an optional number ("12 EXISTS", "3 FETCH (...)"), the
// keyword in upper case, and the rest after one blank.
struct TImapUntagged {
    std::optional<quint32> Number;
    QByteArray Keyword;
    QByteArray Rest;
};
TImapUntagged SplitUntagged(const QByteArray& response);

// The response code in brackets at the start of a status text ("[UIDNEXT 439] Predicted"):
// its name in upper case and the text of its arguments.
struct TImapResponseCode {
    QByteArray Name;
    QByteArray Arguments;
};
std::optional<TImapResponseCode> ParseResponseCode(const QByteArray& statusText);

// A flag list's values to flags; keywords and "\*" are ignored.
TMessageFlags FlagsFromValues(const QList<TImapValue>& values);
// "(\Seen \Deleted)" or "\Seen \Deleted" to flags.
TMessageFlags ParseFlagList(const QByteArray& text);

// A LIST response ("LIST (\HasNoChildren) "/" INBOX"); nullopt when it is not one or is
// malformed.
std::optional<TImapListEntry> ParseListResponse(const QByteArray& response);

// Applies one untagged response of a SELECT reply, or the tagged completion given as
// "OK [READ-WRITE] text", to `info`. Raises EMailClientError for a count that is not a
// number or is out of range.
void ApplySelectResponse(TImapFolderInfo& info, const QByteArray& response);

// The sequence number of an "n EXPUNGE" response.
std::optional<quint32> ParseExpungeResponse(const QByteArray& response);

// The data items of an "n FETCH (...)" response that the clients ask for.
struct TImapFetch {
    quint32 SequenceNumber = 0;
    std::optional<quint32> Uid;
    std::optional<qint32> Size;  // absent also when the number does not fit
    std::optional<TMessageFlags> Flags;
    std::optional<QByteArray> Header;  // RFC822.HEADER or BODY[HEADER]; NIL gives an empty one

    bool operator==(const TImapFetch&) const = default;
};
std::optional<TImapFetch> ParseFetchResponse(QByteArrayView response);

// The capability names of a "CAPABILITY ..." response or of the arguments of a [CAPABILITY]
// response code, in upper case.
// The numbers of a SEARCH response after the keyword ("2 84 882"); words that are no number
// of 1 to 2^32-1 (a trailing "(MODSEQ 917)", say) are skipped.
QList<quint32> ParseSearchResponse(const QByteArray& rest);

QList<QByteArray> ParseCapabilityNames(const QByteArray& names);

// A decimal number of 1..4294967295 without sign or blanks.
std::optional<quint32> ParseNzNumber(QByteArrayView text);
// A mod-sequence value (RFC 7162): a decimal number of 1..2^63-1 without sign or blanks.
std::optional<quint64> ParseModSeq(QByteArrayView text);

}  // namespace brevio
