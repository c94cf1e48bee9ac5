#include "engine/cached_entries.h"

#include <algorithm>
#include <limits>

namespace brevio {

namespace {

// Shorter ids first, ids of one length by their bytes: decimal UIDs go in numeric order, so a
// listing adds them in order and they never need sorting.
bool IdLess(QByteArrayView a, QByteArrayView b)
{
    return a.size() != b.size() ? a.size() < b.size() : a.compare(b) < 0;
}

}  // namespace

std::optional<quint32> UidOfId(QByteArrayView id)
{
    if (id.isEmpty() || id.size() > 10 || id.front() == '0')
        return std::nullopt;
    quint64 value = 0;
    for (const char c : id) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + quint64(c - '0');
    }
    if (value > std::numeric_limits<quint32>::max())
        return std::nullopt;
    return quint32(value);
}

TCachedEntries::TCachedEntries(std::initializer_list<std::pair<QByteArray, TCachedHeader>> entries)
{
    for (const auto& [id, header] : entries)
        insert(id, header);
}

QByteArray TCachedEntries::const_iterator::key() const
{
    const QByteArrayView id = entries_->IdOf(entries_->entries_.at(index_));
    return QByteArray::fromRawData(id.data(), id.size());
}

void TCachedEntries::reserve(qsizetype count, qsizetype idBytes)
{
    entries_.reserve(count);
    if (idBytes > 0)
        ids_.reserve(idBytes);
}

void TCachedEntries::insert(QByteArrayView id, TCachedHeader header)
{
    if (sorted_ && !entries_.isEmpty() && !IdLess(IdOf(entries_.constLast()), id))
        sorted_ = false;
    const auto offset = quint32(ids_.size());
    ids_.append(id);
    entries_.append({offset, quint32(id.size()), std::move(header)});
}

void TCachedEntries::Sort() const
{
    if (sorted_)
        return;
    // Stable, so of the entries of one id the last added ends last, and is the one kept.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [this](const TEntry& a, const TEntry& b) { return IdLess(IdOf(a), IdOf(b)); });
    qsizetype kept = 0;
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const bool lastOfItsId = i + 1 == entries_.size() || IdOf(entries_.at(i)) != IdOf(entries_.at(i + 1));
        if (lastOfItsId)
            entries_[kept++] = std::move(entries_[i]);
    }
    entries_.resize(kept);
    sorted_ = true;
}

bool TCachedEntries::Precedes(const TCachedEntries& later) const
{
    Sort();
    later.Sort();
    return entries_.isEmpty() || later.entries_.isEmpty()
        || IdLess(IdOf(entries_.constLast()), later.IdOf(later.entries_.constFirst()));
}

TCachedEntries::const_iterator TCachedEntries::cbegin() const
{
    Sort();
    return {this, 0};
}

TCachedEntries::const_iterator TCachedEntries::constFind(QByteArrayView id) const
{
    Sort();
    const auto at = std::lower_bound(entries_.cbegin(), entries_.cend(), id,
                                     [this](const TEntry& entry, QByteArrayView wanted) { return IdLess(IdOf(entry), wanted); });
    if (at == entries_.cend() || IdOf(*at) != id)
        return cend();
    return {this, at - entries_.cbegin()};
}

TCachedHeader TCachedEntries::value(QByteArrayView id) const
{
    const const_iterator at = constFind(id);
    return at == cend() ? TCachedHeader() : at.value();
}

}  // namespace brevio
