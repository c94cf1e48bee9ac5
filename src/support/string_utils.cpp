#include "support/string_utils.h"

#include <limits>

namespace brevio {

void Split(const QString& text, const QString& separator, QStringList& list, bool keepEmpty)
{
    list.clear();
    if (separator.isEmpty()) {
        if (!text.isEmpty())
            list << text;
        return;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0)
            break;
        if (keepEmpty || at > from)
            list << text.mid(from, at - from);
        from = at + separator.size();
    }
    if (from < text.size())
        list << text.mid(from);
}

QStringList Split(const QString& text, const QString& separator, bool keepEmpty)
{
    QStringList list;
    Split(text, separator, list, keepEmpty);
    return list;
}

namespace {

QChar AsciiLower(QChar c)
{
    return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c;
}

bool MatchesAt(const QString& text, qsizetype at, const QString& pattern, bool ignoreCase)
{
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar a = text[at + i], b = pattern[i];
        if (ignoreCase ? AsciiLower(a) != AsciiLower(b) : a != b)
            return false;
    }
    return true;
}

}  // namespace

void ReplaceText(QString& text, const QString& pattern, const QString& replacement, int flags)
{
    if (text.isEmpty() || pattern.isEmpty())
        return;
    const bool all = flags & rfReplaceAll;
    const bool ignoreCase = flags & rfIgnoreCase;
    QString out;
    qsizetype i = 0;
    bool replaced = false;
    while (i + pattern.size() <= text.size()) {
        if ((all || !replaced) && MatchesAt(text, i, pattern, ignoreCase)) {
            out += replacement;
            i += pattern.size();
            replaced = true;
            if (!all)
                break;
        } else {
            out += text[i];
            ++i;
        }
    }
    out += QStringView(text).mid(i);
    text = out;
}

namespace {

std::optional<quint64> ParseMagnitude(QStringView digits, int base, quint64 limit)
{
    if (digits.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (QChar c : digits) {
        int d;
        if (c >= u'0' && c <= u'9')
            d = c.unicode() - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c.unicode() - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c.unicode() - u'A' + 10;
        else
            return std::nullopt;
        if (value > (limit - quint64(d)) / quint64(base))
            return std::nullopt;
        value = value * quint64(base) + quint64(d);
    }
    return value;
}

template <typename Int, typename UInt>
std::optional<Int> ParseInteger(const QString& text)
{
    QStringView s(text);
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
        const auto bits = ParseMagnitude(s.mid(2), 16, std::numeric_limits<UInt>::max());
        if (!bits)
            return std::nullopt;
        return Int(UInt(*bits));
    }
    bool negative = false;
    if (!s.isEmpty() && (s[0] == u'-' || s[0] == u'+')) {
        negative = s[0] == u'-';
        s = s.mid(1);
    }
    const quint64 limit =
        negative ? quint64(std::numeric_limits<Int>::max()) + 1 : quint64(std::numeric_limits<Int>::max());
    const auto magnitude = ParseMagnitude(s, 10, limit);
    if (!magnitude)
        return std::nullopt;
    return negative ? Int(0 - *magnitude) : Int(*magnitude);
}

}  // namespace

std::optional<int> ParseInt32(const QString& text)
{
    return ParseInteger<qint32, quint32>(text);
}

std::optional<qint64> ParseInt64(const QString& text)
{
    return ParseInteger<qint64, quint64>(text);
}

}  // namespace brevio
