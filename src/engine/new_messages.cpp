#include "engine/new_messages.h"

namespace brevio {

namespace {

QString MailBoxKey(const TMailBoxSettings& box)
{
    return QStringLiteral("%1\n%2\n%3\n%4").arg(box.Host).arg(box.Port).arg(int(box.Protocol)).arg(box.UserName);
}

// A message's identity across sessions: the folder, UIDVALIDITY and UID over IMAP4, the unique
// id over POP3. Without either (a server without UIDL) only the number is left, which holds as
// long as nothing before the message goes.
QByteArray MessageKey(const TMessageIdentity& id)
{
    if (id.Uid != 0)
        return id.Folder + '\n' + QByteArray::number(id.UidValidity) + '\n' + QByteArray::number(id.Uid);
    if (!id.UniqueId.isEmpty())
        return "u\n" + id.UniqueId;
    return id.Folder + "\nn\n" + QByteArray::number(id.Number);
}

}  // namespace

int TNewMessageTracker::Update(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& checked,
                               const QList<TMessageRow>& rows)
{
    QHash<int, QSet<QByteArray>> listed;
    for (int index : checked)
        listed.insert(index, {});
    int fresh = 0;
    for (const TMessageRow& row : rows) {
        if (row.MailBoxIndex < 0 || row.MailBoxIndex >= mailBoxes.size())
            continue;
        const QByteArray key = MessageKey(row.Id);
        const auto previous = seen_.constFind(MailBoxKey(mailBoxes.at(row.MailBoxIndex)));
        if (previous == seen_.constEnd() || !previous->contains(key))
            ++fresh;
        listed[row.MailBoxIndex].insert(key);
    }
    for (auto it = listed.cbegin(); it != listed.cend(); ++it)
        if (it.key() >= 0 && it.key() < mailBoxes.size())
            seen_.insert(MailBoxKey(mailBoxes.at(it.key())), it.value());
    return fresh;
}

}  // namespace brevio
