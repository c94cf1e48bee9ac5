#pragma once
// Turning header bytes into Unicode text: RFC 2047 encoded words and raw 8-bit bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace brevio {

// Decodes a header value for display.
// - Encoded words (RFC 2047, with the RFC 2231 language suffix) in any charset Qt's codecs know
//   are decoded; a word in an unknown charset, or one that is not well formed, stays as it is.
// - White space between two adjacent encoded words is dropped, and adjacent words of one charset
//   are joined before conversion, so a character split across two words comes out whole.
// - Bytes outside encoded words are read as UTF-8 when the value is valid UTF-8, otherwise in
//   `fallbackCharset` (the message's Content-Type charset) when Qt knows it, otherwise as
//   Windows-1252.
QString DecodeHeaderWords(QByteArrayView value, QByteArrayView fallbackCharset = {});

// Reads bytes that carry no charset label of their own: UTF-8 when valid, else
// `fallbackCharset` when known, else Windows-1252.
QString DecodeRawHeaderText(QByteArrayView bytes, QByteArrayView fallbackCharset = {});

// Where an RFC 2047 encoded word "=?charset?encoding?text?=" starting at `start` has its text:
// `TextBegin` after the third "?", `TextEnd` at the closing "?=". The text holds no "?" (RFC 2047
// §2), so the word ends at the first "?" after its text begins; that keeps a scan over a value
// full of "=?" linear. nullopt when the bytes there do not have that form.
struct TEncodedWordSpan {
    qsizetype TextBegin = 0;
    qsizetype TextEnd = 0;
};
std::optional<TEncodedWordSpan> FindEncodedWordSpan(QByteArrayView value, qsizetype start);

// The charset parameter of a Content-Type value, upper case ("text/plain; charset=koi8-r" gives
// "KOI8-R"); empty when there is none.
QString CharsetFromContentType(const QString& contentType);

}  // namespace brevio
