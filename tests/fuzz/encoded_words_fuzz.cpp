// Header text with encoded words. The first byte picks the charset that bare 8-bit bytes are read
// in, as a message's Content-Type would.
#include "mime/header_decoding.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const kCharsets[] = {"",           "UTF-8",  "KOI8-R",    "windows-1251",
                                            "ISO-8859-1", "GB2312", "x-unknown", "ISO-2022-JP"};
    const QByteArrayView charset(kCharsets[data[0] % 8]);
    const QByteArrayView value(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    (void)brevio::DecodeHeaderWords(value, charset);
    (void)brevio::DecodeRawHeaderText(value, charset);
    for (qsizetype at = value.indexOf(QByteArrayView("=?")); at >= 0;
         at = value.indexOf(QByteArrayView("=?"), at + 1)) {
        const auto span = brevio::FindEncodedWordSpan(value, at);
        if (span && (span->TextBegin < at || span->TextEnd < span->TextBegin || span->TextEnd > value.size()))
            __builtin_trap();  // a span outside the value would make the decoder read past it
    }
    (void)brevio::CharsetFromContentType(QString::fromUtf8(value));
    return 0;
}
