#include "imap/imap_response_parser.h"

#include "net/errors.h"
#include "net/protocol_limits.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace brevio {

namespace {

constexpr int kMaxNesting = 64;

bool IsAtomEnd(char c)
{
    return c == ' ' || c == '(' || c == ')' || c == '"' || c == '{' || c == '\r' || c == '\n';
}

// Recursive-descent reader of the values of one response text.
class TValueReader {
public:
    explicit TValueReader(const QByteArray& text) : text_(text) {}

    bool ReadSequence(QList<TImapValue>& out, int depth, bool inList)
    {
        for (;;) {
            while (pos_ < text_.size() && text_[pos_] == ' ')
                ++pos_;
            if (pos_ >= text_.size())
                return !inList;
            const char c = text_[pos_];
            if (c == ')') {
                if (!inList)
                    return false;
                ++pos_;
                return true;
            }
            TImapValue value;
            bool ok = false;
            if (c == '(') {
                ++pos_;
                value.Kind = TImapValue::TKind::List;
                ok = depth < kMaxNesting && ReadSequence(value.Items, depth + 1, true);
            } else if (c == '"') {
                ok = ReadQuoted(value);
            } else if (c == '{') {
                ok = ReadLiteral(value);
            } else {
                ok = ReadAtom(value);
            }
            if (!ok)
                return false;
            out.append(std::move(value));
        }
    }

private:
    bool ReadQuoted(TImapValue& value)
    {
        value.Kind = TImapValue::TKind::String;
        ++pos_;
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"')
                return true;
            if (c == '\r' || c == '\n')
                return false;
            if (c == '\\') {
                if (pos_ >= text_.size())
                    return false;
                c = text_[pos_++];
            }
            value.Text += c;
        }
        return false;
    }

    bool ReadLiteral(TImapValue& value)
    {
        value.Kind = TImapValue::TKind::String;
        const qsizetype close = text_.indexOf('}', pos_);
        if (close < 0)
            return false;
        QByteArray digits = text_.mid(pos_ + 1, close - pos_ - 1);
        if (digits.endsWith('+'))
            digits.chop(1);
        if (digits.isEmpty() || digits.size() > 10)
            return false;
        qint64 count = 0;
        for (char d : digits) {
            if (d < '0' || d > '9')
                return false;
            count = count * 10 + (d - '0');
        }
        qsizetype start = close + 1;
        if (text_.mid(start, 2) == "\r\n")
            start += 2;
        else if (text_.mid(start, 1) == "\n")
            start += 1;
        else
            return false;
        if (count > text_.size() - start)
            return false;
        value.Text = text_.mid(start, count);
        pos_ = start + count;
        return true;
    }

    bool ReadAtom(TImapValue& value)
    {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && !IsAtomEnd(text_[pos_])) {
            if (text_[pos_] == '[') {
                // A section ("BODY[HEADER.FIELDS (FROM)]") belongs to its atom, blanks and all.
                const qsizetype close = text_.indexOf(']', pos_);
                if (close < 0)
                    return false;
                pos_ = close + 1;
            } else {
                ++pos_;
            }
        }
        if (pos_ == start)
            return false;
        value.Text = text_.mid(start, pos_ - start);
        value.Kind =
            value.Text.compare("NIL", Qt::CaseInsensitive) == 0 ? TImapValue::TKind::Nil : TImapValue::TKind::Atom;
        return true;
    }

    const QByteArray& text_;
    qsizetype pos_ = 0;
};

// A count of 0..kMaxMessageCount, raising for anything else.
qint32 ParseCount(const QByteArray& word, const QByteArray& response)
{
    bool ok = false;
    const qint64 value = word.toLongLong(&ok);
    if (!ok || word.isEmpty() || word[0] < '0' || word[0] > '9' || value < 0 || value > kMaxMessageCount) {
        throw EMailClientError(TFailure{TFailureKind::ImapUnreadableCount, {QString::fromUtf8(response.left(200))}});
    }
    return static_cast<qint32>(value);
}

// `rest` may be `text` itself: the word is taken before the rest is written.
QByteArray FirstWord(const QByteArray& text, QByteArray* rest = nullptr)
{
    const qsizetype blank = text.indexOf(' ');
    QByteArray word = blank < 0 ? text : text.left(blank);
    if (rest)
        *rest = blank < 0 ? QByteArray() : text.mid(blank + 1);
    return word;
}

}  // namespace

