#include "engine/message_export.h"

#include "mime/header_date.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace brevio {

namespace {

// One line per field: a TAB, CR or LF inside would split the row or the line.
QString OneLine(QString text)
{
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return text;
}

struct TPlainRow {
    QString Fields[8];
};

TPlainRow PlainRow(const TListedMessage& listed)
{
    const auto& [row, message] = listed;
    const QDateTime local = message.Date.isValid() ? ToLocalTime(message.Date) : QDateTime();
    TPlainRow plain{{row.Number, row.Subject, row.From, row.MailBox, row.Size,
                     local.isValid() ? local.toString(QStringLiteral("yyyy-MM-dd")) : QString(),
                     local.isValid() ? local.toString(QStringLiteral("HH:mm:ss")) : QString(), row.Folder}};
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

// Line by line, so a big listing is never held a second time as text.
QByteArray Tsv(const QList<TListedMessage>& messages)
{
    const auto line = [](const QString* fields) {
        return (QStringList(fields, fields + 8).join(u'\t') + u'\n').toUtf8();
    };
    QByteArray text = line(kHeaders);
    for (const TListedMessage& listed : messages)
        text += line(PlainRow(listed).Fields);
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
