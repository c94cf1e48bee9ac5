#include "imap/imap_folder_name.h"

namespace brevio {

namespace {

bool IsModifiedBase64Char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == ',';
}

// Decodes the text between "&" and "-"; false when it is not valid modified base64 of UTF-16.
bool DecodeShifted(QByteArrayView encoded, QString* out)
{
    QByteArray base64;
    base64.reserve(encoded.size() + 3);
    for (char c : encoded) {
        if (!IsModifiedBase64Char(c))
            return false;
        base64 += c == ',' ? '/' : c;
    }
    const auto result = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!result || result.decoded.isEmpty() || result.decoded.size() % 2 != 0)
        return false;
    const QByteArray& bytes = result.decoded;
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i < bytes.size(); i += 2)
        text += QChar(char16_t((static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1])));
    *out += text;
    return true;
}

}  // namespace

QString DecodeImapFolderName(const QByteArray& name, TImapNameEncoding encoding)
{
    if (encoding == TImapNameEncoding::Utf8)
        return QString::fromUtf8(name);
    for (char c : name) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return QString::fromUtf8(name);
    }
    QString out;
    out.reserve(name.size());
    qsizetype i = 0;
    while (i < name.size()) {
        const char c = name[i];
        if (c != '&') {
            out += QLatin1Char(c);
            ++i;
            continue;
        }
        const qsizetype end = name.indexOf('-', i + 1);
        if (end < 0) {
            out += QLatin1String(name.mid(i));  // unterminated: keep as it came
            break;
        }
        if (end == i + 1) {
            out += u'&';
        } else if (!DecodeShifted(QByteArrayView(name).sliced(i + 1, end - i - 1), &out)) {
            out += QLatin1String(name.mid(i, end - i + 1));
        }
        i = end + 1;
    }
    return out;
}

}  // namespace brevio
