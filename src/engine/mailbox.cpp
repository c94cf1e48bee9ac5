#include "engine/mailbox.h"

namespace brevio {

void TMailBox::Assign(const TMailBox& source)
{
    static_cast<TMailBoxSettings&>(*this) = source;
}

TMailBoxFolder& TMailBox::FolderEntry(const QByteArray& folder)
{
    for (TMailBoxFolder& entry : FolderDeletes)
        if (entry.Name == folder)
            return entry;
    FolderDeletes.push_back(TMailBoxFolder{folder, {}, {}, 0});
    return FolderDeletes.back();
}

void TMailBox::MarkForDeletion(qint32 number, const QByteArray& folder)
{
    MarkForDeletion(number, folder, 0, 0);
}

void TMailBox::MarkForDeletion(qint32 number, const QByteArray& folder, quint32 uid, quint32 uidValidity)
{
    if (Protocol == TMailProtocol::POP3) {
        MarkPopForDeletion(number, {});
        return;
    }
    TMailBoxFolder& entry = FolderEntry(folder);
    entry.Numbers.append(number);
    entry.Uids.append(uid);
    if (uidValidity != 0)
        entry.UidValidity = uidValidity;
}

void TMailBox::MarkPopForDeletion(qint32 number, const QByteArray& uniqueId)
{
    PopDeleteNumbers.append(number);
    PopDeleteUniqueIds.append(uniqueId);
}

void TMailBox::ClearDeletionMarks()
{
    PopDeleteNumbers.clear();
    PopDeleteUniqueIds.clear();
    FolderDeletes.clear();
}

bool TMailBox::HasDeletionMarks() const { return !PopDeleteNumbers.isEmpty() || !FolderDeletes.empty(); }

void TMailBox::AddMessage(std::unique_ptr<TMailMessage> message, qint32 number)
{
    messages_.push_back(TMessageEntry{std::move(message), number});
}

}  // namespace brevio
