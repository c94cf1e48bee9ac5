#pragma once
// The ordered, owning list of configured mailboxes. Its order is the order of checking, of the
// check menu and of the message list.

#include "engine/mailbox.h"

#include <QStringList>
#include <memory>
#include <vector>

namespace brevio {

class TveqIniFile;

class TMailBoxList {
public:
    // A settings file claiming more mailboxes than this is damaged; loading stops there.
    static constexpr int MaxMailBoxes = 1000;

    TMailBoxList() = default;
    // Copies are deep: every mailbox is copied, so a copy never shares one with its source.
    TMailBoxList(const TMailBoxList& source) { Assign(source); }
    TMailBoxList& operator=(const TMailBoxList& source)
    {
        Assign(source);
        return *this;
    }
    TMailBoxList(TMailBoxList&&) = default;
    TMailBoxList& operator=(TMailBoxList&&) = default;

    // Equal when both hold equal mailboxes in the same order.
    bool operator==(const TMailBoxList& other) const { return Snapshot() == other.Snapshot(); }

    // Appends and takes ownership; returns the new index.
    int Add(std::unique_ptr<TMailBox> mailBox);
    int Count() const { return int(items_.size()); }
    TMailBox* Items(int index) const { return items_.at(std::size_t(index)).get(); }
    // Takes out and destroys `mailBox` (found by identity); a mailbox of another list is ignored.
    void Remove(TMailBox* mailBox);
    void Clear() { items_.clear(); }
    int IndexOf(const TMailBox* mailBox) const;

    // Replaces every mailbox by a copy of `source`'s mailboxes, in order.
    void Assign(const TMailBoxList& source);

    // The settings of every mailbox, in order: what a run works on.
    QList<TMailBoxSettings> Snapshot() const;

    // The captions of the check menu, one per mailbox in order: "&<i+1> <Name> (<Host>)".
    QStringList CheckMenuCaptions() const;

    // Reads the mailboxes stored in section "Main" and appends them.
    void LoadFromIni(const TveqIniFile& file);
    // Writes "NumMailbox" and every mailbox's keys; keys of a longer earlier list stay in the file.
    void SaveToIni(TveqIniFile& file) const;

    // The same on the settings file (GetSettingsFileName()), or on `fileName` when given. Load
    // never fails; Save raises EIniWriteError.
    void Load(const QString& fileName = {});
    void Save(const QString& fileName = {}) const;

private:
    std::vector<std::unique_ptr<TMailBox>> items_;
};

}  // namespace brevio
