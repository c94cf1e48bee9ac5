#pragma once
// Small text helpers shared by the settings, language-file and hint code.

#include <QString>
#include <QStringList>
#include <optional>

namespace brevio {

// Splits `text` at every `separator` into `list` (cleared first). Empty parts between separators
// are kept when `keepEmpty` is set; a trailing empty part is never added, so "a,b," gives a, b.
void Split(const QString& text, const QString& separator, QStringList& list, bool keepEmpty);
QStringList Split(const QString& text, const QString& separator, bool keepEmpty = true);

enum TReplaceFlags {
    rfReplaceAll = 1,  // every occurrence, not only the first
    rfIgnoreCase = 2,  // the ASCII letters A-Z match either case
};

// Replaces `pattern` in `text` by `replacement`. The scan goes on behind each replacement, so
// replaced text is never scanned again. An empty text or pattern changes nothing.
void ReplaceText(QString& text, const QString& pattern, const QString& replacement, int flags);

// Integer text as the settings store reads it: optional sign and decimal digits, or "0x"/"0X"
// followed by hexadecimal digits (taken as the two's complement bit pattern of the width).
// Anything else, or a value out of range, gives nothing.
std::optional<int> ParseInt32(const QString& text);
std::optional<qint64> ParseInt64(const QString& text);

}  // namespace brevio
