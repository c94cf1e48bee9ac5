#pragma once
// The ordered, owning list of configured mailboxes. Its order is the order of checking, of the
// check menu and of the message list.

#include "engine/mailbox.h"

#include <QList>
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
    // Every mailbox of the running program has an id of its own that no other mailbox, of this
    // list or another, ever gets; a copied list's mailboxes get new ones. Rows name their mailbox
    // by it, so a row of a mailbox that was replaced or removed meanwhile resolves to nothing.
    quint64 Id(int index) const { return ids_.at(std::size_t(index)); }
    QList<quint64> Ids() const { return QList<quint64>(ids_.begin(), ids_.end()); }
    // The index of the mailbox with `id`; -1 when no mailbox of this list has it.
    int IndexOfId(quint64 id) const;
    // Takes out and destroys `mailBox` (found by identity); a mailbox of another list is ignored.
    void Remove(TMailBox* mailBox);
    void Clear()
    {
        items_.clear();
        ids_.clear();
    }
    int IndexOf(const TMailBox* mailBox) const;

    // Replaces every mailbox by a copy of `source`'s mailboxes, in order.
    void Assign(const TMailBoxList& source);

    // The settings of every mailbox, in order: what a run works on.
    QList<TMailBoxSettings> Snapshot() const;

    // The captions of the check menu, one per mailbox in order: "&<i+1> <Name> (<Host>)".
    QStringList CheckMenuCaptions() const;

    // Reads the mailboxes stored in section "Main" and appends them.
    void LoadFromIni(const TveqIniFile& file);
    // Writes "NumMailbox" and every mailbox's keys, and removes the keys of indexes the list no
    // longer uses (those of a longer earlier list).
    void SaveToIni(TveqIniFile& file) const;

    // The same on the settings file (GetSettingsFileName()), or on `fileName` when given. Load
    // never fails; Save raises EIniWriteError.
    void Load(const QString& fileName = {});
    void Save(const QString& fileName = {}) const;

private:
    void Append(std::unique_ptr<TMailBox> mailBox);

    std::vector<std::unique_ptr<TMailBox>> items_;
    std::vector<quint64> ids_;  // beside items_
};

}  // namespace brevio
