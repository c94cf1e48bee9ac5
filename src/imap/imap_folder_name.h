#pragma once
// IMAP folder names in modified UTF-7 (RFC 3501 §5.1.3), or in UTF-8 once UTF8=ACCEPT is
// enabled (RFC 6855 §3).

#include <QByteArray>
#include <QString>

namespace brevio {

enum class TImapNameEncoding { ModifiedUtf7, Utf8 };

// ModifiedUtf7: "&BBIERQQ+BDQETwRJBDgENQ-" gives "Входящие", "&-" gives "&". A shift sequence
// that does not decode is kept as it stands; a name holding 8-bit bytes (a server speaking UTF-8
// unasked) is read as UTF-8. Utf8: the name is UTF-8 as it stands, "&" is just "&".
QString DecodeImapFolderName(const QByteArray& name, TImapNameEncoding encoding = TImapNameEncoding::ModifiedUtf7);

}  // namespace brevio
