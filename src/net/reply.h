#pragma once
// The reply to one command: a numeric code, the status word it came from, and the reply's text
// lines. The POP3 and IMAP4 clients return it from their commands.

#include "net/errors.h"

#include <QByteArray>
#include <QList>

namespace brevio {

// The codes a command accepts. Empty, or the single code -1, accepts every reply.
using TReplyCodes = QList<int>;

class TReply {
public:
    qint32 NumericCode() const { return numericCode_; }
    const QByteArray& TextCode() const { return textCode_; }
    QList<QByteArray> Text;

    void Clear()
    {
        numericCode_ = 0;
        textCode_.clear();
        Text.clear();
    }

    // A non-empty status word also sets the numeric code to its decimal value (0 when it is not
    // a number).
    void SetTextCode(const QByteArray& code)
    {
        textCode_ = code;
        if (!code.isEmpty()) {
            bool ok = false;
            const int value = code.toInt(&ok);
            numericCode_ = ok ? value : 0;
        }
    }

    // Sets both at once, as the protocol readers classify a status word.
    void Set(const QByteArray& textCode, qint32 numericCode)
    {
        textCode_ = textCode;
        numericCode_ = numericCode;
    }

    // Every text line followed by CR LF: the message of a reply error.
    QByteArray JoinedText() const
    {
        QByteArray joined;
        for (const QByteArray& line : Text)
            joined += line + "\r\n";
        return joined;
    }

private:
    qint32 numericCode_ = 0;
    QByteArray textCode_;
};

// Returns the reply's code when it is among `allowed` (empty or {-1}: any code passes); else
// raises EReplyError with the reply's text.
inline int CheckReplyCode(const TReply& reply, const TReplyCodes& allowed)
{
    const int code = reply.NumericCode();
    const bool any = allowed.isEmpty() || (allowed.size() == 1 && allowed.first() == -1);
    if (!any && !allowed.contains(code))
        throw EReplyError(QString::fromUtf8(reply.JoinedText()), code);
    return code;
}

}  // namespace brevio
