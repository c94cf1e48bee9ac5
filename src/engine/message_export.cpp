#include "engine/message_export.h"

#include "mime/header_date.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <array>
#include <future>

namespace brevio {

namespace {

bool IsPlainIdByte(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_';
}

// Writes `bytes` at `out` as an Id part (at most three bytes each); returns the end.
char* PutIdPart(char* out, QByteArrayView bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        if (IsPlainIdByte(c)) {
            *out++ = c;
        } else {
            *out++ = '%';
            *out++ = kHex[uchar(c) >> 4];
            *out++ = kHex[uchar(c) & 15];
        }
    }
    return out;
}

void AppendIdPart(QByteArray& text, QByteArrayView bytes)
{
    const qsizetype start = text.size();
    text.resize(start + 3 * bytes.size());
    text.truncate(PutIdPart(text.data() + start, bytes) - text.constData());
}

}  // namespace

// What an Id is made of, viewed in the row or the found message that has it.
struct TIdParts {
    QByteArrayView Folder;
    quint32 UidValidity = 0;
    quint32 Uid = 0;
    QByteArrayView UniqueId;

    static TIdParts Of(const TMessageIdentity& id) { return {id.Folder, id.UidValidity, id.Uid, id.UniqueId}; }
    static TIdParts Of(const TListedHeader& m) { return {m.Folder, m.UidValidity, m.Uid, m.UniqueId}; }
};

// The Id column as bytes (it is plain ASCII). The rows of one mailbox and folder share all of it
// but the last part, so that is kept from row to row.
class TIdWriter {
public:
    // The most bytes the Id of `id` in mailbox `mailBox` takes; readies the part it shares with
    // the Ids before it, for Put.
    qsizetype Room(QStringView mailBox, const TIdParts& id)
    {
        if (id.Uid == 0 && id.UniqueId.isEmpty())
            return 0;
        const bool imap = id.Uid != 0;
        if (!valid_ || imap != imap_ || mailBox != mailBox_
            || (imap && (id.Folder != folder_ || id.UidValidity != uidValidity_))) {
            valid_ = true;
            imap_ = imap;
            mailBox_ = mailBox.toString();
            folder_ = id.Folder.toByteArray();
            uidValidity_ = id.UidValidity;
            prefix_ = imap ? "imap:" : "pop3:";
            AppendIdPart(prefix_, mailBox_.toUtf8());
            prefix_ += ':';
            if (imap) {
                AppendIdPart(prefix_, id.Folder);
                prefix_ += ':' + QByteArray::number(id.UidValidity) + ':';
            }
        }
        return prefix_.size() + (imap ? kUidDigits : 3 * id.UniqueId.size());
    }

    // Writes the Id of `id`, readied by Room, at `out`; returns the end.
    char* Put(char* out, const TIdParts& id) const
    {
        if (id.Uid == 0 && id.UniqueId.isEmpty())
            return out;
        out = std::copy(prefix_.cbegin(), prefix_.cend(), out);
        if (id.Uid != 0)
            return std::to_chars(out, out + kUidDigits, id.Uid).ptr;
        return PutIdPart(out, id.UniqueId);
    }

    // Appends the Id of `id` in mailbox `mailBox` to `text`.
    void Append(QByteArray& text, QStringView mailBox, const TIdParts& id)
    {
        const qsizetype start = text.size();
        text.resize(start + Room(mailBox, id));
        text.truncate(Put(text.data() + start, id) - text.constData());
    }

private:
    static constexpr qsizetype kUidDigits = 10;  // of a 32-bit number

    bool valid_ = false;
    bool imap_ = false;
    QString mailBox_;
    QByteArray folder_;
    quint32 uidValidity_ = 0;
    QByteArray prefix_;
};

// One row's fields as the TSV writer takes them: views of the row or the message they come from.
struct TTsvWriter::TFields {
    qint32 Number = 0;
    QStringView Subject;
    const QStringView* From = nullptr;  // the pieces of the sender's text
    int FromPieces = 0;
    QStringView MailBox;
    qint32 Size = -1;
    const QDateTime* Date = nullptr;
    QStringView Folder;
    TSpamJudgement Judgement = TSpamJudgement::Unknown;
    TIdParts Id;
};

