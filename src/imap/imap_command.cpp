#include "imap/imap_command.h"

#include "net/errors.h"

namespace brevio {

bool NeedsImapLiteral(const QByteArray& bytes)
{
    for (char c : bytes) {
        if (c == '\r' || c == '\n' || static_cast<unsigned char>(c) > 127)
            return true;
    }
    return false;
}

QByteArray ImapQuoted(const QByteArray& bytes)
{
    QByteArray quoted;
    quoted.reserve(bytes.size() + 2);
    quoted += '"';
    for (char c : bytes) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

QList<TImapCommandPiece> BuildImapCommand(const QByteArray& tag, const QByteArray& verb,
                                          const QList<TImapArgument>& arguments, bool literalPlus)
{
    QList<TImapCommandPiece> pieces;
    TImapCommandPiece current{tag + ' ' + verb, tag + ' ' + verb, false};
    for (const TImapArgument& argument : arguments) {
        current.Bytes += ' ';
        current.Trace += ' ';
        if (argument.Form == TImapArgument::TForm::Raw) {
            current.Bytes += argument.Bytes;
            current.Trace += argument.Secret ? QByteArray("****") : argument.Bytes;
            continue;
        }
        if (argument.Bytes.contains('\0'))
            throw EMailClientError(TFailure{TFailureKind::ImapNulByte, {}});
        if (!NeedsImapLiteral(argument.Bytes)) {
            const QByteArray quoted = ImapQuoted(argument.Bytes);
            current.Bytes += quoted;
            current.Trace += argument.Secret ? QByteArray("****") : quoted;
            continue;
        }
        // RFC 3501 §4.3: "{n}" ends the line; the n bytes start the next one.
        const QByteArray header = '{' + QByteArray::number(argument.Bytes.size()) + (literalPlus ? "+}" : "}");
        current.Bytes += header;
        current.Trace += argument.Secret ? QByteArray("****") : header;
        current.WaitForContinuation = !literalPlus;
        pieces.append(current);
        current = TImapCommandPiece{argument.Bytes, argument.Secret ? QByteArray("****") : argument.Bytes, false};
    }
    pieces.append(current);
    return pieces;
}

bool IsValidSequenceSet(const QByteArray& set)
{
    if (set.isEmpty())
        return false;
    for (const QByteArray& range : set.split(',')) {
        const QList<QByteArray> ends = range.split(':');
        if (ends.size() > 2)
            return false;
        for (const QByteArray& end : ends) {
            if (end == "*")
                continue;
            if (end.isEmpty() || end.size() > 10 || end.startsWith('0'))
                return false;
            for (char c : end) {
                if (c < '0' || c > '9')
                    return false;
            }
            if (end.toULongLong() > 0xFFFFFFFFull)
                return false;
        }
    }
    return true;
}

QByteArray JoinNumbers(const QList<quint32>& numbers)
{
    QByteArray joined;
    for (quint32 number : numbers) {
        if (!joined.isEmpty())
            joined += ',';
        joined += QByteArray::number(number);
    }
    return joined;
}

}  // namespace brevio
