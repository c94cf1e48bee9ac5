#include "mime/email_address.h"

#include "mime/header_decoding.h"

namespace brevio {

namespace {

// Characters that may stand in a display name or local part without quotes: the ASCII letters,
// digits and ! # $ % & ' * + - / = ? _ ` { | } ~ (RFC 5322 atext, less "^", which we quote).
// Every other character, a letter above code 127 too, is shown in quotes: "Иван" <ivan@...>.
bool IsAtomChar(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
        return true;
    switch (u) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+': case '-':
    case '/': case '=': case '?': case '_': case '{': case '}': case '|': case '~': case '`':
        return true;
    default:
        return false;
    }
}

QString Escaped(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out;
}

QString TrimBlanks(QStringView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && (text[b] == u' ' || text[b] == u'\t'))
        ++b;
    while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t'))
        --e;
    return text.sliced(b, e - b).toString();
}

qsizetype FindAny(const QString& text, qsizetype from, QStringView chars)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (chars.contains(text[i]))
            return i;
    }
    return -1;
}

// Characters that steer the address parser. Inside encoded words they are moved to the private
// use area so that a display name like =?utf-8?Q?a.b@c?= is not read as an address.
constexpr char16_t kProtectBase = 0xE000;

bool IsAddressSpecial(char16_t c)
{
    switch (c) {
    case '(': case ')': case '<': case '>': case '@': case ',': case ';': case ':': case '"':
    case '.': case '\\': case '[': case ']': case ' ': case '\t':
        return true;
    default:
        return false;
    }
}

QString ProtectEncodedWords(QByteArrayView value)
{
    QString text = QString::fromLatin1(value);
    qsizetype start = value.indexOf("=?");
    while (start >= 0) {
        const std::optional<TEncodedWordSpan> span = FindEncodedWordSpan(value, start);
        bool blank = !span;
        for (qsizetype i = start; span && i < span->TextEnd && !blank; ++i)
            blank = value[i] == ' ' || value[i] == '\t';
        if (blank) {
            start = value.indexOf("=?", start + 2);
            continue;
        }
        for (qsizetype i = span->TextBegin; i < span->TextEnd; ++i) {
            if (IsAddressSpecial(text[i].unicode()))
                text[i] = QChar(char16_t(kProtectBase + text[i].unicode()));
        }
        start = value.indexOf("=?", span->TextEnd + 2);
    }
    return text;
}

// Back to the raw header bytes (the text was made from them with Latin-1).
QByteArray UnprotectToBytes(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        char16_t u = c.unicode();
        if (u >= kProtectBase && u < kProtectBase + 0x80)
            u -= kProtectBase;
        out += static_cast<char>(u);
    }
    return out;
}

TEmailAddress ParseProtected(const QString& text, QByteArrayView charset)
{
    TEmailAddress result;
    QString name;
    QString address;
    try {
        ParseEmailAddressText(text, name, address);
    } catch (const EAddressParseError&) {
        result.Raw = DecodeHeaderWords(UnprotectToBytes(text.trimmed()), charset).trimmed();
        return result;
    }
    result.Name = DecodeHeaderWords(UnprotectToBytes(name), charset).trimmed();
    result.Address = DecodeHeaderWords(UnprotectToBytes(address), charset).trimmed();
    if (result.Name.isEmpty() && result.Address.isEmpty())
        result.Raw = DecodeHeaderWords(UnprotectToBytes(text.trimmed()), charset).trimmed();
    return result;
}

}  // namespace

void ParseEmailAddressText(const QString& input, QString& name, QString& address)
{
    name.clear();
    address.clear();
    const QString s = input.trimmed();
    if (s.isEmpty())
        return;
    if (FindAny(s, 0, u"(\"< @\t") < 0) {
        address = s;
        return;
    }

    bool inQuote = false;
    int commentDepth = 0;
    bool inAddress = false;
    bool inBrackets = false;
    bool afterAt = false;
    bool bracketsClosed = false;

    qsizetype i = 0;
    while (i < s.size()) {
        QStringView chars;
        if (commentDepth > 0)
            chars = u"()\\";
        else if (inQuote)
            chars = u"\"\\";
        else if (afterAt && inBrackets)
            chars = u".>(";
        else if (afterAt)
            chars = u".( \t";
        else if (inAddress)
            chars = u"\"(@>";
        else
            chars = u"(\"< @\t";
        const qsizetype p = FindAny(s, i, chars);
        if (p < 0)
            break;
        const QStringView before = QStringView(s).sliced(i, p - i);
        const QChar c = s[p];
        i = p + 1;
        switch (c.unicode()) {
        case ' ':
        case '\t':
            if (before.isEmpty())
                break;  // runs of blanks collapse
            if (afterAt) {
                // A blank ends an address written without angle brackets.
                address += TrimBlanks(before);
                afterAt = false;
                inAddress = false;
            } else {
                name += before;
                name += c;
            }
            break;
        case '"':
            if (!inQuote) {
                inQuote = true;
                (inAddress ? address : name) += before;
            } else {
                inQuote = false;
                const QStringView quoted = before;
                // A quoted local part ("john doe"@example.com) belongs to the address.
                if ((inAddress && inBrackets) || (i < s.size() && s[i] == u'@'))
                    address += quoted;
                else
                    name += quoted;
            }
            break;
        case '(':
            if (commentDepth == 0) {
                if (inAddress)
                    address += TrimBlanks(before);
                else
                    name += before;
            }
            ++commentDepth;
            break;
        case ')':
            if (commentDepth > 0)
                --commentDepth;
            break;
        case '.':
            if (inBrackets) {
                address += TrimBlanks(before);
                address += u'.';
                while (i < s.size() && s[i] == u' ')
                    ++i;
            } else {
                address += before;
                address += u'.';
            }
            break;
        case '<':
            // What looked like an address before "<" was the display name
            // ("john@example.com <john@example.com>").
            if (!address.isEmpty()) {
                name += address;
                address.clear();
                afterAt = false;
            }
            name += before;
            // Trimmed in place: trimming a copy of the whole name at every "<" made a value
            // of many "<...>" take time growing with the square of its length.
            while (!name.isEmpty() && (name.back() == u' ' || name.back() == u'\t'))
                name.chop(1);
            if (!name.isEmpty() && (name.front() == u' ' || name.front() == u'\t'))
                name = TrimBlanks(name);
            inAddress = true;
            inBrackets = true;
            break;
        case '>':
            address += TrimBlanks(before);
            inAddress = false;
            afterAt = false;
            bracketsClosed = true;
            break;
        case '@':
            if (!inAddress && bracketsClosed)
                throw EAddressParseError(QStringLiteral("@ Outside address"));
            afterAt = true;
            inAddress = true;
            address += inBrackets ? TrimBlanks(before) : before.toString();
            address += u'@';
            break;
        case '\\':
            if (inQuote && i < s.size())
                (inAddress ? address : name) += before.toString() + s[i];
            ++i;  // the escaped character never steers the scan
            break;
        default:
            break;
        }
    }

    const QStringView rest = i < s.size() ? QStringView(s).sliced(i) : QStringView();
    if (inAddress && !inBrackets)
        address += TrimBlanks(rest);
    else if (!inAddress && !inQuote && commentDepth == 0 && !bracketsClosed)
        name += rest;  // a display name with no address at all is still worth showing
    name = TrimBlanks(name);
}

