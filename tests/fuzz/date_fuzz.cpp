// Date header values, the strict form and the many broken ones mail programs send.
#include "mime/header_date.h"

#include <QByteArrayView>
#include <QDateTime>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QDateTime when =
        brevio::HeaderToLocalDateTime(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (when.isValid())
        (void)when.toString(Qt::ISODate);
    return 0;
}
