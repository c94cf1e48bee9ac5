#pragma once
// A re-check of an IMAP4 folder the header cache knew whole: the server is asked only what
// changed since (the headers of the new UIDs and, when messages were removed, which of the known
// ones remain), and the answers are checked to add up before they are trusted.

#include "engine/header_cache.h"
#include "imap/imap_client.h"

#include <functional>
#include <optional>

namespace brevio {

class TCheckContext;

// What a folder holds now, in UID order: the known messages still there, then the new ones.
struct TFolderChanges {
    QList<quint32> Kept;         // ascending, every one below the cached UIDNEXT
    QList<TListedHeader> Added;  // ascending UIDs from the cached UIDNEXT on, sizes included
    bool Removed = false;        // some known messages are gone
    // Some of the new messages the folder announced when it was opened were gone by the time
    // their headers were asked for: the listing does not stand for the folder at its UIDNEXT.
    bool NewMissing = false;
};

// What the cache knew of a folder at its last whole listing.
struct TKnownFolder {
    const TCachedEntries& Entries;  // every message then, by UID
    quint32 UidNext = 0;
    quint64 HighestModSeq = 0;  // 0: none known
    // The entries' UIDs in their order, when already worked out (reading them from the entries
    // touches every entry); null: read from the entries.
    const QList<quint32>* Uids = nullptr;
};

// The selected folder's changes since the cache knew it whole; it now holds `count` messages and
// announces `uidNext` (0: announces none). The removed messages are learned from the VANISHED
// answer when QRESYNC is enabled and the cache knows the folder's HIGHESTMODSEQ, otherwise (or
// when that answer does not add up) by a search. nullopt, with nothing kept, when the server's
// answers do not add up to `count` (a message delivered or removed meanwhile, or a server that
// names UIDs it never had): the folder is then listed in full.
// When `count` shows before any answer that every known message remains (it is the known ones
// plus every UID from the cached UIDNEXT up to `uidNext`), `keptEarly` (when given) is called
// with the known UIDs while the server looks up the new ones, and the changes then keep them
// all: nullopt only when the new headers are refused or malformed. The new messages are then
// those below `uidNext`: mail that comes later waits for the next check.
std::optional<TFolderChanges> ReadFolderChanges(TImap4Client& client, TCheckContext& context, const TKnownFolder& known,
                                                qint32 count, quint32 uidNext,
                                                const std::function<void(const QList<quint32>& kept)>& keptEarly = {});

}  // namespace brevio
