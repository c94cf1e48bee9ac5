// The mailbox editor as a user drives it: typing, the toolbar, OK and Cancel, the port field, the
// help request and the "Test" button against a small POP3 server.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <vector>

#include "components/footer.h"
#include "fake_pop3_server.h"
#include "support/qt_printers.h"
#include "support/temp_files.h"
#include "ui/help_topic.h"
#include "ui/mailbox_editor.h"
#include "secrets/secret_store.h"

namespace brevio {
namespace {

// The settings of one mailbox as the settings file gives them back.
struct TBox {
    QString Name;
    QString Host;
    int Port = 0;
    QString UserName;
    QString Password;
    bool IgnoreAll = false;
    bool IgnoreSchedule = false;
    TMailProtocol Protocol = TMailProtocol::IMAP4;
    TSecurity Security = TSecurity::None;
    QString Pin;
    bool operator==(const TBox&) const = default;
};

void PrintTo(const TBox& b, std::ostream* os)
{
    *os << "{" << b.Name.toStdString() << ", " << b.Host.toStdString() << ":" << b.Port << ", "
        << b.UserName.toStdString() << "/" << b.Password.toStdString() << ", ignore " << b.IgnoreAll << b.IgnoreSchedule
        << ", " << (b.Protocol == TMailProtocol::POP3 ? "POP3" : "IMAP4") << ", security " << int(b.Security)
        << ", pin " << b.Pin.toStdString() << "}";
}

const QString kPin = QStringLiteral("AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12CD34EF56AB12");

const std::vector<TBox> kStart = {
    {"Home", "pop.home.example", 110, "me", "secret", false, true, TMailProtocol::POP3, TSecurity::None, ""},
    {"Work", "imap.work.example", 993, "me@work", "pw", true, false, TMailProtocol::IMAP4, TSecurity::Tls, kPin},
    {"Old", "mail.old.example", 143, "old", "", false, false, TMailProtocol::IMAP4, TSecurity::StartTls, ""},
};

void Fill(TMailBoxList& list, const std::vector<TBox>& boxes)
{
    for (const TBox& b : boxes) {
        auto box = std::make_unique<TMailBox>();
        box->Name = b.Name;
        box->Host = b.Host;
        box->Port = b.Port;
        box->UserName = b.UserName;
        box->Password = b.Password;
        box->IgnoreCheckAllCommand = b.IgnoreAll;
        box->IgnoreCheckOnSchedule = b.IgnoreSchedule;
        box->Protocol = b.Protocol;
        box->Security = b.Security;
        box->CertFingerprint = b.Pin;
        list.Add(std::move(box));
    }
}

// What the list holds after a trip through the settings file.
std::vector<TBox> Stored(const TMailBoxList& list)
{
    test::TempFolder folder;
    const QString file = folder.Path(QStringLiteral("Brevio.INI"));
    list.Save(file);
    TMailBoxList back;
    back.Load(file);
    std::vector<TBox> boxes;
    for (int i = 0; i < back.Count(); ++i) {
        const TMailBox& m = *back.Items(i);
        boxes.push_back({m.Name, m.Host, m.Port, m.UserName, m.Password, m.IgnoreCheckAllCommand,
                         m.IgnoreCheckOnSchedule, m.Protocol, m.Security, m.CertFingerprint});
    }
    return boxes;
}

TStringTable Strings()
{
    TStringTable strings;
    strings.Set(QStringLiteral("NewMailBoxName"), QStringLiteral("New mailbox"));
    return strings;
}

// The user's hand on the dialog.
struct THand {
    TfrmMailBoxes& d;

