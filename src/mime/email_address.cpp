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
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '/':
    case '=':
    case '?':
    case '_':
    case '{':
    case '}':
    case '|':
    case '~':
    case '`':
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
    case '(':
    case ')':
    case '<':
    case '>':
    case '@':
    case ',':
    case ';':
    case ':':
    case '"':
    case '.':
    case '\\':
    case '[':
    case ']':
    case ' ':
    case '\t':
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

namespace {

// The scan of one address text from special character to special character. Its state says
// which characters end the next piece, and each special character has a step of its own.
class TAddressScan {
public:
    TAddressScan(const QString& text, QString& name, QString& address) : s_(text), name_(name), address_(address) {}

    void Run()
    {
        while (i_ < s_.size()) {
            const qsizetype p = FindAny(s_, i_, StopChars());
            if (p < 0)
                break;
            const QStringView before = QStringView(s_).sliced(i_, p - i_);
            const QChar c = s_[p];
            i_ = p + 1;
            Step(c, before);
        }
        Finish();
    }

private:
    QStringView StopChars() const
    {
        if (commentDepth_ > 0)
            return u"()\\";
        if (inQuote_)
            return u"\"\\";
        if (afterAt_ && inBrackets_)
            return u".>(";
        if (afterAt_)
            return u".( \t";
        if (inAddress_)
            return u"\"(@>";
        return u"(\"< @\t";
    }

    void Step(QChar c, QStringView before)
    {
        switch (c.unicode()) {
        case ' ':
        case '\t':
            Blank(c, before);
            break;
        case '"':
            Quote(before);
            break;
        case '(':
            OpenComment(before);
            break;
        case ')':
            if (commentDepth_ > 0)
                --commentDepth_;
            break;
        case '.':
            Dot(before);
            break;
        case '<':
            OpenBracket(before);
            break;
        case '>':
            address_ += TrimBlanks(before);
            inAddress_ = false;
            afterAt_ = false;
            bracketsClosed_ = true;
            break;
        case '@':
            At(before);
            break;
        case '\\':
            if (inQuote_ && i_ < s_.size())
                (inAddress_ ? address_ : name_) += before.toString() + s_[i_];
            ++i_;  // the escaped character never steers the scan
            break;
        default:
            break;
        }
    }

    void Blank(QChar c, QStringView before)
    {
        if (before.isEmpty())
            return;  // runs of blanks collapse
        if (afterAt_) {
            // A blank ends an address written without angle brackets.
            address_ += TrimBlanks(before);
            afterAt_ = false;
            inAddress_ = false;
        } else {
            name_ += before;
            name_ += c;
        }
    }

    void Quote(QStringView before)
    {
        if (!inQuote_) {
            inQuote_ = true;
            (inAddress_ ? address_ : name_) += before;
            return;
        }
        inQuote_ = false;
        // A quoted local part ("john doe"@example.com) belongs to the address.
        if ((inAddress_ && inBrackets_) || (i_ < s_.size() && s_[i_] == u'@'))
            address_ += before;
        else
            name_ += before;
    }

    void OpenComment(QStringView before)
    {
        if (commentDepth_ == 0) {
            if (inAddress_)
                address_ += TrimBlanks(before);
            else
                name_ += before;
        }
        ++commentDepth_;
    }

    void Dot(QStringView before)
    {
        if (!inBrackets_) {
            address_ += before;
            address_ += u'.';
            return;
        }
        address_ += TrimBlanks(before);
        address_ += u'.';
        while (i_ < s_.size() && s_[i_] == u' ')
            ++i_;
    }

    void OpenBracket(QStringView before)
    {
        // What looked like an address before "<" was the display name
        // ("john@example.com <john@example.com>").
        if (!address_.isEmpty()) {
            name_ += address_;
            address_.clear();
            afterAt_ = false;
        }
        name_ += before;
        // Trimmed in place: trimming a copy of the whole name at every "<" made a value of many
        // "<...>" take time growing with the square of its length.
        while (!name_.isEmpty() && (name_.back() == u' ' || name_.back() == u'\t'))
            name_.chop(1);
        if (!name_.isEmpty() && (name_.front() == u' ' || name_.front() == u'\t'))
            name_ = TrimBlanks(name_);
        inAddress_ = true;
        inBrackets_ = true;
    }

    void At(QStringView before)
    {
        if (!inAddress_ && bracketsClosed_)
            throw EAddressParseError(QStringLiteral("@ Outside address"));
        afterAt_ = true;
        inAddress_ = true;
        address_ += inBrackets_ ? TrimBlanks(before) : before.toString();
        address_ += u'@';
    }

