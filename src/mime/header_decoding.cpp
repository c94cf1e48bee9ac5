#include "mime/header_decoding.h"

#include <QList>
#include <QStringDecoder>

namespace brevio {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The charset name as Qt's codecs should see it: lower case, without an RFC 2231 language
// suffix, with labels that mail software commonly gets wrong mapped to their supersets.
QByteArray CanonicalCharset(QByteArrayView label)
{
    QByteArray name = label.trimmed().toByteArray().toLower();
    if (const qsizetype star = name.indexOf('*'); star >= 0)
        name.truncate(star);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
        name = name.mid(1, name.size() - 2);
    // Text labelled GB2312 is very often GBK; GB18030 reads all of them.
    if (name == "gb2312" || name == "gbk" || name == "x-gbk" || name == "cp936" || name == "euc-cn")
        return "gb18030";
    // Text labelled Latin-1 or ASCII that has bytes 0x80-0x9F is Windows-1252 in practice.
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii")
        return "windows-1252";
    if (name == "utf8")
        return "utf-8";
    return name;
}

bool IsUtf8Name(const QByteArray& canonical)
{
    return canonical == "utf-8";
}

// RFC 1428's label for bytes of an unknown 8-bit charset.
bool IsUnknown8Bit(const QByteArray& canonical)
{
    return canonical == "unknown-8bit";
}

// Converts with the named codec; `ok` is false when Qt does not know the charset.
QString DecodeWithCharset(QByteArrayView bytes, const QByteArray& canonical, bool* ok)
{
    *ok = true;
    if (IsUtf8Name(canonical))
        return QString::fromUtf8(bytes);
    if (canonical == "windows-1252" || canonical.isEmpty()) {
        QStringDecoder decoder("windows-1252");
        if (decoder.isValid())
            return decoder.decode(bytes);
        return QString::fromLatin1(bytes);
    }
    QStringDecoder decoder(canonical.constData());
    if (!decoder.isValid()) {
        *ok = false;
        return {};
    }
    return decoder.decode(bytes);
}

bool IsAscii(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Reads bytes whose label is absent or could not be trusted: the label when it names a legacy
// charset Qt knows, else Windows-1252.
QString DecodeLegacy(QByteArrayView bytes, QByteArrayView fallbackCharset)
{
    const QByteArray canonical = CanonicalCharset(fallbackCharset);
    if (!canonical.isEmpty() && !IsUtf8Name(canonical)) {
        bool ok = false;
        QString text = DecodeWithCharset(bytes, canonical, &ok);
        if (ok)
            return text;
    }
    bool ok = false;
    return DecodeWithCharset(bytes, "windows-1252", &ok);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// RFC 2047 §4.2 "Q" encoding. An "=" that is not followed by two hexadecimal digits is kept as
// it stands, so one broken escape does not lose the rest of the text.
QByteArray DecodeQ(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// One encoded word found in the value: where it sits, its charset and its decoded bytes.
struct EncodedWord {
    qsizetype begin = 0;
    qsizetype end = 0;   // one past the closing "?="
    QByteArray charset;  // canonical
    QByteArray bytes;
};

// Reads the encoded word starting at `start`. Returns false when the text there is not a
// well-formed word in a charset Qt knows.
bool ReadEncodedWord(QByteArrayView value, qsizetype start, EncodedWord* word)
{
    const std::optional<TEncodedWordSpan> span = FindEncodedWordSpan(value, start);
    if (!span)
        return false;
    const qsizetype charsetBegin = start + 2;
    const qsizetype charsetEnd = span->TextBegin - 3;
    for (qsizetype i = charsetBegin; i < charsetEnd; ++i) {
        if (IsBlank(value[i]) || value[i] == '=')
            return false;
    }
    const QByteArrayView text = value.sliced(span->TextBegin, span->TextEnd - span->TextBegin);
    for (char c : text) {
        if (c == '\r' || c == '\n')
            return false;
    }
    const char encoding = value[charsetEnd + 1];
    QByteArray bytes;
    if (encoding == 'Q' || encoding == 'q')
        bytes = DecodeQ(text);
    else if (encoding == 'B' || encoding == 'b')
        bytes = QByteArray::fromBase64(text.toByteArray());  // padding yields no bytes
    else
        return false;
    const QByteArray canonical = CanonicalCharset(value.sliced(charsetBegin, charsetEnd - charsetBegin));
    if (!IsUtf8Name(canonical) && !IsUnknown8Bit(canonical) && canonical != "windows-1252"
        && !QStringDecoder(canonical.constData()).isValid())
        return false;
    word->begin = start;
    word->end = span->TextEnd + 2;
    word->charset = canonical;
    word->bytes = std::move(bytes);
    return true;
}

bool IsAllBlank(QByteArrayView text)
{
    for (char c : text) {
        if (!IsBlank(c))
            return false;
    }
    return true;
}

// The text of one run of encoded words in one charset.
QString DecodeWordBytes(const QByteArray& bytes, const QByteArray& charset, QByteArrayView fallbackCharset)
{
    // A word labelled UTF-8 that is not UTF-8 was written by a misconfigured mailer.
    if (IsUtf8Name(charset) && !bytes.isValidUtf8())
        return DecodeLegacy(bytes, fallbackCharset);
    bool ok = false;
    // Bytes of an unknown charset are read like raw 8-bit header text: UTF-8 when they are
    // valid UTF-8, else Windows-1252.
    if (IsUnknown8Bit(charset))
        return bytes.isValidUtf8() ? QString::fromUtf8(bytes) : DecodeWithCharset(bytes, "windows-1252", &ok);
    return DecodeWithCharset(bytes, charset, &ok);
}

// Reads the raw text around encoded words; how is decided once for the whole header value.
class TRawTextReader {
public:
    TRawTextReader(QByteArrayView value, QByteArrayView fallbackCharset)
        : fallbackCharset_(fallbackCharset), ascii_(IsAscii(value)), utf8_(!ascii_ && value.isValidUtf8())
    {
    }

    QString operator()(QByteArrayView bytes) const
    {
        if (ascii_ || IsAscii(bytes))
            return QString::fromLatin1(bytes);
        if (utf8_)
            return QString::fromUtf8(bytes);
        return DecodeLegacy(bytes, fallbackCharset_);
    }

private:
    QByteArrayView fallbackCharset_;
    bool ascii_;
    bool utf8_;
};

// Adjacent encoded words in one charset, collected so that a character split across two words
// is decoded whole; Flush appends their text to the output.
class TWordRun {
public:
    TWordRun(QString& out, QByteArrayView fallbackCharset) : out_(out), fallbackCharset_(fallbackCharset) {}

    bool Pending() const { return pending_; }
    const QByteArray& Charset() const { return charset_; }

    void Add(const EncodedWord& word)
    {
        if (!pending_) {
            pending_ = true;
            charset_ = word.charset;
        }
        bytes_ += word.bytes;
    }

    void Flush()
    {
        if (pending_)
            out_ += DecodeWordBytes(bytes_, charset_, fallbackCharset_);
        pending_ = false;
        bytes_.clear();
    }

private:
    QString& out_;
    QByteArrayView fallbackCharset_;
    QByteArray bytes_;
    QByteArray charset_;
    bool pending_ = false;
};

}  // namespace

std::optional<TEncodedWordSpan> FindEncodedWordSpan(QByteArrayView value, qsizetype start)
{
    const qsizetype charsetBegin = start + 2;
    const qsizetype q1 = value.indexOf('?', charsetBegin);
    if (q1 <= charsetBegin || q1 + 3 > value.size() || value[q1 + 2] != '?')
        return std::nullopt;
    const qsizetype textBegin = q1 + 3;
    const qsizetype close = value.indexOf('?', textBegin);
    if (close < 0 || close + 1 >= value.size() || value[close + 1] != '=')
        return std::nullopt;
    return TEncodedWordSpan{textBegin, close};
}

QString DecodeRawHeaderText(QByteArrayView bytes, QByteArrayView fallbackCharset)
{
    if (IsAscii(bytes))
        return QString::fromLatin1(bytes);
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    return DecodeLegacy(bytes, fallbackCharset);
}

QString DecodeHeaderWords(QByteArrayView value, QByteArrayView fallbackCharset)
{
    qsizetype start = value.indexOf(QByteArrayView("=?"));
    if (start < 0)
        return DecodeRawHeaderText(value, fallbackCharset);

    const TRawTextReader decodeRaw(value, fallbackCharset);
    QString out;
    out.reserve(value.size());
    TWordRun run(out, fallbackCharset);
    qsizetype copied = 0;  // raw text before this position is already in `out`
    while (start >= 0) {
        EncodedWord word;
        if (!ReadEncodedWord(value, start, &word)) {
            start = value.indexOf(QByteArrayView("=?"), start + 2);
            continue;
        }
        const QByteArrayView between = value.sliced(copied, word.begin - copied);
        // RFC 2047 §6.2: white space between adjacent encoded words is not displayed.
        if (run.Pending() && IsAllBlank(between)) {
            if (word.charset != run.Charset())
                run.Flush();
        } else {
            run.Flush();
            out += decodeRaw(between);
        }
        run.Add(word);
        copied = word.end;
        start = value.indexOf(QByteArrayView("=?"), word.end);
    }
    run.Flush();
    out += decodeRaw(value.sliced(copied));
    return out;
}

QString CharsetFromContentType(const QString& contentType)
{
    // Only the charset's own text is put in upper case: this runs for every listed header.
    qsizetype at = contentType.indexOf(QLatin1String("charset="), 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    at += 8;
    const QStringView text(contentType);
    if (at < text.size() && text[at] == u'"') {
        const qsizetype close = text.indexOf(u'"', at + 1);
        return (close < 0 ? text.sliced(at + 1) : text.sliced(at + 1, close - at - 1)).toString().toUpper();
    }
    const qsizetype semicolon = text.indexOf(u';', at);
    return (semicolon < 0 ? text.sliced(at) : text.sliced(at, semicolon - at)).trimmed().toString().toUpper();
}

}  // namespace brevio
