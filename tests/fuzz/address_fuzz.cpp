// Address header values (From, To, Reply-To) and the text form the address fields are edited in.
#include "mime/email_address.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView value(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const brevio::TEmailAddress& address : brevio::ParseHeaderAddressList(value, "KOI8-R"))
        (void)address.Text();
    const brevio::TEmailAddress single = brevio::ParseHeaderAddress(value);
    // Reading an address text may refuse it (an "@" after the brackets closed), never crash.
    try {
        brevio::TEmailAddress again;
        again.SetText(single.Text());
        QString name, address;
        brevio::ParseEmailAddressText(QString::fromUtf8(value), name, address);
    } catch (const brevio::EAddressParseError&) {
    }
    return 0;
}
