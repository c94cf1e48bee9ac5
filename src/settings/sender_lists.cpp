#include "settings/sender_lists.h"

#include "settings/settings_file.h"

namespace brevio {

namespace {

QString SectionOf(TSenderList list)
{
    return list == TSenderList::Friends ? QStringLiteral("Friends") : QStringLiteral("Spammers");
}

// Entries are stored as "Sender1=...", "Sender2=...", in list order; reading takes the values of
// every key of the section, so a hand-edited file with other key names reads all the same.
QString EntryKey(qsizetype index)
{
    return QStringLiteral("Sender") + QString::number(index + 1);
}

bool IsDomain(QStringView text)
{
    return text.size() >= 3 && text.contains(u'.') && !text.startsWith(u'.') && !text.endsWith(u'.')
        && !text.contains(u"..");
}

}  // namespace

QString TSenderLists::Normalized(const QString& entry)
{
    QString text = entry.trimmed().toLower();
    if (text.startsWith(u'@'))
        text.remove(0, 1);
    if (text.isEmpty() || text.size() > 320)
        return {};
    for (QChar c : std::as_const(text)) {
        if (c.isSpace() || c == u'<' || c == u'>' || c == u',' || c == u';' || c == u'"')
            return {};
    }
    const qsizetype at = text.indexOf(u'@');
    if (at < 0)
        return IsDomain(text) ? text : QString();
    if (at == 0 || text.indexOf(u'@', at + 1) >= 0 || !IsDomain(QStringView(text).sliced(at + 1)))
        return {};
    return text;
}

QString TSenderLists::DomainOf(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    return at < 0 ? QString() : address.sliced(at + 1).trimmed().toLower();
}

void TSenderLists::SetEntries(TSenderList list, const QStringList& entries)
{
    QStringList& kept = list == TSenderList::Friends ? friends_ : spammers_;
    kept.clear();
    for (const QString& entry : entries) {
        const QString normalized = Normalized(entry);
        if (!normalized.isEmpty() && !kept.contains(normalized) && kept.size() < kMaxEntries)
            kept.append(normalized);
    }
}

bool TSenderLists::Add(TSenderList list, const QString& entry)
{
    const QString normalized = Normalized(entry);
    QStringList& to = list == TSenderList::Friends ? friends_ : spammers_;
    QStringList& other = list == TSenderList::Friends ? spammers_ : friends_;
    if (normalized.isEmpty() || to.contains(normalized))
        return false;
    other.removeAll(normalized);
    to.append(normalized);
    return true;
}

bool TSenderLists::Matches(const QStringList& list, const QString& address, const QString& domain)
{
    for (const QString& entry : list) {
        if (entry.contains(u'@')
                ? entry == address
                : (domain == entry || (domain.endsWith(entry) && domain.at(domain.size() - entry.size() - 1) == u'.')))
            return true;
    }
    return false;
}

TSenderStanding TSenderLists::StandingOf(const QString& address) const
{
    const QString lower = address.trimmed().toLower();
    const QString domain = DomainOf(lower);
    if (domain.isEmpty())
        return TSenderStanding::Neutral;
    if (Matches(friends_, lower, domain))
        return TSenderStanding::Friend;
    return Matches(spammers_, lower, domain) ? TSenderStanding::Spammer : TSenderStanding::Neutral;
}

void TSenderLists::LoadFromIni(const TveqIniFile& file)
{
    for (TSenderList list : {TSenderList::Friends, TSenderList::Spammers}) {
        const QString section = SectionOf(list);
        QStringList values;
        for (const QString& key : file.ReadSection(section))
            values.append(file.ReadString(section, key, QString()));
        SetEntries(list, values);
    }
}

void TSenderLists::SaveToIni(TveqIniFile& file) const
{
    file.BeginUpdate();
    for (TSenderList list : {TSenderList::Friends, TSenderList::Spammers}) {
        const QString section = SectionOf(list);
        file.EraseSection(section);
        const QStringList& entries = Entries(list);
        for (qsizetype i = 0; i < entries.size(); ++i)
            file.WriteString(section, EntryKey(i), entries.at(i));
    }
    file.EndUpdate();
}

void TSenderLists::Load(const QString& fileName)
{
    LoadFromIni(*OpenIniFile(fileName));
}

void TSenderLists::Save(const QString& fileName) const
{
    SaveToIni(*OpenIniFile(fileName));
}

bool IsSuspectedSpam(const TSpamVerdict& verdict, const QString& fromAddress, const TSenderLists& lists)
{
    switch (lists.StandingOf(fromAddress)) {
    case TSenderStanding::Friend:
        return false;
    case TSenderStanding::Spammer:
        return true;
    default:
        return verdict.Suspected();
    }
}

}  // namespace brevio
