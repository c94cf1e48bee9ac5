#pragma once
// Reading e-mail addresses from header values. TEmailAddress itself lives in mail_message.h.

#include "mime/mail_message.h"
#include "support/exception.h"

#include <QByteArrayView>
#include <QString>

namespace brevio {

// An address text that cannot be read as one e-mail address (an "@" after a closed "<...>").
class EAddressParseError : public Exception {
public:
    using Exception::Exception;
};

// Splits an address text into display name and address. Throws EAddressParseError
// ("@ Outside address") for an "@" after an address in angle brackets has closed.
void ParseEmailAddressText(const QString& text, QString& name, QString& address);

// One address from a raw header value ("From", "Sender"). Encoded words and 8-bit bytes in the
// name and address are decoded (see DecodeHeaderWords; `charset` is the Content-Type charset).
// Never throws: an address that cannot be parsed keeps its decoded text in Raw.
TEmailAddress ParseHeaderAddress(QByteArrayView value, QByteArrayView charset = {});

// An address list from a raw header value ("To", "Cc", "Reply-To"): cut at commas and
// semicolons outside quoted strings, comments and angle brackets, group names dropped, empty
// entries left out. Never throws.
TEmailAddressList ParseHeaderAddressList(QByteArrayView value, QByteArrayView charset = {});

}  // namespace brevio