    void ClickRow(int row) const
    {
        QTreeWidgetItem* item = d.ListView1->topLevelItem(row);
        QTest::mouseClick(d.ListView1->viewport(), Qt::LeftButton, {}, d.ListView1->visualItemRect(item).center());
    }
    void Tool(QAction* action) const { QTest::mouseClick(d.ToolBar1->widgetForAction(action), Qt::LeftButton); }
    void Retype(QLineEdit* edit, const QString& text) const
    {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void Click(QWidget* w) const { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, w->height() / 2)); }
};

// Runs Execute on `list`; `act` plays the user once the dialog is up, `close` ends it.
bool RunEditor(TMailBoxList& list, const std::function<void(const THand&)>& act, TFooterBtn* TfrmMailBoxes::*close)
{
    TfrmMailBoxes dialog(list, Strings());
    QTimer::singleShot(0, [&] {
        const THand hand{dialog};
        act(hand);
        QTest::mouseClick(dialog.*close, Qt::LeftButton);
    });
    return dialog.Execute(list);
}

struct TEditCase {
    const char* Name;
    std::function<void(const THand&)> Act;
    std::function<void(std::vector<TBox>&)> Change;  // what the list must differ in after OK
};

class MailBoxEditorEdit : public ::testing::TestWithParam<TEditCase> {};

TEST_P(MailBoxEditorEdit, OkGivesExactlyTheEditsAndCancelNothing)
{
    const TEditCase& c = GetParam();
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        TMailBoxList list;
        Fill(list, kStart);
        const bool confirmed = RunEditor(list, c.Act, ok ? &TfrmMailBoxes::FooterBtn1 : &TfrmMailBoxes::FooterBtn2);
        EXPECT_EQ(confirmed, ok);
        std::vector<TBox> expected = kStart;
        if (ok)
            c.Change(expected);
        EXPECT_EQ(Stored(list), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MailBoxEditorEdit,
                         ::testing::Values(TEditCase{"changed",
                                                     [](const THand& h) {
                                                         h.ClickRow(1);
                                                         h.Retype(h.d.edtName, "Office");
                                                         h.Retype(h.d.edtHost, "mail.office.example");
                                                         h.Retype(h.d.edtPort, "995");
                                                         h.Retype(h.d.edtUserName, "boss");
                                                         h.Retype(h.d.edtPassword, "p4ss");
                                                         h.Click(h.d.rbPop3);
                                                         h.Click(h.d.chkIgnorCheckAllCommand);
                                                         h.Click(h.d.chkIgnoreCheckOnIgnoreSchedule);
                                                         h.d.cbSecurity->setFocus();
                                                         QTest::keyClick(h.d.cbSecurity,
                                                                         Qt::Key_Down);  // TLS -> STARTTLS
                                                         QTest::mouseClick(h.d.btnForgetCertificate, Qt::LeftButton);
                                                     },
                                                     [](std::vector<TBox>& b) {
                                                         b[1] = {"Office",
                                                                 "mail.office.example",
                                                                 995,
                                                                 "boss",
                                                                 "p4ss",
                                                                 false,
                                                                 true,
                                                                 TMailProtocol::POP3,
                                                                 TSecurity::StartTls,
                                                                 ""};
                                                     }},
                                           TEditCase{"new",
                                                     [](const THand& h) {
                                                         h.Tool(h.d.actNewMailBox);
                                                         QTest::keyClicks(
                                                             h.d.edtName,
                                                             "Spare");  // the new name is selected: typing replaces it
                                                         h.Retype(h.d.edtHost, "pop.spare.example");
                                                         h.Retype(h.d.edtPort, "110");
                                                         h.Click(h.d.rbPop3);
                                                     },
                                                     [](std::vector<TBox>& b) {
                                                         b.push_back({"Spare", "pop.spare.example", 110, "", "", false,
                                                                      false, TMailProtocol::POP3, TSecurity::None, ""});
                                                     }},
                                           TEditCase{"copied",
                                                     [](const THand& h) {
                                                         h.ClickRow(1);
                                                         h.Tool(h.d.actCopy);
                                                     },
                                                     [](std::vector<TBox>& b) {
                                                         TBox copy = b[1];
                                                         copy.Name = "New mailbox";
                                                         b.push_back(copy);
                                                     }},
                                           TEditCase{"deleted",
                                                     [](const THand& h) {
                                                         h.ClickRow(1);
                                                         h.Tool(h.d.actDelete);
                                                     },
                                                     [](std::vector<TBox>& b) { b.erase(b.begin() + 1); }}),
                         [](const auto& tested) { return std::string(tested.param.Name); });

TEST(MailBoxEditor, RowCaptionFollowsEveryKeystroke)
{
    TMailBoxList list;
    Fill(list, kStart);
    TfrmMailBoxes dialog(list, Strings());
    dialog.show();
    const THand hand{dialog};
    hand.ClickRow(2);
    hand.Retype(dialog.edtName, {});
    QString typed;
    for (const QChar c : QStringLiteral("Ab c")) {
        QTest::keyClick(dialog.edtName, c.toLatin1());
        typed += c;
        EXPECT_EQ(dialog.ListView1->topLevelItem(2)->text(0), typed);
    }
}

TEST(MailBoxEditor, NewMailBoxStartsEmptyWithImap)
{
    TMailBoxList list;
    TfrmMailBoxes dialog(list, Strings());
    EXPECT_EQ(dialog.SelectedIndex(), -1);
    EXPECT_FALSE(dialog.rbPop3->isChecked() || dialog.rbIMAP4->isChecked());  // an empty list has no protocol
    THand{dialog}.Tool(dialog.actNewMailBox);
    EXPECT_EQ(dialog.SelectedIndex(), 0);
    EXPECT_EQ(dialog.edtName->text(), QStringLiteral("New mailbox"));
    EXPECT_EQ(dialog.edtPort->text(), QString());  // port 0 is no port: the user must give one
    EXPECT_TRUE(dialog.rbIMAP4->isChecked());
    EXPECT_FALSE(dialog.FooterBtn1->isEnabled());
    EXPECT_EQ(dialog.WorkingCopy().Items(0)->Port, 0);
    // The empty field shows the standard port of the chosen protocol and security, and only
    // shows it: switching the protocol writes no port.
    const struct {
        QRadioButton* Protocol;
        int Security;
        const char* Shown;
    } choices[] = {{dialog.rbIMAP4, 0, "143"}, {dialog.rbIMAP4, 1, "993"}, {dialog.rbIMAP4, 2, "143"},
                   {dialog.rbPop3, 0, "110"},  {dialog.rbPop3, 1, "995"},  {dialog.rbPop3, 2, "110"}};
    for (const auto& choice : choices) {
        choice.Protocol->click();
        dialog.cbSecurity->setCurrentIndex(choice.Security);
        EXPECT_EQ(dialog.edtPort->placeholderText(), QLatin1String(choice.Shown));
        EXPECT_EQ(dialog.WorkingCopy().Items(0)->Port, 0);
    }
}

TEST(MailBoxEditor, SelectionAfterDelete)
{
    struct Case {
        int deleted;
        int selected;  // -1: none, fields empty and POP3 on
    };
    for (const Case c : {Case{0, -1}, Case{1, 0}, Case{2, 1}}) {
        SCOPED_TRACE(c.deleted);
        TMailBoxList list;
        Fill(list, kStart);
        TfrmMailBoxes dialog(list, Strings());
        dialog.show();
        const THand hand{dialog};
        hand.ClickRow(c.deleted);
        hand.Tool(dialog.actDelete);
        EXPECT_EQ(dialog.ListView1->topLevelItemCount(), 2);
        EXPECT_EQ(dialog.SelectedIndex(), c.selected);
        if (c.selected >= 0) {
            EXPECT_EQ(dialog.edtName->text(), dialog.WorkingCopy().Items(c.selected)->Name);
            EXPECT_TRUE(dialog.edtName->isEnabled());
        } else {
            for (QLineEdit* e :
                 {dialog.edtName, dialog.edtHost, dialog.edtPort, dialog.edtUserName, dialog.edtPassword})
                EXPECT_EQ(e->text(), QString()) << e->objectName().toStdString();
            EXPECT_TRUE(dialog.rbPop3->isChecked());
            EXPECT_FALSE(dialog.edtName->isEnabled());  // nothing typed here could be kept
        }
    }
}

TEST(MailBoxEditor, PortTakesDigitsOnlyAndOkWaitsForAValidOne)
{
    struct Case {
        const char* typed;
        const char* shown;
        int stored;  // 0: invalid, OK refused
    };
    const Case cases[] = {
        {"995", "995", 995},       {"abc", "", 0},        {"1a2", "12", 12},           {"0", "0", 0},
        {"65535", "65535", 65535}, {"65536", "65536", 0}, {"1234567", "12345", 12345},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TMailBoxList list;
        Fill(list, kStart);
        TfrmMailBoxes dialog(list, Strings());
        dialog.show();
        THand{dialog}.Retype(dialog.edtPort, QString::fromLatin1(c.typed));
        EXPECT_EQ(dialog.edtPort->text(), QLatin1String(c.shown));
        EXPECT_EQ(dialog.WorkingCopy().Items(0)->Port, c.stored);
        EXPECT_EQ(dialog.lblPortStatus->text().isEmpty(), c.stored != 0);
        EXPECT_EQ(dialog.FooterBtn1->isEnabled(), c.stored != 0);
        dialog.done(QDialog::Accepted);
        EXPECT_EQ(dialog.isVisible(), c.stored == 0) << "OK must be refused exactly for an invalid port";
    }
}

TEST(MailBoxEditor, OkShowsAnotherMailBoxWithoutPort)
{
    TMailBoxList list;
    Fill(list, kStart);
    TfrmMailBoxes dialog(list, Strings());
    dialog.show();
    const THand hand{dialog};
    hand.Tool(dialog.actNewMailBox);  // port 0
    hand.ClickRow(0);
    EXPECT_TRUE(dialog.FooterBtn1->isEnabled());
    dialog.done(QDialog::Accepted);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.SelectedIndex(), 3);
    EXPECT_FALSE(dialog.lblPortStatus->text().isEmpty());
}

TEST(MailBoxEditor, HelpAsksForItsTopic)
{
    TMailBoxList list;
    QStringList asked;
    TfrmMailBoxes dialog(list, Strings(), nullptr, [&](QWidget*, const QString& topic) { asked << topic; });
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));  // F1 is a shortcut of the active window
    QTest::mouseClick(dialog.FooterBtn3, Qt::LeftButton);
    QTest::keyClick(dialog.ListView1, Qt::Key_F1);
    EXPECT_EQ(asked, QStringList({"MailBoxOptions.htm", "MailBoxOptions.htm"}));
}

