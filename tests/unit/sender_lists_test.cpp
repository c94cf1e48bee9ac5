// Friends and spammers: what an entry may be, how a sender matches, that friends always win, and
// the two sections of the settings file.
#include "settings/sender_lists.h"

#include "support/qt_printers.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

TEST(SenderLists, EntriesAreAddressesOrDomains)
{
    const struct {
        const char* Text;
        const char* Kept;
    } cases[] = {
        {"  Ann@Example.ORG ", "ann@example.org"},
        {"@Example.org", "example.org"},
        {"mail.example.org", "mail.example.org"},
        {"example", ""},
        {"a@@b.org", ""},
        {"a b@c.org", ""},
        {".org", ""},
        {"a@b..org", ""},
        {"@", ""},
        {"<a@b.org>", ""},
        {"a@b.org,c@d.org", ""},
        {"", ""},
        {"x@localhost", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TSenderLists::Normalized(QString::fromUtf8(c.Text)), QString::fromUtf8(c.Kept)) << c.Text;
}

TEST(SenderLists, FriendsAlwaysWin)
{
    TSenderLists lists;
    lists.SetEntries(TSenderList::Friends, {QStringLiteral("ann@example.org"), QStringLiteral("friends.example")});
    lists.SetEntries(
        TSenderList::Spammers,
        {QStringLiteral("example.org"), QStringLiteral("bob@mail.friends.example"), QStringLiteral("bad.example")});
    TSpamVerdict spam;
    spam.Judgement = TSpamJudgement::Spam;
    spam.Dmarc = TAuthResult::Fail;
    TSpamVerdict dmarcFail;
    dmarcFail.Dmarc = TAuthResult::Fail;
    TSpamVerdict spfFail;
    spfFail.Spf = TAuthResult::Fail;
    TSpamVerdict ham;
    ham.Judgement = TSpamJudgement::Ham;
    const struct {
        const char* From;
        TSpamVerdict Verdict;
        TSenderStanding Standing;
        bool Ticked;
    } cases[] = {
        // A friend on both lists, with every bad sign: never ticked.
        {"ANN@example.org", spam, TSenderStanding::Friend, false},
        {"bob@mail.friends.example", spam, TSenderStanding::Friend, false},
        {"eve@example.org", ham, TSenderStanding::Spammer, true},
        {"eve@sub.bad.example", {}, TSenderStanding::Spammer, true},
        // A domain is matched whole, never as the end of a longer name.
        {"x@notfriends.example", spam, TSenderStanding::Neutral, true},
        {"x@notbad.example", ham, TSenderStanding::Neutral, false},
        {"x@other.example", dmarcFail, TSenderStanding::Neutral, true},
        {"x@other.example", spfFail, TSenderStanding::Neutral, false},
        {"", spam, TSenderStanding::Neutral, true},
        {"no address", {}, TSenderStanding::Neutral, false},
    };
    for (const auto& c : cases) {
        const QString from = QString::fromUtf8(c.From);
        EXPECT_EQ(lists.StandingOf(from), c.Standing) << c.From;
        EXPECT_EQ(IsSuspectedSpam(c.Verdict, from, lists), c.Ticked) << c.From;
    }
}

TEST(SenderLists, AddingMovesBetweenListsAndTheFileKeepsThem)
{
    TSenderLists lists;
    EXPECT_TRUE(lists.Add(TSenderList::Spammers, QStringLiteral("Ann@Example.org")));
    EXPECT_FALSE(lists.Add(TSenderList::Spammers, QStringLiteral("ann@example.org")));
    EXPECT_FALSE(lists.Add(TSenderList::Friends, QStringLiteral("not an entry")));
    EXPECT_TRUE(lists.Add(TSenderList::Friends, QStringLiteral("ann@example.org")));
    EXPECT_TRUE(lists.Entries(TSenderList::Spammers).isEmpty());
    lists.Add(TSenderList::Spammers, QStringLiteral("spam.example"));

    TempFolder folder;
    // Entries written by hand under other key names, invalid and repeated ones, and other sections.
    const QString file = folder.Write("b.ini",
                                      "[Main]\nNumMailbox=0\n[Friends]\nold=zed@example.org\nx=bad entry\n"
                                      "[Other]\nkeep=1\n[Spammers]\na=one.example\nb=ONE.example\n");
    TSenderLists loaded;
    loaded.Load(file);
    EXPECT_EQ(loaded.Entries(TSenderList::Friends), QStringList{QStringLiteral("zed@example.org")});
    EXPECT_EQ(loaded.Entries(TSenderList::Spammers), QStringList{QStringLiteral("one.example")});
    lists.Save(file);
    TSenderLists again;
    again.Load(file);
    EXPECT_EQ(again, lists);
    EXPECT_EQ(TveqIniFile(file).ReadString(QStringLiteral("Other"), QStringLiteral("keep"), {}), QStringLiteral("1"));
}

}  // namespace
}  // namespace brevio
