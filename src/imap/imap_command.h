#pragma once
// Building IMAP4 command lines (RFC 3501 §4.3, §7.5; RFC 7888 for LITERAL+). Strings are sent
// quoted with "\" and '"' escaped, or as literals when they hold CR, LF or bytes above 127, so
// nothing a user types can end a command early or start another one.

#include <QByteArray>
#include <QList>

namespace brevio {

struct TImapArgument {
    enum class TForm { Raw, String };
    TForm Form = TForm::Raw;
    QByteArray Bytes;
    bool Secret = false;  // shown as "****" in the trace

    // Sent as it stands (numbers, sequence sets, parenthesized item lists).
    static TImapArgument Raw(QByteArray bytes) { return {TForm::Raw, std::move(bytes), false}; }
    // Sent as a quoted string or a literal.
    static TImapArgument String(QByteArray bytes, bool secret = false)
    {
        return {TForm::String, std::move(bytes), secret};
    }
};

// One line of a command as it goes out (CR LF is added when sent). A piece that announces a
// synchronizing literal must wait for the server's "+" before the next piece goes.
struct TImapCommandPiece {
    QByteArray Bytes;
    QByteArray Trace;
    bool WaitForContinuation = false;
};

// The pieces of "tag verb args...". With `literalPlus` literals do not wait for "+". Raises
// EMailClientError when a string holds a NUL byte, which no IMAP string can carry.
QList<TImapCommandPiece> BuildImapCommand(const QByteArray& tag, const QByteArray& verb,
                                          const QList<TImapArgument>& arguments, bool literalPlus);

// True when the bytes must go as a literal rather than a quoted string.
bool NeedsImapLiteral(const QByteArray& bytes);
// The bytes as a quoted string, "\" and '"' escaped.
QByteArray ImapQuoted(const QByteArray& bytes);

// True for a sequence set of numbers, "*", ranges "a:b" and commas (RFC 3501 §9).
bool IsValidSequenceSet(const QByteArray& set);
// The numbers joined by ",".
QByteArray JoinNumbers(const QList<quint32>& numbers);

}  // namespace brevio
