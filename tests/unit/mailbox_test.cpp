// The mailbox list: copies, snapshots, the check menu, and storage in the settings file.
#include "engine/mailbox_list.h"
#include "settings/ini_file.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

#include <functional>

namespace brevio {
namespace {

using test::TempFolder;

std::unique_ptr<TMailBox> MakeMailBox(const QString& name, const QString& host, bool pop = true)
{
    auto box = std::make_unique<TMailBox>();
    box->Name = name;
    box->Host = host;
    box->Protocol = pop ? TMailProtocol::POP3 : TMailProtocol::IMAP4;
    return box;
}

TEST(MailBoxList, CopiesAreDeepAndSnapshotsKeepTheOrder)
{
    TMailBoxList source;
    auto a = MakeMailBox("Home", "pop.a");
    a->Port = 995;
    a->UserName = "me";
    a->Password = "pw";
    a->IgnoreCheckAllCommand = true;
    a->Security = TSecurity::Tls;
    a->CertFingerprint = "ab12";
    source.Add(std::move(a));
    source.Add(MakeMailBox("Work", "imap.b", false));

    TMailBoxList assigned;
    assigned.Add(MakeMailBox("old", "old"));
    assigned.Assign(source);
    TMailBoxList copied = source;
    for (const TMailBoxList* copy : {&assigned, &copied}) {
        ASSERT_EQ(copy->Count(), 2);
        EXPECT_TRUE(*copy == source);
        EXPECT_EQ(copy->Snapshot(), (QList<TMailBoxSettings>{*source.Items(0), *source.Items(1)}));
        for (int i = 0; i < 2; ++i) {
            EXPECT_NE(copy->Items(i), source.Items(i));
            // A copy's mailboxes are other mailboxes: a row of the source's never names them.
            EXPECT_EQ(copy->IndexOfId(source.Id(i)), -1);
            EXPECT_EQ(source.IndexOfId(copy->Id(i)), -1);
        }
    }
    // Changing a copy leaves the source alone.
    copied.Items(0)->CertFingerprint = "cd34";
    EXPECT_EQ(source.Items(0)->CertFingerprint, "ab12");
    EXPECT_FALSE(copied == source);
}

TEST(MailBoxList, RemoveAndMenuCaptions)
{
    TMailBoxList list;
    EXPECT_TRUE(list.CheckMenuCaptions().isEmpty());
    EXPECT_EQ(list.Add(MakeMailBox("Home", "pop.a")), 0);
    EXPECT_EQ(list.Add(MakeMailBox("Work", "imap.b", false)), 1);
    EXPECT_EQ(list.CheckMenuCaptions(), (QStringList{"&1 Home (pop.a)", "&2 Work (imap.b)"}));

    TMailBox stranger;
    list.Remove(&stranger);
    EXPECT_EQ(list.Count(), 2);
    const quint64 home = list.Id(0);
    const quint64 work = list.Id(1);
    list.Remove(list.Items(0));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0)->Name, "Work");
    // The id goes with its mailbox: the one removed names nothing, the other moved up with it.
    EXPECT_EQ(list.IndexOfId(home), -1);
    EXPECT_EQ(list.IndexOfId(work), 0);
    EXPECT_EQ(list.CheckMenuCaptions(), QStringList{"&1 Work (imap.b)"});
}

TEST(MailBoxStorage, LoadingDefaults)
{
    struct Case {
        const char* name;
        QByteArray file;
        int count;
    } cases[] = {
        {"no file", {}, 0},
        {"no NumMailbox", "[Main]\nHost0=h\n", 0},
        {"negative count", "[Main]\nNumMailbox=-3\n", 0},
        {"count is no integer", "[Main]\nNumMailbox=two\n", 0},
        {"only Host0", "[Main]\nNumMailbox=1\nHost0=pop.example.org\n", 1},
        {"count above stored", "[Main]\nNumMailbox=3\nName0=a\n", 3},
        {"absurd count is capped", "[Main]\nNumMailbox=2000000000\n", TMailBoxList::MaxMailBoxes},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const QString path = c.file.isNull() ? folder.Path("s.ini") : folder.Write("s.ini", c.file);
        TMailBoxList list;
        list.Load(path);
        ASSERT_EQ(list.Count(), c.count) << c.name;
        if (c.count == 0)
            continue;
        const TMailBox* box = list.Items(c.count - 1);
        EXPECT_EQ(box->Port, 110) << c.name;
        EXPECT_EQ(box->Protocol, TMailProtocol::POP3) << c.name;
        EXPECT_FALSE(box->IgnoreCheckAllCommand) << c.name;
        EXPECT_FALSE(box->IgnoreCheckOnSchedule) << c.name;
        EXPECT_EQ(box->Security, TSecurity::None) << c.name;
        EXPECT_TRUE(box->UserName.isEmpty() && box->Password.isEmpty()) << c.name;
    }
    TempFolder folder;
    TMailBoxList list;
    list.Load(folder.Write("s.ini", "[Main]\nNumMailbox=1\nHost0=pop.example.org\n"));
    EXPECT_EQ(list.Items(0)->Host, "pop.example.org");
    EXPECT_TRUE(list.Items(0)->Name.isEmpty());
}