bool TImapValue::IsAtom(const char* name) const
{
    return Kind == TKind::Atom && Text.compare(name, Qt::CaseInsensitive) == 0;
}

std::optional<QList<TImapValue>> ParseImapValues(const QByteArray& text)
{
    QList<TImapValue> values;
    TValueReader reader(text);
    if (!reader.ReadSequence(values, 0, false))
        return std::nullopt;
    return values;
}

std::optional<TImapReplyCode> ImapStatusCode(const QByteArray& text)
{
    // Status words are case-insensitive (RFC 3501 §9), like every other keyword.
    const QByteArray word = text.toUpper();
    if (word == "OK")
        return TImapReplyCode::Ok;
    if (word == "NO")
        return TImapReplyCode::No;
    if (word == "BAD")
        return TImapReplyCode::Bad;
    if (word == "PREAUTH")
        return TImapReplyCode::PreAuth;
    if (word == "BYE")
        return TImapReplyCode::Bye;
    return std::nullopt;
}

std::optional<TImapCompletion> SplitCompletion(const QByteArray& response, const QByteArray& tag)
{
    const QByteArray prefix = tag + ' ';
    if (response.size() < prefix.size() || response.left(prefix.size()).compare(prefix, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    const QByteArray after = response.mid(prefix.size()).trimmed();
    const qsizetype blank = after.indexOf(' ');
    if (blank < 0)
        return TImapCompletion{after, {}};
    return TImapCompletion{after.left(blank), after.mid(blank + 1).trimmed()};
}

namespace {

// A number of at most `maxDigits` decimal digits (19 at most, so it cannot overflow) from `min`
// to `max`; nothing when it is anything else.
std::optional<quint64> DecimalWithin(QByteArrayView text, qsizetype maxDigits, quint64 min, quint64 max)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return std::nullopt;
    quint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<quint64>(c - '0');
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<quint32> ParseNzNumber(QByteArrayView text)
{
    const std::optional<quint64> value = DecimalWithin(text, 10, 1, 0xFFFFFFFFull);
    return value ? std::optional<quint32>(static_cast<quint32>(*value)) : std::nullopt;
}

std::optional<quint64> ParseModSeq(QByteArrayView text)
{
    // RFC 7162 §7: mod-sequence-value is 1 to 2^63-1.
    return DecimalWithin(text, 19, 1, quint64(std::numeric_limits<qint64>::max()));
}

TImapUntagged SplitUntagged(const QByteArray& response)
{
    TImapUntagged result;
    QByteArray rest;
    QByteArray word = FirstWord(response, &rest);
    if (word == "0") {
        result.Number = 0;
        word = FirstWord(rest, &rest);
    } else if (std::optional<quint32> number = ParseNzNumber(word)) {
        result.Number = number;
        word = FirstWord(rest, &rest);
    }
    result.Keyword = word.toUpper();
    result.Rest = rest;
    return result;
}

std::optional<TImapResponseCode> ParseResponseCode(const QByteArray& statusText)
{
    const QByteArray text = statusText.trimmed();
    if (!text.startsWith('['))
        return std::nullopt;
    const qsizetype close = text.indexOf(']');
    if (close < 0)
        return std::nullopt;
    QByteArray arguments;
    const QByteArray name = FirstWord(text.mid(1, close - 1), &arguments);
    return TImapResponseCode{name.toUpper(), arguments.trimmed()};
}

TMessageFlags FlagsFromValues(const QList<TImapValue>& values)
{
    static const struct {
        const char* name;
        TMessageFlag flag;
    } kFlags[] = {
        {"\\Answered", TMessageFlag::Answered}, {"\\Flagged", TMessageFlag::Flagged},
        {"\\Deleted", TMessageFlag::Deleted},   {"\\Draft", TMessageFlag::Draft},
        {"\\Seen", TMessageFlag::Seen},         {"\\Recent", TMessageFlag::Recent},
    };
    TMessageFlags flags;
    for (const TImapValue& value : values) {
        for (const auto& entry : kFlags) {
            if (value.IsAtom(entry.name))
                flags |= entry.flag;
        }
    }
    return flags;
}

TMessageFlags ParseFlagList(const QByteArray& text)
{
    const std::optional<QList<TImapValue>> values = ParseImapValues(text);
    if (!values)
        return {};
    if (values->size() == 1 && values->first().IsList())
        return FlagsFromValues(values->first().Items);
    return FlagsFromValues(*values);
}

bool TImapListEntry::Selectable() const
{
    for (const QByteArray& attribute : Attributes) {
        if (attribute.compare("\\Noselect", Qt::CaseInsensitive) == 0
            || attribute.compare("\\NonExistent", Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

std::optional<TImapListEntry> ParseListResponse(const QByteArray& response)
{
    const TImapUntagged untagged = SplitUntagged(response);
    if (untagged.Number || untagged.Keyword != "LIST")
        return std::nullopt;
    const std::optional<QList<TImapValue>> values = ParseImapValues(untagged.Rest);
    if (!values || values->size() < 3 || !(*values)[0].IsList())
        return std::nullopt;
    TImapListEntry entry;
    for (const TImapValue& attribute : (*values)[0].Items) {
        if (attribute.Kind != TImapValue::TKind::Atom)
            return std::nullopt;
        entry.Attributes.append(attribute.Text);
    }
    const TImapValue& delimiter = (*values)[1];
    if (delimiter.Kind == TImapValue::TKind::String)
        entry.Delimiter = delimiter.Text;
    else if (delimiter.Kind != TImapValue::TKind::Nil)
        return std::nullopt;
    const TImapValue& name = (*values)[2];
    if (name.Kind != TImapValue::TKind::String && name.Kind != TImapValue::TKind::Atom)
        return std::nullopt;
    entry.Name = name.Text;
    return entry;
}

void ApplySelectResponse(TImapFolderInfo& info, const QByteArray& response)
{
    QByteArray rest;
    const QByteArray first = FirstWord(response, &rest);
    const QByteArray second = FirstWord(rest).toUpper();
    if (second == "EXISTS") {
        info.TotalMessages = ParseCount(first, response);
        return;
    }
    if (second == "RECENT") {
        info.RecentMessages = ParseCount(first, response);
        return;
    }
    const QByteArray keyword = first.toUpper();
    if (keyword == "FLAGS") {
        info.MailBoxFlags = ParseFlagList(rest);
        return;
    }
    if (keyword != "OK")
        return;
    const std::optional<TImapResponseCode> code = ParseResponseCode(rest);
    if (!code)
        return;
    if (code->Name == "UNSEEN") {
        const std::optional<quint32> unseen = ParseNzNumber(code->Arguments);
        if (unseen && *unseen <= kMaxMessageCount)
            info.FirstUnseen = static_cast<qint32>(*unseen);
    } else if (code->Name == "UIDVALIDITY") {
        info.UidValidity = ParseNzNumber(code->Arguments).value_or(0);
    } else if (code->Name == "UIDNEXT") {
        info.UidNext = ParseNzNumber(code->Arguments).value_or(0);
    } else if (code->Name == "HIGHESTMODSEQ") {
        info.HighestModSeq = ParseModSeq(code->Arguments).value_or(0);
    } else if (code->Name == "PERMANENTFLAGS") {
        info.PermanentFlags = ParseFlagList(code->Arguments);
    } else if (code->Name == "READ-WRITE") {
        info.AccessMode = TImapAccessMode::ReadWrite;
    } else if (code->Name == "READ-ONLY") {
        info.AccessMode = TImapAccessMode::ReadOnly;
    }
}

std::optional<quint32> ParseExpungeResponse(const QByteArray& response)
{
    const TImapUntagged untagged = SplitUntagged(response);
    if (!untagged.Number || *untagged.Number == 0 || untagged.Keyword != "EXPUNGE")
        return std::nullopt;
    return untagged.Number;
}

namespace {

// The size for RFC822.SIZE: 0 to 2^31-1; absent when it does not fit.
std::optional<qint32> FetchSize(QByteArrayView text)
{
    const std::optional<quint32> size = text == "0" ? std::optional<quint32>(0) : ParseNzNumber(text);
    if (size && *size <= static_cast<quint32>(std::numeric_limits<qint32>::max()))
        return static_cast<qint32>(*size);
    return std::nullopt;
}

// The common replies of a listing, "12 FETCH (UID 34 RFC822.SIZE 567)" and the same with
// "RFC822.HEADER {n}" CR LF and the header: UID and RFC822.SIZE with plain numbers, the header
// as a literal, single blanks. Read in place, without the value tree, as a listing of 50,000
// messages gets as many of them; anything else is left to the general way (nullopt), which reads
// these the same.
std::optional<TImapFetch> ParseSimpleFetch(QByteArrayView response)
{
    qsizetype at = 0;
    const auto word = [&] {
        const qsizetype start = at;
        while (at < response.size() && (std::isalnum(static_cast<unsigned char>(response[at])) || response[at] == '.'))
            ++at;
        return response.sliced(start, at - start);
    };
    const auto next = [&](char c) {
        if (at >= response.size() || response[at] != c)
            return false;
        ++at;
        return true;
    };
    const auto digits = [](QByteArrayView text) {
        return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    TImapFetch fetch;
    const std::optional<quint32> number = ParseNzNumber(word());
    if (!number || !next(' '))
        return std::nullopt;
    const QByteArrayView keyword = word();
    if (qstrnicmp(keyword.data(), keyword.size(), "FETCH") != 0 || !next(' ') || !next('('))
        return std::nullopt;
    fetch.SequenceNumber = *number;
    do {
        const QByteArrayView name = word();
        if (!next(' '))
            return std::nullopt;
        const auto named = [&name](const char* item) { return qstrnicmp(name.data(), name.size(), item) == 0; };
        if (named("RFC822.HEADER")) {
            if (!next('{'))
                return std::nullopt;
            const QByteArrayView count = word();
            if (!digits(count) || count.size() > 9 || !next('}') || !next('\r') || !next('\n'))
                return std::nullopt;
            const qsizetype size = count.toLongLong();
            if (size > response.size() - at)
                return std::nullopt;
            fetch.Header = response.sliced(at, size).toByteArray();
            at += size;
            continue;
        }
        const QByteArrayView value = word();
        if (!digits(value))
            return std::nullopt;
        if (named("UID")) {
            fetch.Uid = ParseNzNumber(value);
        } else if (named("RFC822.SIZE")) {
            if (const std::optional<qint32> size = FetchSize(value))
                fetch.Size = size;
        } else {
            return std::nullopt;
        }
    } while (next(' '));
    if (!next(')') || at != response.size())
        return std::nullopt;
    return fetch;
}

}  // namespace

std::optional<TImapFetch> ParseFetchResponse(QByteArrayView response)
{
    if (std::optional<TImapFetch> simple = ParseSimpleFetch(response))
        return simple;
    const TImapUntagged untagged = SplitUntagged(response.toByteArray());
    if (!untagged.Number || *untagged.Number == 0 || untagged.Keyword != "FETCH")
        return std::nullopt;
    const std::optional<QList<TImapValue>> values = ParseImapValues(untagged.Rest);
    if (!values || values->size() != 1 || !values->first().IsList())
        return std::nullopt;
    TImapFetch fetch;
    fetch.SequenceNumber = *untagged.Number;
    const QList<TImapValue>& items = values->first().Items;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        const TImapValue& name = items[i];
        const TImapValue& value = items[i + 1];
        if (name.Kind != TImapValue::TKind::Atom)
            return std::nullopt;
        const QByteArray item = name.Text.toUpper();
        if (item == "UID" && value.Kind == TImapValue::TKind::Atom) {
            fetch.Uid = ParseNzNumber(value.Text);
        } else if (item == "RFC822.SIZE" && value.Kind == TImapValue::TKind::Atom) {
            if (const std::optional<qint32> size = FetchSize(value.Text))
                fetch.Size = size;
        } else if (item == "FLAGS" && value.IsList()) {
            fetch.Flags = FlagsFromValues(value.Items);
        } else if (item == "RFC822.HEADER" || item == "BODY[HEADER]") {
            if (value.Kind == TImapValue::TKind::String)
                fetch.Header = value.Text;
            else if (value.Kind == TImapValue::TKind::Nil)
                fetch.Header = QByteArray();
        }
    }
    return fetch;
}

QList<quint32> ParseSearchResponse(const QByteArray& rest)
{
    QList<quint32> numbers;
    for (const QByteArray& word : rest.simplified().split(' ')) {
        if (const std::optional<quint32> number = ParseNzNumber(word))
            numbers.append(*number);
    }
    return numbers;
}

QList<QByteArray> ParseCapabilityNames(const QByteArray& names)
{
    QList<QByteArray> result;
    for (const QByteArray& word : names.simplified().split(' ')) {
        if (!word.isEmpty())
            result.append(word.toUpper());
    }
    return result;
}

}  // namespace brevio
