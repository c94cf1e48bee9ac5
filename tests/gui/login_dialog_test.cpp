// The login prompt: the host in the description, the answers, and the Caps Lock warning.
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/footer.h"
#include "ui/login_dialog.h"

namespace brevio {
namespace {

TEST(LoginPrompt, ComponentsCarryTheirNames)
{
    TfrmFTPLoginAndPassword dialog;
    for (const char* name : {"lblDesc", "lblLogin", "edtUserName", "lblPassword", "edtPassword", "lblWarning", "btnOK",
                             "btnCancel", "Timer1"})
        EXPECT_NE(dialog.findChild<QObject*>(QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(dialog.edtPassword->echoMode(), QLineEdit::Password);
}

TEST(LoginPrompt, HostGoesIntoTheDescription)
{
    TfrmFTPLoginAndPassword dialog;
    dialog.SetHost(QStringLiteral("mail.example.org"));
    EXPECT_EQ(dialog.lblDesc->text(), QStringLiteral("Вход в mail.example.org"));
}

enum class TAnswer { ClickOk, ClickCancel, SpaceOnCancel, CloseBox };

struct TAnswerCase {
    const char* Name;
    TAnswer Answer;
    QString User;
    QString Password;
    bool ExpectConfirmed;
};

class LoginAnswer : public ::testing::TestWithParam<TAnswerCase> {};

TEST_P(LoginAnswer, ReturnsWhatWasTyped)
{
    const TAnswerCase& c = GetParam();
    QTimer::singleShot(0, [&c] {
        auto* dialog = qobject_cast<TfrmFTPLoginAndPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->edtUserName, c.User);
        QTest::keyClicks(dialog->edtPassword, c.Password);
        switch (c.Answer) {
        case TAnswer::ClickOk:
            QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
            break;
        case TAnswer::ClickCancel:
            QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
            break;
        case TAnswer::SpaceOnCancel:
            dialog->btnCancel->setFocus();
            QTest::keyClick(dialog->btnCancel, Qt::Key_Space);
            break;
        case TAnswer::CloseBox:
            dialog->close();
            break;
        }
        // Every answer closes the dialog at once; one that does not is a failure, and the
        // dialog is then closed here so the test does not hang.
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog stayed open";
            dialog->done(QDialog::Rejected);
        }
    });
    QString user;
    QString password;
    const bool confirmed = ShowLoginPrompt(nullptr, QStringLiteral("host"), user, password);
    EXPECT_EQ(confirmed, c.ExpectConfirmed);
    EXPECT_EQ(user, c.User);
    EXPECT_EQ(password, c.Password);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LoginAnswer,
    ::testing::Values(
        TAnswerCase{"Confirmed", TAnswer::ClickOk, QStringLiteral("alice"), QStringLiteral("s3cret"), true},
        TAnswerCase{"ConfirmedEmpty", TAnswer::ClickOk, QString(), QString(), true},
        TAnswerCase{"CancelClicked", TAnswer::ClickCancel, QStringLiteral("carol"), QStringLiteral("y"), false},
        TAnswerCase{"SpaceOnCancel", TAnswer::SpaceOnCancel, QStringLiteral("dave"), QStringLiteral("z"), false},
        TAnswerCase{"CloseBoxCancels", TAnswer::CloseBox, QStringLiteral("bob"), QStringLiteral("x"), false}),
    [](const auto& tested) { return std::string(tested.param.Name); });

TEST(LoginPrompt, WarningFollowsCapsLock)
{
    TfrmFTPLoginAndPassword dialog;
    dialog.show();
    EXPECT_FALSE(dialog.WarningVisible());
    dialog.SetCapsLockState(true);
    EXPECT_TRUE(dialog.WarningVisible());
    // The Caps Lock key toggles the known state back off.
    QTest::keyPress(dialog.edtPassword, Qt::Key_CapsLock);
    dialog.Timer1Timer();
    EXPECT_FALSE(dialog.WarningVisible());
}

}  // namespace
}  // namespace brevio
