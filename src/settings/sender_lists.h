#pragma once
// The user's friends and spammers: two lists of senders, each entry an address
// ("ann@example.org") or a whole domain ("example.org", which takes its subdomains too). They
// live in sections [Friends] and [Spammers] of the settings file. Friends always win: a friend's
// mail is never ticked as spam, whatever the filter, the authentication or the other list says.

#include "mime/spam_verdict.h"
#include "settings/ini_file.h"

#include <QString>
#include <QStringList>

namespace brevio {

enum class TSenderList { Friends, Spammers };
enum class TSenderStanding { Neutral, Friend, Spammer };

class TSenderLists {
public:
    // A list longer than this in the file is read up to here.
    static constexpr qsizetype kMaxEntries = 10'000;

    // The form an entry is kept in: trimmed, lower case, without a leading "@"; empty when the
    // text is neither an address nor a domain (blank, inner blanks, two "@", no dot in a domain).
    static QString Normalized(const QString& entry);
    // The domain of an address, lower case; empty when it has none.
    static QString DomainOf(const QString& address);

    const QStringList& Entries(TSenderList list) const { return list == TSenderList::Friends ? friends_ : spammers_; }
    // Replaces a list; entries are normalized, invalid and repeated ones dropped.
    void SetEntries(TSenderList list, const QStringList& entries);
    // Puts `entry` on `list` and takes it off the other one. False when it is invalid or was there.
    bool Add(TSenderList list, const QString& entry);

    // How the lists see the sender `address`; a friend wins over a spammer.
    TSenderStanding StandingOf(const QString& address) const;

    void LoadFromIni(const TveqIniFile& file);
    // Rewrites both sections in one write; raises EIniWriteError.
    void SaveToIni(TveqIniFile& file) const;
    void Load(const QString& fileName = {});
    void Save(const QString& fileName = {}) const;

    bool operator==(const TSenderLists&) const = default;

private:
    static bool Matches(const QStringList& list, const QString& address, const QString& domain);

    QStringList friends_;
    QStringList spammers_;
};

// What "Tick Suspected Spam" ticks: never a friend's message; a spammer's; otherwise a message
// the filter called spam or whose DMARC check failed.
bool IsSuspectedSpam(const TSpamVerdict& verdict, const QString& fromAddress, const TSenderLists& lists);

}  // namespace brevio
