// Address header values (From, To, Reply-To) and the text form the address fields are edited in.
#include "mime/email_address.h"

#include <QByteArray>
#include <QString>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView value(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const brevio::TEmailAddress& address : brevio::ParseHeaderAddressList(value, "KOI8-R"))
        (void)address.Text();
    const brevio::TEmailAddress single = brevio::ParseHeaderAddress(value);
    // A value of plain address characters alone is one address, read by the quick way or the
    // scan: as a list of one (always the scan) it must read the same.
    const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '.' || c == '@' || c == '<'
            || c == '>' || c == '-' || c == '=';
    });
    const brevio::TEmailAddressList list = brevio::ParseHeaderAddressList(value);
    if (plain && list.size() == 1
        && (list.first().Name != single.Name || list.first().Address != single.Address || list.first().Raw != single.Raw))
        __builtin_trap();
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