TEST(MailBoxEditor, MissingHelpFileIsReported)
{
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    ShowHelpTopic(nullptr, QStringLiteral("NoSuchTopic.htm"));
    EXPECT_TRUE(shown.contains(QDir::toNativeSeparators(HelpTopicPath(QStringLiteral("NoSuchTopic.htm")))))
        << shown.toStdString();
}

TEST(MailBoxEditor, TestReportsBesideTheButton)
{
    struct Case {
        const char* name;
        bool refuse;
        const char* result;
    };
    const Case cases[] = {
        {"works", false, "Works: 2 messages in the inbox."},
        {"refused", true, "Connected, but the login was refused: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TFakePop3Server server({{"One", 100}, {"Two", 200}});
        if (c.refuse)
            server.RefuseLogin();
        TMailBoxList list;
        Fill(list,
             {{"Local", "127.0.0.1", server.Port(), "u", "p", false, false, TMailProtocol::POP3, TSecurity::None, ""}});
        TfrmMailBoxes dialog(list, Strings());
        dialog.show();
        QSignalSpy finished(&dialog, &TfrmMailBoxes::TestFinished);
        QTest::mouseClick(dialog.btnTest, Qt::LeftButton);
        EXPECT_FALSE(dialog.btnTest->isEnabled());
        ASSERT_TRUE(finished.wait(20000));
        EXPECT_TRUE(dialog.lblTestResult->text().startsWith(QLatin1String(c.result)))
            << dialog.lblTestResult->text().toStdString();
        EXPECT_TRUE(dialog.btnTest->isEnabled());
        EXPECT_EQ(server.Connections(), 1);
    }
}

// Escape while Test waits on a silent server ends the test and keeps the dialog, with the new
// mailbox in it; a second Escape, with no test going, is Cancel as ever.
TEST(MailBoxEditor, EscapeDuringTestEndsTheTestNotTheDialog)
{
    test::TFakePop3Server silent({}, /*silent=*/true);
    TMailBoxList list;
    TfrmMailBoxes dialog(list, Strings());
    dialog.SetTestTimeout(60);
    dialog.show();
    THand{dialog}.Tool(dialog.actNewMailBox);
    THand{dialog}.Retype(dialog.edtHost, QStringLiteral("127.0.0.1"));
    THand{dialog}.Retype(dialog.edtPort, QString::number(silent.Port()));
    QSignalSpy finished(&dialog, &TfrmMailBoxes::TestFinished);
    QTest::mouseClick(dialog.btnTest, Qt::LeftButton);
    ASSERT_TRUE(dialog.TestRunning());
    QTest::keyClick(dialog.edtPort, Qt::Key_Escape);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.lblTestResult->text(), dialog.TestStoppedText);
    EXPECT_EQ(dialog.WorkingCopy().Count(), 1);
    QTest::keyClick(dialog.edtPort, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
}

// Test refuses a port OK would refuse, without connecting; a long result wraps inside the
// dialog instead of widening it.
TEST(MailBoxEditor, TestRefusesABadPortAndItsResultKeepsTheWidth)
{
    TMailBoxList list;
    Fill(list, kStart);
    TfrmMailBoxes dialog(list, Strings());
    dialog.show();
    THand{dialog}.Retype(dialog.edtPort, QStringLiteral("99999"));
    QTest::mouseClick(dialog.btnTest, Qt::LeftButton);
    EXPECT_FALSE(dialog.TestRunning());
    EXPECT_EQ(dialog.lblPortStatus->text(), dialog.PortInvalidText);
    const int width = dialog.width();
    dialog.lblTestResult->setText(QString(40, u'x').repeated(8).replace(u'x', QStringLiteral("word ")));
    QApplication::processEvents();
    EXPECT_EQ(dialog.width(), width);
}

TEST(MailBoxEditor, ClosingAbortsARunningTest)
{
    test::TFakePop3Server silent({}, /*silent=*/true);
    TMailBoxList list;
    Fill(list,
         {{"Hangs", "127.0.0.1", silent.Port(), "u", "p", false, false, TMailProtocol::POP3, TSecurity::None, ""}});
    QElapsedTimer clock;
    {
        TfrmMailBoxes dialog(list, Strings());
        dialog.SetTestTimeout(60);
        dialog.show();
        QTest::mouseClick(dialog.btnTest, Qt::LeftButton);
        ASSERT_TRUE(dialog.TestRunning());
        clock.start();
        QTest::mouseClick(dialog.FooterBtn2, Qt::LeftButton);
    }  // the dialog waits for its test thread here
    EXPECT_LT(clock.elapsed(), 10000) << "the test went on after the dialog closed";
}

// With the passwords in the store, the editor shows them from there and OK writes back only what
// changed: a renamed mailbox's secret moves, a copy shares it, a removed one leaves it for
// removal after the save, and Cancel writes nothing.
TEST(MailBoxEditor, SecretStoreFollowsRenameCopyRemoveAndNotCancel)
{
    TMailBoxList list;
    for (const char* host : {"a.example", "b.example"}) {
        auto box = std::make_unique<TMailBox>();
        box->Name = QLatin1String(host);
        box->Host = QLatin1String(host);
        box->Port = 110;
        box->UserName = QStringLiteral("u");
        box->Protocol = TMailProtocol::POP3;
        box->PasswordInStore = true;
        list.Add(std::move(box));
    }
    const QString keyA = SecretKeyFor(*list.Items(0));
    const QString keyB = SecretKeyFor(*list.Items(1));
    struct Case {
        const char* name;
        std::function<void(TfrmMailBoxes&)> edit;
        bool ok;
        QStringList keys;  // the store's keys after OK (before the stale ones go)
        QStringList stale;
    };
    const QString keyMoved = QStringLiteral("pop3://u@c.example:110");
    const Case cases[] = {
        {"cancel after a rename",
         [](TfrmMailBoxes& d) { THand{d}.Retype(d.edtHost, QStringLiteral("c.example")); },
         false,
         {keyA, keyB},
         {}},
        {"rename",
         [](TfrmMailBoxes& d) { THand{d}.Retype(d.edtHost, QStringLiteral("c.example")); },
         true,
         {keyA, keyB, keyMoved},
         {keyA}},
        {"copy", [](TfrmMailBoxes& d) { THand{d}.Tool(d.actCopy); }, true, {keyA, keyB}, {}},
        {"remove", [](TfrmMailBoxes& d) { THand{d}.Tool(d.actDelete); }, true, {keyA, keyB}, {keyA}},
    };
    for (const Case& c : cases) {
        auto store = std::make_shared<TMemorySecretStore>();
        store->Secrets = {{keyA, QStringLiteral("pa")}, {keyB, QStringLiteral("pb")}};
        TfrmMailBoxes dialog(list, Strings());
        dialog.SetSecretStore(store);
        dialog.show();
        dialog.SelectRow(0);
        EXPECT_EQ(dialog.edtPassword->text(), QStringLiteral("pa")) << c.name;
        c.edit(dialog);
        dialog.done(c.ok ? QDialog::Accepted : QDialog::Rejected);
        QStringList keys = store->Secrets.keys();
        keys.sort();
        QStringList expected = c.keys;
        expected.sort();
        EXPECT_EQ(keys, expected) << c.name;
        EXPECT_EQ(store->Secrets.value(keyMoved, QStringLiteral("pa")), QStringLiteral("pa")) << c.name;
        EXPECT_EQ(dialog.StaleSecretKeys(), c.stale) << c.name;
        if (c.ok)
            for (int i = 0; i < dialog.WorkingCopy().Count(); ++i) {
                EXPECT_TRUE(dialog.WorkingCopy().Items(i)->Password.isEmpty()) << c.name;
                EXPECT_TRUE(dialog.WorkingCopy().Items(i)->PasswordInStore) << c.name;
            }
    }
}

}  // namespace
}  // namespace brevio
