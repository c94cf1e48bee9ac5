#include "protocol/mail_message.h"

#include "protocol/email_address.h"
#include "protocol/header_date.h"
#include "protocol/header_decoding.h"
#include "protocol/header_lookup.h"

#include <QHash>

#include <exception>

namespace brevio {

namespace {

// First line of every header name, built in one pass so that each lookup is cheap.
class HeaderIndex {
public:
    explicit HeaderIndex(const QList<QByteArray>& lines) : lines_(lines)
    {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray& line = lines[i];
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0 || line[0] == ' ' || line[0] == '\t')
                continue;
            QByteArray name = line.left(colon).toLower();
            if (!firstLine_.contains(name))
                firstLine_.insert(std::move(name), i);
        }
    }

    QByteArray Value(const char* name) const
    {
        const auto it = firstLine_.constFind(QByteArray(name).toLower());
        return it == firstLine_.cend() ? QByteArray() : HeaderValueAt(lines_, it.value());
    }

    bool Has(const char* name) const { return firstLine_.contains(QByteArray(name).toLower()); }

private:
    const QList<QByteArray>& lines_;
    QHash<QByteArray, qsizetype> firstLine_;
};

// Runs one field's parsing; a fault in one header never keeps the others from being read.
template <typename F>
void Guarded(F&& parse)
{
    try {
        parse();
    } catch (const std::exception&) {
        // The field keeps its default value.
    }
}

TMessagePriority PriorityFromValue(const QByteArray& value)
{
    const QByteArray lower = value.toLower();
    // RFC 2156 "non-urgent" must be tested before "urgent", which it contains.
    if (lower.contains("non-urgent") || lower.contains("non-priority"))
        return TMessagePriority::Low;
    if (lower.contains("urgent"))
        return TMessagePriority::High;
    qsizetype end = 0;
    while (end < lower.size() && lower[end] >= '0' && lower[end] <= '9')
        ++end;
    if (end == 0 || end > 2)
        return TMessagePriority::Normal;
    const int number = lower.left(end).toInt();
    if (number < 1 || number > 5)
        return TMessagePriority::Normal;
    return static_cast<TMessagePriority>(number);
}

}  // namespace

void TMailMessage::ParseHeaders()
{
    const HeaderIndex headers(RawHeaders);
    QByteArray charset;

    Guarded([&] {
        ContentType = DecodeRawHeaderText(headers.Value("Content-Type"));
        CharSet = CharsetFromContentType(ContentType);
        charset = CharSet.toLatin1();
    });
    Guarded([&] { ContentTransferEncoding = DecodeRawHeaderText(headers.Value("Content-Transfer-Encoding")); });
    Guarded([&] { ContentDisposition = DecodeHeaderWords(headers.Value("Content-Disposition"), charset); });
    Guarded([&] { Subject = DecodeHeaderWords(headers.Value("Subject"), charset); });
    Guarded([&] { From = ParseHeaderAddress(headers.Value("From"), charset); });
    Guarded([&] { MessageId = DecodeRawHeaderText(headers.Value("Message-Id"), charset); });
    Guarded([&] {
        NewsGroups.clear();
        for (const QByteArray& group : headers.Value("Newsgroups").split(',')) {
            const QByteArray name = group.trimmed();
            if (!name.isEmpty())
                NewsGroups.append(DecodeRawHeaderText(name, charset));
        }
    });
    Guarded([&] { Recipients = ParseHeaderAddressList(headers.Value("To"), charset); });
    Guarded([&] { CCList = ParseHeaderAddressList(headers.Value("Cc"), charset); });
    Guarded([&] { Organization = DecodeHeaderWords(headers.Value("Organization"), charset); });
    Guarded([&] {
        QByteArray value = headers.Value("Disposition-Notification-To");
        if (value.isEmpty())
            value = headers.Value("Return-Receipt-To");
        ReceiptRecipient = ParseHeaderAddress(value, charset);
    });
    Guarded([&] { References = DecodeRawHeaderText(headers.Value("References"), charset); });
    Guarded([&] { ReplyTo = ParseHeaderAddressList(headers.Value("Reply-To"), charset); });
    Guarded([&] { Date = HeaderToLocalDateTime(headers.Value("Date")); });
    Guarded([&] { Sender = ParseHeaderAddress(headers.Value("Sender"), charset); });
    Guarded([&] {
        Priority = PriorityFromValue(headers.Has("Priority") ? headers.Value("Priority") : headers.Value("X-Priority"));
    });
}

}  // namespace brevio