namespace {

// One line per field: a TAB, CR or LF inside would split the row or the line. A field without
// them (nearly all) is not copied.
QString OneLine(const QString& text)
{
    const auto breaks = [](QChar c) { return c == u'\t' || c == u'\r' || c == u'\n'; };
    if (std::none_of(text.begin(), text.end(), breaks))
        return text;
    QString line = text;
    std::replace_if(line.begin(), line.end(), breaks, u' ');
    return line;
}

// Writes `value` as `width` decimal digits at `out`.
// `value` (not negative) as `width` decimal digits, leading zeros included.
template <typename Char>
void PutDigits(Char* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = Char(u'0' + value % 10);
}

// yyyy-MM-dd, written by hand: Qt's own forms go through a printf per field, which shows in a
// listing of tens of thousands of rows. Years outside 0 to 9999 take Qt's general way.
QString DateText(QDate date)
{
    if (!date.isValid())
        return {};
    if (date.year() < 0 || date.year() > 9999)
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    QString text(10, u'-');
    PutDigits(text.data(), date.year(), 4);
    PutDigits(text.data() + 5, date.month(), 2);
    PutDigits(text.data() + 8, date.day(), 2);
    return text;
}

// HH:mm:ss.
QString TimeText(QTime time)
{
    if (!time.isValid())
        return {};
    QString text(8, u':');
    PutDigits(text.data(), time.hour(), 2);
    PutDigits(text.data() + 3, time.minute(), 2);
    PutDigits(text.data() + 6, time.second(), 2);
    return text;
}

constexpr int kColumns = 10;

// std::array rather than a plain array member: the copy the compiler writes for a plain array
// names a loop index that the reserved-identifier check reports.
struct TPlainRow {
    std::array<QString, kColumns> Fields;
};

// "spam", "ham" or empty, as scripts read it.
QString SpamText(const TSpamVerdict& verdict)
{
    return QString::fromLatin1(JudgementKeyword(verdict.Judgement));
}

TPlainRow PlainRow(const TMessageRow& row)
{
    // yyyy-MM-dd and HH:mm:ss, whatever the locale, so scripts can read them.
    const TLocalDateTime local = LocalDateAndTime(row.Date);
    TPlainRow plain{{TMessageRowTexts::Number(row), row.Subject, row.From, row.MailBox, TMessageRowTexts::Size(row),
                     DateText(local.Date),
                     TimeText(local.Time), row.Folder, SpamText(row.Spam), MessageIdText(row.MailBox, row.Id)}};
    for (QString& field : plain.Fields)
        field = OneLine(field);
    return plain;
}

QList<TPlainRow> PlainRows(const QList<TMessageRow>& rows)
{
    QList<TPlainRow> result;
    result.reserve(rows.size());
    for (const TMessageRow& row : rows)
        result.append(PlainRow(row));
    return result;
}

const QString kHeaders[kColumns] = {QStringLiteral("No"),      QStringLiteral("Subject"), QStringLiteral("From"),
                                    QStringLiteral("Mailbox"), QStringLiteral("Size"),    QStringLiteral("Date"),
                                    QStringLiteral("Time"),    QStringLiteral("Folder"),  QStringLiteral("Spam"),
                                    QStringLiteral("Id")};

QByteArray Tsv(const QList<TMessageRow>& rows)
{
    QByteArray all;
    WriteTsvRows(rows, [&all](QByteArrayView piece) { all += piece; });
    return all;
}

// `text` cut to at most `width` columns, an ellipsis standing for what is left out.
QString CutToWidth(const QString& text, int width)
{
    if (DisplayWidth(text) <= width)
        return text;
    int used = 0;
    qsizetype end = 0;
    // Whole characters only, with the marks that combine with the last one kept.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype next = i + (text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1);
        used += DisplayWidth(QStringView(text).mid(i, next - i));
        if (used > width - 1)
            break;
        end = i = next;
    }
    return text.left(end) + QChar(0x2026);
}