TEST(MailBoxStorage, KeyLayout)
{
    TempFolder folder;
    TMailBoxList list;
    auto box = MakeMailBox("Home", "pop.a");
    box->Port = 110;
    box->UserName = "u";
    box->Password = "p";
    box->IgnoreCheckOnSchedule = true;
    list.Add(std::move(box));
    list.Save(folder.Path("s.ini"));
    EXPECT_EQ(folder.Read("s.ini"),
              "[Main]\nNumMailbox=1\nName0=Home\nHost0=pop.a\nPort0=110\nUserName0=u\nPassword0=p\nPasswordInStore0=0\n"
              "IgnoreCheckAllCommand0=0\nIgnoreCheckOnSchedule0=1\nPOPorIMAP0=1\nSecurity0=0\n"
              "CertFingerprint0=\nIdle0=0\n");
}

TEST(MailBoxStorage, RoundTripOfEveryField)
{
    TempFolder folder;
    TMailBoxList list;
    auto a = MakeMailBox(QString::fromUtf8("Почта = дом"), "mail.example.org", false);
    a->Port = 993;
    a->UserName = QString::fromUtf8("  пользователь ");
    a->Password = "\"p=w; #x\"";
    a->IgnoreCheckAllCommand = true;
    a->Security = TSecurity::StartTls;
    a->CertFingerprint = "0a1b2c";
    list.Add(std::move(a));
    auto b = MakeMailBox("Work", "10.0.0.1");
    b->IgnoreCheckOnSchedule = true;
    b->Security = TSecurity::Tls;
    b->Idle = true;
    list.Add(std::move(b));
    list.Save(folder.Path("s.ini"));

    TMailBoxList loaded;
    loaded.Load(folder.Path("s.ini"));
    ASSERT_EQ(loaded.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        const TMailBox* s = list.Items(i);
        const TMailBox* l = loaded.Items(i);
        EXPECT_TRUE(*l == *s) << i;
    }
}

TEST(MailBoxSettings, EveryFieldTakesPartInEquality)
{
    const std::function<void(TMailBoxSettings&)> changes[] = {
        [](TMailBoxSettings& b) { b.Name = "x"; },
        [](TMailBoxSettings& b) { b.Host = "x"; },
        [](TMailBoxSettings& b) { b.Port = 995; },
        [](TMailBoxSettings& b) { b.UserName = "x"; },
        [](TMailBoxSettings& b) { b.Password = "x"; },
        [](TMailBoxSettings& b) { b.IgnoreCheckAllCommand = true; },
        [](TMailBoxSettings& b) { b.IgnoreCheckOnSchedule = true; },
        [](TMailBoxSettings& b) { b.Protocol = TMailProtocol::POP3; },
        [](TMailBoxSettings& b) { b.Security = TSecurity::Tls; },
        [](TMailBoxSettings& b) { b.CertFingerprint = "x"; },
        [](TMailBoxSettings& b) { b.Idle = true; },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        TMailBoxSettings changed;
        changes[i](changed);
        EXPECT_FALSE(changed == TMailBoxSettings()) << "field " << i;
    }
}

// A mailbox taken out of the list leaves no key behind, its password least of all, whatever
// case a hand-edited file wrote the keys in; keys that are not a mailbox's stay.
TEST(MailBoxStorage, ShorterListRemovesTheKeysOfItsFormerMailboxes)
{
    TempFolder folder;
    TMailBoxList five;
    for (int i = 0; i < 5; ++i)
        five.Add(MakeMailBox(QString("box%1").arg(i), "h"));
    five.Save(folder.Path("s.ini"));
    {
        TveqIniFile ini(folder.Path("s.ini"));
        ini.WriteString("Main", "password7", "stray");
        ini.WriteString("Main", "NameTag3", "not a mailbox key");
    }

    TMailBoxList two;
    two.Add(MakeMailBox("A", "a"));
    two.Add(MakeMailBox("B", "b"));
    two.Save(folder.Path("s.ini"));

    TveqIniFile ini(folder.Path("s.ini"));
    QStringList left;
    for (const QString& key : ini.ReadSection("Main"))
        if (!key.endsWith('0') && !key.endsWith('1'))
            left.append(key);
    EXPECT_EQ(left, (QStringList{"NumMailbox", "NameTag3"}));
    EXPECT_EQ(ini.ReadString("Main", "Password1", {}), MakeMailBox("B", "b")->Password);
    TMailBoxList loaded;
    loaded.Load(folder.Path("s.ini"));
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.Items(1)->Name, "B");
}

TEST(MailBoxStorage, OtherKeysOfMainSurvive)
{
    TempFolder folder;
    folder.Write("s.ini", "[Main]\nFCheckMailInterval=5\nNumMailbox=0\n[Stats]\nCount=6\n");
    TMailBoxList list;
    list.Add(MakeMailBox("A", "a"));
    list.Save(folder.Path("s.ini"));
    TveqIniFile ini(folder.Path("s.ini"));
    EXPECT_EQ(ini.ReadInteger("Main", "FCheckMailInterval", 0), 5);
    EXPECT_EQ(ini.ReadInteger("Stats", "Count", 0), 6);
    EXPECT_EQ(ini.ReadInteger("Main", "NumMailbox", 0), 1);
}

}  // namespace
}  // namespace brevio
