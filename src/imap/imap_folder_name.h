#pragma once
// IMAP folder names in modified UTF-7 (RFC 3501 §5.1.3).

#include <QByteArray>
#include <QString>

namespace brevio {

// "&BBIERQQ+BDQETwRJBDgENQ-" gives "Входящие", "&-" gives "&". A shift sequence that does not
// decode is kept as it stands; a name holding 8-bit bytes (a server speaking UTF-8) is read as
// UTF-8.
QString DecodeImapFolderName(const QByteArray& name);

}  // namespace brevio
