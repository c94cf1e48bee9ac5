#pragma once
// Pure readers of POP3 reply texts (RFC 1939, RFC 2449). Each takes the text of a reply as the
// client collected it and returns values; none touches a connection.

#include <QByteArray>
#include <QList>
#include <optional>
#include <utility>

namespace brevio {

// 1 for "+OK", 2 for "-ERR" (letter case ignored), nullopt for anything else.
std::optional<int> Pop3StatusCode(const QByteArray& statusWord);

// The message count of a STAT reply text ("2 320"): 0 for an empty text; nullopt when the count
// is missing, not a number, negative or absurdly large.
std::optional<qint32> ParsePop3StatCount(const QByteArray& text);

// The size of a "LIST n" reply text ("1 120"): the text after the first blank (the whole text
// when there is none) as a number; -1 when empty, not a number, negative or above 2^31-1.
qint32 ParsePop3ListSize(const QByteArray& text);

struct TPop3UidEntry {
    qint32 Number = 0;
    QByteArray UniqueId;
    bool operator==(const TPop3UidEntry&) const = default;
};

struct TPop3ListEntry {
    qint32 Number = 0;
    qint32 Size = -1;
    bool operator==(const TPop3ListEntry&) const = default;
};

// One line of a LIST listing ("1 120"): the size read as for "LIST n"; nullopt when the line
// does not start with a message number.
std::optional<TPop3ListEntry> ParsePop3ListLine(const QByteArray& line);

// One line of a UIDL listing ("1 whqtswO00WBw418f9t5JxYwZ"); nullopt for a malformed line
// (RFC 1939 §7: the id is 1 to 70 characters from 0x21 to 0x7E).
std::optional<TPop3UidEntry> ParsePop3UidLine(const QByteArray& line);

// True when a CAPA listing names the capability (first word of a line, letter case ignored).
bool Pop3HasCapability(const QList<QByteArray>& capabilities, const QByteArray& name);

// What a server announced in answer to CAPA (RFC 2449), one line per capability with its
// arguments. Empty for a server without CAPA.
class TPop3Capabilities {
public:
    TPop3Capabilities() = default;
    explicit TPop3Capabilities(QList<QByteArray> lines) : lines_(std::move(lines)) {}
    // True when a line starts with this capability name (letter case ignored).
    bool Has(const QByteArray& name) const { return Pop3HasCapability(lines_, name); }
    const QList<QByteArray>& Lines() const { return lines_; }
    bool IsEmpty() const { return lines_.isEmpty(); }

private:
    QList<QByteArray> lines_;
};

// The APOP time stamp of a greeting text: from its first "<" through the first ">" after it;
// empty when there is none.
QByteArray ApopTimestamp(const QByteArray& greetingText);

// MD5 of time stamp + password as 32 lower-case hex digits (RFC 1939 §7).
QByteArray ApopDigest(const QByteArray& timestamp, const QByteArray& password);

}  // namespace brevio
