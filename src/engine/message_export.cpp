#include "engine/message_export.h"

#include "mime/header_date.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringEncoder>

#include <algorithm>

namespace brevio {

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
void PutDigits(QChar* out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = QChar(u'0' + value % 10);
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

struct TPlainRow {
    QString Fields[8];
};

TPlainRow PlainRow(const TListedMessage& listed)
{
    const auto& [row, message] = listed;
    // yyyy-MM-dd and HH:mm:ss, whatever the locale, so scripts can read them.
    const TLocalDateTime local = LocalDateAndTime(message.Date);
    TPlainRow plain{{row.Number, row.Subject, row.From, row.MailBox, row.Size,
                     DateText(local.Date), TimeText(local.Time), row.Folder}};
    for (QString& field : plain.Fields)
        field = OneLine(field);
    return plain;
}

QList<TPlainRow> PlainRows(const QList<TListedMessage>& messages)
{
    QList<TPlainRow> result;
    result.reserve(messages.size());
    for (const TListedMessage& listed : messages)
        result.append(PlainRow(listed));
    return result;
}

const QString kHeaders[8] = {QStringLiteral("No"),   QStringLiteral("Subject"), QStringLiteral("From"),
                             QStringLiteral("Mailbox"), QStringLiteral("Size"), QStringLiteral("Date"),
                             QStringLiteral("Time"), QStringLiteral("Folder")};

// Field by field straight into the UTF-8 text, so a big listing is never held a second time as
// text, nor copied row by row on the way.
QByteArray Tsv(const QList<TListedMessage>& messages)
{
    QByteArray text;
    // Stateless: each field stands alone, a stray half of a surrogate pair included.
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const auto field = [&](QStringView value, char end) {
        const qsizetype start = text.size();
        text.resize(start + utf8.requiredSpace(value.size()) + 1);
        char* last = utf8.appendToBuffer(text.data() + start, value);
        // One line per field: a TAB, CR or LF inside would split the row or the line. These
        // bytes never occur inside a longer UTF-8 sequence.
        std::replace_if(text.data() + start, last, [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
        *last++ = end;
        text.truncate(last - text.constData());
    };
    for (int c = 0; c < 8; ++c)
        field(kHeaders[c], c < 7 ? '\t' : '\n');
    for (const auto& [row, message] : messages) {
        const TLocalDateTime local = LocalDateAndTime(message.Date);
        field(row.Number, '\t');
        field(row.Subject, '\t');
        field(row.From, '\t');
        field(row.MailBox, '\t');
        field(row.Size, '\t');
        field(DateText(local.Date), '\t');
        field(TimeText(local.Time), '\t');
        field(row.Folder, '\n');
    }
    return text;
}

QByteArray Table(const QList<TPlainRow>& rows)
{
    // Long subjects and senders are cut so a row fits a terminal line.
    constexpr qsizetype kMaxWidth = 40;
    qsizetype widths[8];
    for (int c = 0; c < 8; ++c)
        widths[c] = kHeaders[c].size();
    QList<TPlainRow> cut = rows;
    for (TPlainRow& row : cut) {
        for (int c = 0; c < 8; ++c) {
            QString& field = row.Fields[c];
            if (field.size() > kMaxWidth)
                field = field.left(kMaxWidth - 1) + QChar(0x2026);
            widths[c] = std::max(widths[c], field.size());
        }
    }
    const auto line = [&](const QString* fields) {
        QString text;
        for (int c = 0; c < 8; ++c) {
            // Numbers read best right-aligned.
            const bool right = c == 0 || c == 4;
            text += right ? fields[c].rightJustified(widths[c]) : fields[c].leftJustified(widths[c]);
            if (c < 7)
                text += QStringLiteral("  ");
        }
        while (text.endsWith(u' '))
            text.chop(1);
        return text + u'\n';
    };
    QString text = line(kHeaders);
    for (const TPlainRow& row : std::as_const(cut))
        text += line(row.Fields);
    return text.toUtf8();
}

QByteArray Json(const QList<TListedMessage>& messages)
{
    QJsonArray array;
    for (const auto& [row, message] : messages) {
        QJsonObject object;
        object.insert(QStringLiteral("number"), row.Number.toInt());
        object.insert(QStringLiteral("subject"), row.Subject);
        object.insert(QStringLiteral("from"), row.From);
        object.insert(QStringLiteral("mailbox"), row.MailBox);
        object.insert(QStringLiteral("size"), qint64(message.Size));
        if (message.Date.isValid()) {
            const QDateTime local = ToLocalTime(message.Date);
            object.insert(QStringLiteral("date"),
                          local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate));
        } else {
            object.insert(QStringLiteral("date"), QJsonValue::Null);
        }
        object.insert(QStringLiteral("folder"), row.Folder);
        // IMAP4: the UID in its folder; POP3: the unique id from UIDL; null when unknown.
        if (row.Id.Uid != 0)
            object.insert(QStringLiteral("uid"), qint64(row.Id.Uid));
        else if (!row.Id.UniqueId.isEmpty())
            object.insert(QStringLiteral("uid"), QString::fromLatin1(row.Id.UniqueId));
        else
            object.insert(QStringLiteral("uid"), QJsonValue::Null);
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

}  // namespace

QByteArray ExportMessageRows(const QList<TListedMessage>& messages, TExportFormat format)
{
    switch (format) {
    case TExportFormat::Tsv:
        return Tsv(messages);
    case TExportFormat::Json:
        return Json(messages);
    case TExportFormat::Table:
        break;
    }
    return Table(PlainRows(messages));
}

}  // namespace brevio