QByteArray Table(const QList<TPlainRow>& rows)
{
    // Long subjects and senders are cut so a row fits a terminal line; the Id never is, as a
    // cut one names nothing.
    constexpr int kMaxWidth = 40;
    constexpr int kIdColumn = kColumns - 1;
    int widths[kColumns];
    for (int c = 0; c < kColumns; ++c)
        widths[c] = DisplayWidth(kHeaders[c]);
    QList<TPlainRow> cut = rows;
    for (TPlainRow& row : cut) {
        for (int c = 0; c < kColumns; ++c) {
            QString& field = row.Fields[c];
            if (c != kIdColumn)
                field = CutToWidth(field, kMaxWidth);
            widths[c] = std::max(widths[c], DisplayWidth(field));
        }
    }
    const auto line = [&](const QString* fields) {
        QString text;
        for (int c = 0; c < kColumns; ++c) {
            // Padded by the columns the text takes on a terminal, not by its characters.
            const QString padding(widths[c] - DisplayWidth(fields[c]), u' ');
            // Numbers read best right-aligned.
            const bool right = c == 0 || c == 4;
            text += right ? padding + fields[c] : fields[c] + padding;
            if (c < kColumns - 1)
                text += QStringLiteral("  ");
        }
        while (text.endsWith(u' '))
            text.chop(1);
        return text + u'\n';
    };
    QString text = line(kHeaders);
    for (const TPlainRow& row : std::as_const(cut))
        text += line(row.Fields.data());
    return text.toUtf8();
}

// The verdict: "spam" (spam, ham or empty), "score" (a number, or null without one) and the
// authentication results "spf", "dkim" and "dmarc" (RFC 8601 keywords; empty when not given).
void InsertSpamFields(QJsonObject& object, const TSpamVerdict& verdict)
{
    object.insert(QStringLiteral("spam"), SpamText(verdict));
    object.insert(QStringLiteral("score"), verdict.HasScore ? QJsonValue(verdict.Score) : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("spf"), QString::fromLatin1(AuthResultKeyword(verdict.Spf)));
    object.insert(QStringLiteral("dkim"), QString::fromLatin1(AuthResultKeyword(verdict.Dkim)));
    object.insert(QStringLiteral("dmarc"), QString::fromLatin1(AuthResultKeyword(verdict.Dmarc)));
}

QByteArray Json(const QList<TMessageRow>& rows)
{
    QJsonArray array;
    for (const TMessageRow& row : rows) {
        QJsonObject object;
        object.insert(QStringLiteral("number"), row.Number);
        object.insert(QStringLiteral("subject"), row.Subject);
        object.insert(QStringLiteral("from"), row.From);
        object.insert(QStringLiteral("mailbox"), row.MailBox);
        object.insert(QStringLiteral("size"), qint64(row.Size));
        if (row.Date.isValid()) {
            const QDateTime local = ToLocalTime(row.Date);
            object.insert(QStringLiteral("date"), local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate));
        } else {
            object.insert(QStringLiteral("date"), QJsonValue::Null);
        }
        object.insert(QStringLiteral("folder"), row.Folder);
        InsertSpamFields(object, row.Spam);
        // Each field has one type: the IMAP4 UID is a number (0 for POP3), the POP3 unique id
        // a string (empty for IMAP4 and for a server without UIDL).
        object.insert(QStringLiteral("uid"), qint64(row.Id.Uid));
        object.insert(QStringLiteral("uidl"), QString::fromLatin1(row.Id.UniqueId));
        object.insert(QStringLiteral("id"), MessageIdText(row.MailBox, row.Id));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace

QByteArray ExportMessageRows(const QList<TMessageRow>& rows, TExportFormat format)
{
    switch (format) {
    case TExportFormat::Tsv:
        return Tsv(rows);
    case TExportFormat::Json:
        return Json(rows);
    case TExportFormat::Table:
        break;
    }
    return Table(PlainRows(rows));
}

namespace {

int HexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

// One part of an Id back to its bytes: only plain characters and "%" with two hex digits.
std::optional<QByteArray> DecodeIdPart(QStringView part)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < part.size(); ++i) {
        const char16_t c = part.at(i).unicode();
        if (c < 0x80 && IsPlainIdByte(char(c))) {
            bytes += char(c);
            continue;
        }
        if (c != u'%' || i + 2 >= part.size())
            return std::nullopt;
        const int high = HexDigit(part.at(i + 1));
        const int low = HexDigit(part.at(i + 2));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += char(high * 16 + low);
        i += 2;
    }
    return bytes;
}

