#include "mime/mail_message.h"

#include "mime/email_address.h"
#include "mime/header_date.h"
#include "mime/header_decoding.h"
#include "mime/header_lookup.h"

#include <exception>

namespace brevio {

namespace {

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

TListedHeader::TListedHeader(TMailMessage&& message)
    : Subject(std::move(message.Subject)), From(std::move(message.From)), Date(message.Date.toUTC()),
      Size(message.Size), Folder(std::move(message.Folder)), Uid(message.Uid), UidValidity(message.UidValidity),
      UniqueId(std::move(message.UniqueId)), Spam(message.Spam)
{
    // The raw text is only shown for an address that could not be read.
    if (!From.Name.isEmpty() || !From.Address.isEmpty())
        From.Raw.clear();
}

TListedHeader ParseListedHeader(const QList<QByteArray>& lines, QByteArrayView trustedAuthServId)
{
    const auto header = [&lines](const char* name) { return HeaderValue(lines, name); };
    TListedHeader listed;
    QByteArray charset;
    Guarded([&] { charset = CharsetFromContentType(DecodeRawHeaderText(header("Content-Type"))).toLatin1(); });
    Guarded([&] { listed.Subject = DecodeHeaderWords(header("Subject"), charset); });
    Guarded([&] { listed.From = ParseHeaderAddress(header("From"), charset); });
    Guarded([&] { listed.Date = HeaderToUtcDateTime(header("Date")); });
    Guarded([&] { listed.Spam = ReadSpamVerdict(lines, trustedAuthServId); });
    if (!listed.From.Name.isEmpty() || !listed.From.Address.isEmpty())
        listed.From.Raw.clear();
    return listed;
}

void TMailMessage::ParseHeaders(QByteArrayView trustedAuthServId)
{
    const auto header = [this](const char* name) { return HeaderValue(RawHeaders, name); };
    QByteArray charset;

    Guarded([&] {
        ContentType = DecodeRawHeaderText(header("Content-Type"));
        CharSet = CharsetFromContentType(ContentType);
        charset = CharSet.toLatin1();
    });
    Guarded([&] { ContentTransferEncoding = DecodeRawHeaderText(header("Content-Transfer-Encoding")); });
    Guarded([&] { ContentDisposition = DecodeHeaderWords(header("Content-Disposition"), charset); });
    Guarded([&] { Subject = DecodeHeaderWords(header("Subject"), charset); });
    Guarded([&] { From = ParseHeaderAddress(header("From"), charset); });
    Guarded([&] { MessageId = DecodeRawHeaderText(header("Message-Id"), charset); });
    Guarded([&] {
        NewsGroups.clear();
        for (const QByteArray& group : header("Newsgroups").split(',')) {
            const QByteArray name = group.trimmed();
            if (!name.isEmpty())
                NewsGroups.append(DecodeRawHeaderText(name, charset));
        }
    });
    Guarded([&] { Recipients = ParseHeaderAddressList(header("To"), charset); });
    Guarded([&] { CCList = ParseHeaderAddressList(header("Cc"), charset); });
    Guarded([&] { Organization = DecodeHeaderWords(header("Organization"), charset); });
    Guarded([&] {
        QByteArray value = header("Disposition-Notification-To");
        if (value.isEmpty())
            value = header("Return-Receipt-To");
        ReceiptRecipient = ParseHeaderAddress(value, charset);
    });
    Guarded([&] { References = DecodeRawHeaderText(header("References"), charset); });
    Guarded([&] { ReplyTo = ParseHeaderAddressList(header("Reply-To"), charset); });
    Guarded([&] { Date = HeaderToLocalDateTime(header("Date")); });
    Guarded([&] { Sender = ParseHeaderAddress(header("Sender"), charset); });
    Guarded([&] {
        Priority =
            PriorityFromValue(FindHeaderLine(RawHeaders, "Priority") >= 0 ? header("Priority") : header("X-Priority"));
    });
    Guarded([&] { Spam = ReadSpamVerdict(RawHeaders, trustedAuthServId); });
}

}  // namespace brevio
