#pragma once
// The headers the cache keeps of one folder, by message id (an IMAP4 UID or a POP3 unique id,
// as text). A flat list sorted by id, with the ids' bytes in one block: a folder of 50,000
// messages takes little more than its headers, where a hash of them took a third more and an
// allocation per id.

#include "mime/email_address.h"
#include "mime/spam_verdict.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <initializer_list>
#include <optional>
#include <utility>

namespace brevio {

struct TListedHeader;

// What a row shows of one message: its header's fields and its size (which never changes).
struct TCachedHeader {
    QString Subject;
    TEmailAddress From;
    QDateTime Date;
    qint32 Size = -1;
    TSpamVerdict Spam;

    static TCachedHeader Of(const TListedHeader& message);
    // Fills the message's row fields from the cached ones.
    void ApplyTo(TListedHeader& message) const;
};

class TCachedEntries {
    struct TEntry {
        quint32 IdOffset = 0;
        quint32 IdSize = 0;
        TCachedHeader Header;
    };

public:
    TCachedEntries() = default;
    TCachedEntries(std::initializer_list<std::pair<QByteArray, TCachedHeader>> entries);

    // Walks the entries in id order: shorter ids first, ids of one length by their bytes.
    class const_iterator {
    public:
        const_iterator(const TCachedEntries* entries, qsizetype index) : entries_(entries), index_(index) {}
        // The id's bytes, without a copy: valid while the entries are not changed.
        QByteArray key() const;
        const TCachedHeader& value() const { return entries_->entries_.at(index_).Header; }
        const TCachedHeader& operator*() const { return value(); }
        const TCachedHeader* operator->() const { return &value(); }
        const_iterator& operator++()
        {
            ++index_;
            return *this;
        }
        bool operator==(const const_iterator& other) const { return index_ == other.index_; }

    private:
        const TCachedEntries* entries_;
        qsizetype index_;
    };

    qsizetype size() const
    {
        Sort();
        return entries_.size();
    }
    bool isEmpty() const { return entries_.isEmpty(); }
    // Room for `count` entries whose ids take `idBytes` bytes in all.
    void reserve(qsizetype count, qsizetype idBytes = 0);
    // Keeps `header` under `id`, in place of what the id held.
    void insert(QByteArrayView id, TCachedHeader header);
    // Drops the entries for which `drop(id, header)` is true; returns how many went.
    template <typename Predicate>
    qsizetype removeIf(Predicate drop);

    // Puts entries added out of order in order now rather than at the next look-up, so copies
    // made after this share the ordered list. Returns whether they were in order already (ids
    // ascending, each once).
    bool Order()
    {
        const bool wasSorted = sorted_;
        Sort();
        return wasSorted;
    }
    // True when every id of `later` comes after every id kept here: adding them only lengthens
    // the walk, and the entries before stay where they were.
    bool Precedes(const TCachedEntries& later) const;

    const_iterator constFind(QByteArrayView id) const;
    bool contains(QByteArrayView id) const { return constFind(id) != constEnd(); }
    // The header kept under `id`; an empty one when none is.
    TCachedHeader value(QByteArrayView id) const;
    const_iterator cbegin() const;
    const_iterator cend() const { return {this, entries_.size()}; }
    const_iterator begin() const { return cbegin(); }
    const_iterator end() const { return cend(); }
    const_iterator constEnd() const { return cend(); }

private:
    QByteArrayView IdOf(const TEntry& entry) const { return QByteArrayView(ids_).sliced(entry.IdOffset, entry.IdSize); }
    // Entries are added at the end; out of order, they are put in order (the last one of an id
    // kept) when next looked at. The list is a value its owner alone changes, so doing that in a
    // const look-up is safe.
    void Sort() const;

    mutable QList<TEntry> entries_;
    QByteArray ids_;
    mutable bool sorted_ = true;
};

// The UID that an IMAP4 folder's id names: decimal digits as the cache writes them (no sign, no
// leading zero, 1 to 4294967295); nothing for any other id. Such ids walk in ascending UIDs.
std::optional<quint32> UidOfId(QByteArrayView id);

template <typename Predicate>
qsizetype TCachedEntries::removeIf(Predicate drop)
{
    Sort();
    return entries_.removeIf([&](const TEntry& entry) { return drop(IdOf(entry), entry.Header); });
}

}  // namespace brevio