// A UID or UIDVALIDITY: decimal digits only, within 32 bits.
std::optional<quint32> DecodeIdNumber(QStringView part)
{
    if (part.isEmpty() || part.size() > 10
        || !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const qulonglong value = part.toULongLong();
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return quint32(value);
}

struct TCodeRange {
    char32_t First;
    char32_t Last;
};

// The East Asian wide and fullwidth characters: CJK, kana, Hangul syllables, fullwidth forms,
// and the emoji terminals show two columns wide.
constexpr TCodeRange kWideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F2FF},
    {0x1F300, 0x1F320}, {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440},
    {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A},
    {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC},
    {0x1F6D0, 0x1F6D2}, {0x1F6D5, 0x1F6D7}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

int CharacterWidth(char32_t c)
{
    if (c < 0x300)
        return c >= 0x20 && (c < 0x7F || c >= 0xA0) ? 1 : 0;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
    case QChar::Other_Control:
        return 0;
    default:
        break;
    }
    // The vowels and final consonants of conjoining Hangul join the syllable before them.
    if (c >= 0x1160 && c <= 0x11FF)
        return 0;
    const auto* range = std::upper_bound(std::begin(kWideRanges), std::end(kWideRanges), c,
                                         [](char32_t value, const TCodeRange& r) { return value < r.First; });
    return range != std::begin(kWideRanges) && c <= std::prev(range)->Last ? 2 : 1;
}

QString ImapIdText(QByteArrayView mailBox, QByteArrayView folder, quint32 uidValidity, quint32 uid)
{
    QByteArray text = "imap:";
    AppendIdPart(text, mailBox);
    text += ':';
    AppendIdPart(text, folder);
    text += ':' + QByteArray::number(uidValidity) + ':' + QByteArray::number(uid);
    return QString::fromLatin1(text);
}

QString Pop3IdText(QByteArrayView mailBox, QByteArrayView uniqueId)
{
    QByteArray text = "pop3:";
    AppendIdPart(text, mailBox);
    text += ':';
    AppendIdPart(text, uniqueId);
    return QString::fromLatin1(text);
}

}  // namespace

TTsvWriter::TTsvWriter(std::function<void(QByteArrayView piece)> write)
    : write_(std::move(write)), ids_(std::make_unique<TIdWriter>()), folders_(std::make_unique<TMessageRowBuilder>()),
      utf8_(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless)
{
    text_.reserve(kPiece + 4096);
    qsizetype room = 0;
    for (const QString& name : kHeaders)
        room += utf8_.requiredSpace(name.size()) + 1;
    char* out = Room(room);
    for (int c = 0; c < kColumns; ++c)
        out = Field(out, kHeaders[c], c < kColumns - 1 ? '\t' : '\n');
    text_.truncate(out - text_.constData());
}

TTsvWriter::~TTsvWriter() = default;

char* TTsvWriter::Room(qsizetype bytes)
{
    const qsizetype start = text_.size();
    text_.resize(start + bytes);
    return text_.data() + start;
}

// Field by field straight into the UTF-8 text, so the listing is never copied row by row on the
// way; the text goes out in pieces.
char* TTsvWriter::Field(char* out, QStringView value, char end)
{
    out = Field(out, value);
    *out++ = end;
    return out;
}

