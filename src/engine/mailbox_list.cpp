#include "engine/mailbox_list.h"

#include "settings/ini_file.h"
#include "settings/settings_file.h"

#include <algorithm>
#include <atomic>

namespace brevio {

namespace {

quint64 NewMailBoxId()
{
    static std::atomic<quint64> last{0};
    return ++last;
}

}  // namespace

void TMailBoxList::Append(std::unique_ptr<TMailBox> mailBox)
{
    items_.push_back(std::move(mailBox));
    ids_.push_back(NewMailBoxId());
}

int TMailBoxList::Add(std::unique_ptr<TMailBox> mailBox)
{
    Append(std::move(mailBox));
    return int(items_.size()) - 1;
}

int TMailBoxList::IndexOfId(quint64 id) const
{
    const auto found = std::find(ids_.begin(), ids_.end(), id);
    return found == ids_.end() ? -1 : int(found - ids_.begin());
}

int TMailBoxList::IndexOf(const TMailBox* mailBox) const
{
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == mailBox)
            return int(i);
    return -1;
}

void TMailBoxList::Remove(TMailBox* mailBox)
{
    const int index = IndexOf(mailBox);
    if (index >= 0) {
        items_.erase(items_.begin() + index);
        ids_.erase(ids_.begin() + index);
    }
}

void TMailBoxList::Assign(const TMailBoxList& source)
{
    if (&source == this)
        return;
    Clear();
    for (const auto& item : source.items_)
        Append(std::make_unique<TMailBox>(*item));
}

QList<TMailBoxSettings> TMailBoxList::Snapshot() const
{
    QList<TMailBoxSettings> snapshot;
    snapshot.reserve(Count());
    for (const auto& item : items_)
        snapshot.append(*item);
    return snapshot;
}

QStringList TMailBoxList::CheckMenuCaptions() const
{
    QStringList captions;
    for (std::size_t i = 0; i < items_.size(); ++i)
        captions << QStringLiteral("&%1 %2 (%3)").arg(QString::number(i + 1), items_[i]->Name, items_[i]->Host);
    return captions;
}

void TMailBoxList::LoadFromIni(const TveqIniFile& file)
{
    const int count = std::min(file.ReadInteger(QStringLiteral("Main"), QStringLiteral("NumMailbox"), 0), MaxMailBoxes);
    for (int i = 0; i < count; ++i) {
        auto mailBox = std::make_unique<TMailBox>();
        mailBox->LoadFromIni(file, i);
        Append(std::move(mailBox));
    }
}

void TMailBoxList::SaveToIni(TveqIniFile& file) const
{
    // One write of the file for the whole list.
    file.BeginUpdate();
    file.WriteInteger(QStringLiteral("Main"), QStringLiteral("NumMailbox"), Count());
    for (int i = 0; i < Count(); ++i)
        items_[std::size_t(i)]->SaveToIni(file, i);
    TMailBoxSettings::RemoveFromIniFrom(file, Count());
    file.EndUpdate();
}

void TMailBoxList::Load(const QString& fileName)
{
    LoadFromIni(*OpenIniFile(fileName));
}

void TMailBoxList::Save(const QString& fileName) const
{
    SaveToIni(*OpenIniFile(fileName));
}

}  // namespace brevio
