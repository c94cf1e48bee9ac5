#include "pop3/pop3_reply_parser.h"

#include "net/protocol_limits.h"

#include <openssl/evp.h>

namespace brevio {

namespace {

// A plain unsigned decimal (no sign, no blanks) up to `limit`; nullopt otherwise.
std::optional<qint64> ParseDecimal(const QByteArray& text, qint64 limit)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > limit)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> Pop3StatusCode(const QByteArray& statusWord)
{
    const QByteArray word = statusWord.toUpper();
    if (word == "+OK")
        return 1;
    if (word == "-ERR")
        return 2;
    return std::nullopt;
}

std::optional<qint32> ParsePop3StatCount(const QByteArray& text)
{
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return 0;
    const qsizetype blank = trimmed.indexOf(' ');
    if (blank < 0)
        return std::nullopt;
    const std::optional<qint64> count = ParseDecimal(trimmed.left(blank), kMaxMessageCount);
    if (!count)
        return std::nullopt;
    return static_cast<qint32>(*count);
}

qint32 ParsePop3ListSize(const QByteArray& text)
{
    if (text.isEmpty())
        return -1;
    const qsizetype blank = text.indexOf(' ');
    const QByteArray sizeText = blank < 0 ? text : text.mid(blank + 1);
    const std::optional<qint64> size = ParseDecimal(sizeText, std::numeric_limits<qint32>::max());
    return size ? static_cast<qint32>(*size) : -1;
}

std::optional<TPop3ListEntry> ParsePop3ListLine(const QByteArray& line)
{
    const QByteArray trimmed = line.trimmed();
    const qsizetype blank = trimmed.indexOf(' ');
    const std::optional<qint64> number = ParseDecimal(blank < 0 ? trimmed : trimmed.left(blank), kMaxMessageCount);
    if (!number || *number < 1)
        return std::nullopt;
    return TPop3ListEntry{static_cast<qint32>(*number), ParsePop3ListSize(trimmed)};
}

std::optional<TPop3UidEntry> ParsePop3UidLine(const QByteArray& line)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() != 2)
        return std::nullopt;
    const std::optional<qint64> number = ParseDecimal(words[0], kMaxMessageCount);
    if (!number || *number < 1)
        return std::nullopt;
    const QByteArray& id = words[1];
    if (id.isEmpty() || id.size() > 70)
        return std::nullopt;
    for (char c : id) {
        if (c < 0x21 || c > 0x7E)
            return std::nullopt;
    }
    return TPop3UidEntry{static_cast<qint32>(*number), id};
}

bool Pop3HasCapability(const QList<QByteArray>& capabilities, const QByteArray& name)
{
    const QByteArray wanted = name.toUpper();
    for (const QByteArray& line : capabilities) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype blank = trimmed.indexOf(' ');
        if ((blank < 0 ? trimmed : trimmed.left(blank)).toUpper() == wanted)
            return true;
    }
    return false;
}

QByteArray ApopTimestamp(const QByteArray& greetingText)
{
    const qsizetype open = greetingText.indexOf('<');
    if (open < 0)
        return {};
    const qsizetype close = greetingText.indexOf('>', open);
    if (close < 0)
        return {};
    return greetingText.mid(open, close - open + 1);
}

QByteArray ApopDigest(const QByteArray& timestamp, const QByteArray& password)
{
    const QByteArray input = timestamp + password;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(input.constData(), static_cast<size_t>(input.size()), digest, &length, EVP_md5(), nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), length).toHex();
}

}  // namespace brevio