char* TTsvWriter::Field(char* out, QStringView value)
{
    char* last = utf8_.appendToBuffer(out, value);
    // One line per field: a TAB, CR or LF inside would split the row or the line. These bytes
    // never occur inside a longer UTF-8 sequence.
    std::replace_if(out, last, [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return last;
}

char* TTsvWriter::Decimal(char* out, qint64 value, char end)
{
    out = std::to_chars(out, out + kDecimalRoom - 1, value).ptr;
    *out++ = end;
    return out;
}

void TTsvWriter::Add(const TMessageRow& row)
{
    const QStringView from(row.From);
    Add({row.Number, row.Subject, &from, 1, row.MailBox, row.Size, &row.Date, row.Folder, row.Spam.Judgement,
         TIdParts::Of(row.Id)});
}

void TTsvWriter::Add(const TMailBoxSettings& mailBox, const TFoundMessage& found, qsizetype position)
{
    const TListedHeader& message = found.Message;
    const TEmailAddressText from = message.From.TextPieces();
    Add({qint32(position + 1), message.Subject, from.Pieces.data(), from.Count, mailBox.Name, message.Size,
         &message.Date, folders_->FolderText(found), message.Spam.Judgement, TIdParts::Of(message)});
}

void TTsvWriter::Add(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
                     bool asExpected)
{
    if (asExpected && draft_.MailBox == &mailBox && draft_.Place == from && draft_.Count <= found.size() - from) {
        write_(text_);
        text_.truncate(0);
        write_(draft_.Text);
        from += draft_.Count;
    }
    draft_ = {};
    AddRun(mailBox, found, from, 0, {});
}

void TTsvWriter::Draft(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& messages, qsizetype place,
                       const std::function<bool()>& answered)
{
    draft_ = {};
    // Made by a writer of their own: what waits here to be written stays as it is.
    if (!drafter_)
        drafter_ = WithoutHeader([this](QByteArrayView piece) { draft_.Text.append(piece); });
    // A listing's text is never held whole: a huge folder's draft ends at some 100,000 rows.
    constexpr qsizetype kMostBytes = qsizetype{16} * 1024 * 1024;
    draft_.Count = drafter_->AddRun(mailBox, messages, 0, place,
                                    [&] { return draft_.Text.size() >= kMostBytes || answered(); });
    drafter_->Finish();
    draft_.MailBox = &mailBox;
    draft_.Place = place;
}

std::unique_ptr<TTsvWriter> TTsvWriter::WithoutHeader(std::function<void(QByteArrayView piece)> write)
{
    auto writer = std::make_unique<TTsvWriter>(std::move(write));
    writer->text_.clear();
    return writer;
}

qsizetype TTsvWriter::AddRun(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
                             qsizetype shift, const std::function<bool()>& stop)
{
    // In blocks, the second half of each made by the helper on a thread of its own while this one
    // makes the first. Rows only read the messages and keep what they reuse (the Id's start, the
    // folder's name) each in its own writer, so the two threads share nothing they write.
    constexpr qsizetype kHalfBlock = 4096;
    const auto stopped = [&] { return stop && stop(); };
    while (found.size() - from >= 2 * kHalfBlock) {
        if (stopped())
            return from;
        if (!helper_)
            helper_ = WithoutHeader([this](QByteArrayView piece) { helperText_.append(piece); });
        std::future<void> second = std::async(std::launch::async, [this, &mailBox, &found, from, shift] {
            for (qsizetype i = from + kHalfBlock; i < from + 2 * kHalfBlock; ++i)
                helper_->Add(mailBox, found.at(i), i + shift);
            helper_->Finish();
        });
        for (qsizetype i = from; i < from + kHalfBlock; ++i)
            Add(mailBox, found.at(i), i + shift);
        second.get();
        write_(text_);
        text_.truncate(0);
        write_(helperText_);
        helperText_.truncate(0);
        from += 2 * kHalfBlock;
    }
    if (stopped())
        return from;
    for (; from < found.size(); ++from)
        Add(mailBox, found.at(from), from + shift);
    return from;
}

void TTsvWriter::Add(const TFields& row)
{
    const TLocalDateTime local = LocalDateAndTime(*row.Date);
    // The date and time straight as digits (the common case), else through their texts.
    // 0000-01-01 to 9999-12-31 by their Julian days.
    constexpr qint64 kFirstPlainDay = 1721060;
    constexpr qint64 kLastPlainDay = 5373484;
    const bool plainDate = local.Date.isValid() && local.Date.toJulianDay() >= kFirstPlainDay
        && local.Date.toJulianDay() <= kLastPlainDay && local.Time.isValid();
    const QString dateText = plainDate ? QString() : DateText(local.Date);
    const QString timeText = plainDate ? QString() : TimeText(local.Time);
    const QByteArray spam = JudgementKeyword(row.Judgement);  // plain ASCII words
    // Room for the whole row at once; the fields are then written without a check each.
    static constexpr char kPlainDate[] = "0000-00-00\t00:00:00\t";
    constexpr qsizetype kPlainDateBytes = sizeof(kPlainDate) - 1;
    qsizetype room = 2 * kDecimalRoom + kPlainDateBytes + spam.size() + 1 + ids_->Room(row.MailBox, row.Id) + 1;
    qsizetype fromSize = 0;
    for (int i = 0; i < row.FromPieces; ++i)
        fromSize += row.From[i].size();
    room += utf8_.requiredSpace(fromSize) + 1;
    for (const QStringView text : {row.Subject, row.MailBox, QStringView(dateText), QStringView(timeText), row.Folder})
        room += utf8_.requiredSpace(text.size()) + 1;
    char* out = Room(room);
    out = Decimal(out, row.Number, '\t');
    out = Field(out, row.Subject, '\t');
    for (int i = 0; i + 1 < row.FromPieces; ++i)
        out = Field(out, row.From[i]);
    out = Field(out, row.FromPieces > 0 ? row.From[row.FromPieces - 1] : QStringView(), '\t');
    out = Field(out, row.MailBox, '\t');
    out = Decimal(out, row.Size, '\t');
    if (plainDate) {
        char* digits = out;
        out = std::copy_n(kPlainDate, kPlainDateBytes, out);
        int year = 0;
        int month = 0;
        int day = 0;
        local.Date.getDate(&year, &month, &day);  // one calendar reckoning for the three
        PutDigits(digits, year, 4);
        PutDigits(digits + 5, month, 2);
        PutDigits(digits + 8, day, 2);
        PutDigits(digits + 11, local.Time.hour(), 2);
        PutDigits(digits + 14, local.Time.minute(), 2);
        PutDigits(digits + 17, local.Time.second(), 2);
    } else {
        out = Field(out, dateText, '\t');
        out = Field(out, timeText, '\t');
    }
    out = Field(out, row.Folder, '\t');
    out = std::copy(spam.cbegin(), spam.cend(), out);
    *out++ = '\t';
    out = ids_->Put(out, row.Id);
    *out++ = '\n';
    text_.truncate(out - text_.constData());
    if (text_.size() >= kPiece) {
        write_(text_);
        text_.truncate(0);
    }
}

void TTsvWriter::Finish()
{
    write_(text_);
    text_.truncate(0);
}

void WriteTsvRows(const QList<TMessageRow>& rows, const std::function<void(QByteArrayView piece)>& write)
{
    TTsvWriter writer(write);
    for (const TMessageRow& row : rows)
        writer.Add(row);
    writer.Finish();
}

QString MessageIdText(const QString& mailBoxName, const TMessageIdentity& id)
{
    QByteArray text;
    TIdWriter().Append(text, mailBoxName, TIdParts::Of(id));
    return QString::fromLatin1(text);
}

std::optional<QString> CanonicalMessageId(QStringView text)
{
    const QList<QStringView> parts = text.split(u':');
    if (parts.size() == 5 && parts.at(0) == u"imap") {
        const std::optional<QByteArray> mailBox = DecodeIdPart(parts.at(1));
        const std::optional<QByteArray> folder = DecodeIdPart(parts.at(2));
        const std::optional<quint32> uidValidity = DecodeIdNumber(parts.at(3));
        const std::optional<quint32> uid = DecodeIdNumber(parts.at(4));
        if (!mailBox || !folder || !uidValidity || !uid || *uid == 0)
            return std::nullopt;
        return ImapIdText(*mailBox, *folder, *uidValidity, *uid);
    }
    if (parts.size() == 3 && parts.at(0) == u"pop3") {
        const std::optional<QByteArray> mailBox = DecodeIdPart(parts.at(1));
        const std::optional<QByteArray> uniqueId = DecodeIdPart(parts.at(2));
        if (!mailBox || !uniqueId || uniqueId->isEmpty())
            return std::nullopt;
        return Pop3IdText(*mailBox, *uniqueId);
    }
    return std::nullopt;
}

int DisplayWidth(QStringView text)
{
    int width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text.at(++i).unicode());
        width += CharacterWidth(c);
    }
    return width;
}

}  // namespace brevio