    void Finish()
    {
        const QStringView rest = i_ < s_.size() ? QStringView(s_).sliced(i_) : QStringView();
        if (inAddress_ && !inBrackets_)
            address_ += TrimBlanks(rest);
        else if (!inAddress_ && !inQuote_ && commentDepth_ == 0 && !bracketsClosed_)
            name_ += rest;  // a display name with no address at all is still worth showing
        name_ = TrimBlanks(name_);
    }

    const QString& s_;
    QString& name_;
    QString& address_;
    qsizetype i_ = 0;
    bool inQuote_ = false;
    int commentDepth_ = 0;
    bool inAddress_ = false;
    bool inBrackets_ = false;
    bool afterAt_ = false;
    bool bracketsClosed_ = false;
};

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
    // Both are built piece by piece and never exceed the text: room for it at once.
    name.reserve(s.size());
    address.reserve(s.size());
    TAddressScan(s, name, address).Run();
}

TEmailAddressText TEmailAddress::TextPieces() const
{
    TEmailAddressText text;
    const auto add = [&text](std::initializer_list<QStringView> pieces) {
        for (QStringView piece : pieces)
            text.Pieces[text.Count++] = piece;
    };
    if (Name.isEmpty() && Address.isEmpty()) {
        add({Raw});
        return text;
    }

    // The address: bare when alone and plain, else in angle brackets; a local part outside the
    // atom characters (dots aside) is quoted.
    QStringView address(Address);
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
            text.QuotedAddress = u'"' + Escaped(local.toString()) + u'"';
            text.QuotedAddress.append(domain);
            address = text.QuotedAddress;
        }
    }
    const bool bracketed = !Name.isEmpty() || !text.QuotedAddress.isEmpty();
    const QStringView open = bracketed ? QStringView(u"<") : QStringView();
    const QStringView close = bracketed ? QStringView(u">") : QStringView();

    if (Name.isEmpty() || Name.compare(Address, Qt::CaseInsensitive) == 0) {
        add({open, address, close});
        return text;
    }
    bool plain = true;
    for (QChar c : Name) {
        if (c != u' ' && !IsAtomChar(c)) {
            plain = false;
            break;
        }
    }
    if (plain) {
        add({Name, u" ", open, address, close});
        return text;
    }
    text.EscapedName = Escaped(Name);
    add({u"\"", text.EscapedName, u"\" ", open, address, close});
    return text;
}

QString TEmailAddress::Text() const
{
    if (Name.isEmpty() && Address.isEmpty())
        return Raw;
    const TEmailAddressText pieces = TextPieces();
    QString text;
    text.reserve(pieces.Size());
    for (int i = 0; i < pieces.Count; ++i)
        text.append(pieces.Pieces[i]);
    return text;
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

namespace {

// The common sender in plain ASCII, "Display Name <local@domain>", "<local@domain>" or
// "local@domain": single blanks, one "@" in the address, nothing quoted, commented, escaped or
// encoded. Read in place, as a listing of 50,000 headers reads as many senders; nothing for
// anything else, which the scan reads (it gives the same for these).
std::optional<TEmailAddress> ParsePlainAddress(QByteArrayView value)
{
    while (!value.isEmpty() && value.front() == ' ')
        value = value.sliced(1);
    while (!value.isEmpty() && value.back() == ' ')
        value.chop(1);
    qsizetype open = -1;
    qsizetype at = -1;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c < 0x21 || c > 0x7E) {
            if (c != ' ' || value[i - 1] == ' ')  // no tab, control or 8-bit byte; single blanks
                return std::nullopt;
            continue;
        }
        switch (c) {
        case '"': case '(': case ')': case '\\': case ',': case ';': case ':': case '[': case ']':
            return std::nullopt;
        case '=':
            if (i + 1 < value.size() && value[i + 1] == '?')
                return std::nullopt;
            break;
        case '<':
            if (open >= 0 || at >= 0 || (i > 0 && value[i - 1] != ' '))
                return std::nullopt;
            open = i;
            break;
        case '>':
            if (open < 0 || i != value.size() - 1)
                return std::nullopt;
            break;
        case '@':
            if (at >= 0)
                return std::nullopt;
            at = i;
            break;
        default:
            break;
        }
    }
    const bool bracketed = open >= 0;
    if (at < 0 || (bracketed && value.back() != '>'))
        return std::nullopt;
    const QByteArrayView address = bracketed ? value.sliced(open + 1, value.size() - open - 2) : value;
    if (address.contains(' ') || address.front() == '@' || address.back() == '@')
        return std::nullopt;
    TEmailAddress result;
    result.Address = QString::fromLatin1(address);
    if (open > 0)
        result.Name = QString::fromLatin1(value.first(open - 1));
    return result;
}

}  // namespace

TEmailAddress ParseHeaderAddress(QByteArrayView value, QByteArrayView charset)
{
    if (std::optional<TEmailAddress> plain = ParsePlainAddress(value))
        return *std::move(plain);
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
