#include "engine/new_messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <charconv>

namespace brevio {

namespace {

QString MailBoxKey(const TMailBoxSettings& box)
{
    return QStringLiteral("%1\n%2\n%3\n%4").arg(box.Host).arg(box.Port).arg(int(box.Protocol)).arg(box.UserName);
}

// Appends `value` in decimal digits.
void AppendNumber(QByteArray& text, qint64 value)
{
    char digits[24];
    text.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr - digits);
}

// A message's identity across sessions: the folder, UIDVALIDITY and UID over IMAP4, the unique
// id over POP3. Without either (a server without UIDL) only the number is left, which holds as
// long as nothing before the message goes. Made in one piece: a big listing makes tens of
// thousands of them.
QByteArray MessageKey(const TMessageIdentity& id)
{
    QByteArray key;
    key.reserve(id.Folder.size() + id.UniqueId.size() + 24);
    if (id.Uid != 0) {
        key += id.Folder;
        key += '\n';
        AppendNumber(key, id.UidValidity);
        key += '\n';
        AppendNumber(key, id.Uid);
    } else if (!id.UniqueId.isEmpty()) {
        key += "u\n";
        key += id.UniqueId;
    } else {
        key += id.Folder;
        key += "\nn\n";
        AppendNumber(key, id.Number);
    }
    return key;
}

}  // namespace

int TNewMessageTracker::Update(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& checked,
                               const QList<TMessageRow>& rows, const QList<int>& unfinished)
{
    QHash<int, QSet<QByteArray>> listed;
    for (int index : checked)
        listed.insert(index, {});
    int fresh = 0;
    // A mailbox's rows come one after the other: what it listed before and lists now are looked
    // up when the mailbox changes, not for every row.
    int index = -1;
    const QSet<QByteArray>* previous = nullptr;
    QSet<QByteArray>* now = nullptr;
    for (const TMessageRow& row : rows) {
        if (row.MailBoxIndex < 0 || row.MailBoxIndex >= mailBoxes.size())
            continue;
        if (row.MailBoxIndex != index) {
            index = row.MailBoxIndex;
            const auto kept = seen_.constFind(MailBoxKey(mailBoxes.at(index)));
            previous = kept == seen_.constEnd() ? nullptr : &*kept;
            now = &listed[index];
        }
        QByteArray key = MessageKey(row.Id);
        if (!previous || !previous->contains(key))
            ++fresh;
        now->insert(std::move(key));
    }
    for (auto it = listed.begin(); it != listed.end(); ++it) {
        if (it.key() < 0 || it.key() >= mailBoxes.size())
            continue;
        QSet<QByteArray>& kept = seen_[MailBoxKey(mailBoxes.at(it.key()))];
        if (unfinished.contains(it.key())) {
            const qsizetype before = kept.size();
            kept.unite(it.value());
            changed_ = changed_ || kept.size() != before;
        } else if (kept != it.value()) {
            kept = std::move(it.value());
            changed_ = true;
        }
    }
    return fresh;
}

namespace {

const QByteArray kFileHeader = "brevio listed messages 1";
const QByteArray kFileEnd = "end";

// Appends `bytes` as QByteArray::toPercentEncoding() writes them (every byte but A-Z, a-z, 0-9,
// "-", ".", "_" and "~" as "%" and two upper-case hex digits), without a copy of each key.
void AppendPercentEncoded(QByteArray& text, QByteArrayView bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    const qsizetype start = text.size();
    text.resize(start + 3 * bytes.size());
    char* out = text.data() + start;
    for (const char c : bytes) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
            || c == '_' || c == '~') {
            *out++ = c;
        } else {
            *out++ = '%';
            *out++ = kHex[uchar(c) >> 4];
            *out++ = kHex[uchar(c) & 15];
        }
    }
    text.truncate(out - text.constData());
}

}  // namespace

QString TNewMessageTracker::DefaultFileName()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
        .filePath(QStringLiteral("listed.record"));
}

// The file: a header line, then for each mailbox a line "@" and its key, followed by a line per
// message key; the last line says the file is whole. Keys are percent-encoded, so a line never
// holds a line break of a key.
void TNewMessageTracker::Load(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return;
    const QList<QByteArray> lines = file.readAll().split('\n');
    // The text ends with a line break, so the last piece is empty.
    if (lines.size() < 3 || lines.first() != kFileHeader || lines.at(lines.size() - 2) != kFileEnd
        || !lines.last().isEmpty())
        return;
    QHash<QString, QSet<QByteArray>> read;
    QSet<QByteArray>* current = nullptr;
    for (qsizetype i = 1; i < lines.size() - 2; ++i) {
        const QByteArray& line = lines.at(i);
        if (line.startsWith('@'))
            current = &read[QString::fromUtf8(QByteArray::fromPercentEncoding(line.mid(1)))];
        else if (current)
            current->insert(QByteArray::fromPercentEncoding(line));
        else
            return;
    }
    // What this session has listed already is newer than the file.
    for (auto it = read.begin(); it != read.end(); ++it)
        if (!seen_.contains(it.key()))
            seen_.emplace(it.key(), std::move(it.value()));
}

bool TNewMessageTracker::Save(const QString& fileName)
{
    if (!changed_ && QFileInfo::exists(fileName))
        return true;
    QByteArray text = kFileHeader + '\n';
    for (auto it = seen_.cbegin(); it != seen_.cend(); ++it) {
        text += '@';
        AppendPercentEncoded(text, it.key().toUtf8());
        text += '\n';
        text.reserve(text.size() + it.value().size() * 32);
        for (const QByteArray& key : it.value()) {
            AppendPercentEncoded(text, key);
            text += '\n';
        }
    }
    text += kFileEnd + '\n';
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Which messages lie in the user's mailboxes: readable by the owner only, like the settings.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(text) != text.size() || !file.commit())
        return false;
    changed_ = false;
    return true;
}

}  // namespace brevio