namespace {

// The parts one after another, in one allocation.
QString Joined(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (QStringView part : parts)
        size += part.size();
    QString text;
    text.reserve(size);
    for (QStringView part : parts)
        text.append(part);
    return text;
}

}  // namespace

QString TEmailAddress::Text() const
{
    if (Name.isEmpty() && Address.isEmpty())
        return Raw;

    // The address: bare when alone and plain, else in angle brackets; a local part outside the
    // atom characters (dots aside) is quoted.
    QStringView address(Address);
    QString quoted;
    if (!Address.isEmpty()) {
        const qsizetype at = Address.lastIndexOf(u'@');
        const QStringView local = at < 0 ? address : address.left(at);
        const QStringView domain = at < 0 ? QStringView() : address.mid(at);
        QChar firstOutside;
        bool outside = false;
        for (QChar c : local) {
            if (!IsAtomChar(c)) {
                firstOutside = c;
                outside = true;
                break;
            }
        }
        if (outside && firstOutside != u'.') {
            quoted = Joined({u"\"", Escaped(local.toString()), u"\"", domain});
            address = quoted;
        }
    }
    const bool bracketed = !Name.isEmpty() || !quoted.isEmpty();
    const QStringView open = bracketed ? QStringView(u"<") : QStringView();
    const QStringView close = bracketed ? QStringView(u">") : QStringView();

    if (Name.isEmpty() || Name.compare(Address, Qt::CaseInsensitive) == 0)
        return Joined({open, address, close});
    bool plain = true;
    for (QChar c : Name) {
        if (c != u' ' && !IsAtomChar(c)) {
            plain = false;
            break;
        }
    }
    if (plain)
        return Joined({Name, u" ", open, address, close});
    return Joined({u"\"", Escaped(Name), u"\" ", open, address, close});
}

void TEmailAddress::SetText(const QString& text)
{
    Raw.clear();
    try {
        ParseEmailAddressText(text, Name, Address);
    } catch (const EAddressParseError&) {
        Name.clear();
        Address.clear();
    }
    if (Name.isEmpty() && Address.isEmpty())
        Raw = text.trimmed();
}

TEmailAddress ParseHeaderAddress(QByteArrayView value, QByteArrayView charset)
{
    return ParseProtected(ProtectEncodedWords(value), charset);
}

TEmailAddressList ParseHeaderAddressList(QByteArrayView value, QByteArrayView charset)
{
    const QString text = ProtectEncodedWords(value);
    TEmailAddressList list;
    auto add = [&](QStringView piece) {
        TEmailAddress address = ParseProtected(piece.toString(), charset);
        const QString shown = address.Text();
        if (!shown.isEmpty() && shown != QLatin1String("<>"))
            list.append(std::move(address));
    };

    bool inQuote = false;
    int commentDepth = 0;
    bool inBrackets = false;
    qsizetype pieceStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            ++i;
        } else if (inQuote) {
            inQuote = c != u'"';
        } else if (commentDepth > 0) {
            if (c == u'(')
                ++commentDepth;
            else if (c == u')')
                --commentDepth;
        } else if (c == u'"') {
            inQuote = true;
        } else if (c == u'(') {
            commentDepth = 1;
        } else if (c == u'<') {
            inBrackets = true;
        } else if (c == u'>') {
            inBrackets = false;
        } else if (inBrackets) {
            continue;
        } else if (c == u':') {
            pieceStart = i + 1;  // RFC 5322 §3.4 group: the group name is not an address
        } else if (c == u',' || c == u';') {
            add(QStringView(text).sliced(pieceStart, i - pieceStart));
            pieceStart = i + 1;
        }
    }
    if (pieceStart < text.size())
        add(QStringView(text).sliced(pieceStart));
    return list;
}

}  // namespace brevio
