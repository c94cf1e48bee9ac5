// The options dialog: what OK stores (and in the settings file), what Cancel leaves, the interval
// arrows, a save that fails, and the autostart entry, all on files of the test's own.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <functional>

#include "components/footer.h"
#include "localization/localizator.h"
#include "settings/autorun.h"
#include "settings/options.h"
#include "support/qt_printers.h"
#include "support/temp_files.h"
#include "ui/options_dialog.h"

namespace brevio {
namespace {

// Settings file, language files and autostart folder in a temporary folder.
class OptionsDialogTest : public ::testing::Test {
protected:
    OptionsDialogTest()
    {
        folder_.Write(QStringLiteral("langs/lang.ENG"), "[Strings]\nNewMailBoxName=New mailbox\n");
        folder_.Write(QStringLiteral("langs/lang.RUS"), "[Strings]\nNewMailBoxName=Новый\n");
        settingsFile_ = folder_.Path(QStringLiteral("Brevio.INI"));
        options_.FCurrentLanguage = QStringLiteral("ENG");
        options_.FCheckMailInterval = 15;
        options_.FAutomaticCheckMail = true;
        localizator_ = std::make_unique<TLocalizator>(options_, folder_.Path(QStringLiteral("langs")));
    }

    // Opens the dialog, lets `act` play the user, then closes it with `close`.
    bool Run(const std::function<void(TfrmOptions&)>& act, TFooterBtn* TfrmOptions::*close)
    {
        TfrmOptions dialog(options_, *localizator_, settingsFile_);
        QTimer::singleShot(0, [&] {
            act(dialog);
            QTest::mouseClick(dialog.*close, Qt::LeftButton);
        });
        return dialog.exec() == QDialog::Accepted;
    }

    test::TempFolder folder_;
    QString settingsFile_;
    const test::ScopedEnvironment xdg_{"XDG_CONFIG_HOME", folder_.Path(QStringLiteral("config"))};
    TOptions options_;
    std::unique_ptr<TLocalizator> localizator_;
};

void ChangeEverything(TfrmOptions& d)
{
    QTest::mouseClick(d.chkLoadOnWindowsStartUp, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(d.chkAutoCheck, Qt::LeftButton, {}, QPoint(5, 5));
    d.udCheckInterval->setFocus();
    QTest::keyClick(d.udCheckInterval, Qt::Key_Up);
    QTest::keyClick(d.udCheckInterval, Qt::Key_Up);
    QTest::keyClicks(d.edtEmailClientPath, "/usr/bin/mailer");
    QTest::keyClicks(d.edtParameters, "--inbox");
    d.udNetworkTimeout->setFocus();
    QTest::keyClick(d.udNetworkTimeout, Qt::Key_Down);
    QTest::mouseClick(d.chkPipelining, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(d.chkHeaderCache, Qt::LeftButton, {}, QPoint(5, 5));
    d.cbLang->setFocus();
    QTest::keyClick(d.cbLang, Qt::Key_Down);  // ENG -> RUS, in name order
}

TEST_F(OptionsDialogTest, OkStoresAndSavesCancelLeavesEverything)
{
    const TOptions before = options_;
    EXPECT_FALSE(Run(ChangeEverything, &TfrmOptions::FooterBtn2));
    EXPECT_FALSE(QFileInfo::exists(settingsFile_));
    EXPECT_FALSE(IsLoadOnStartSet());
    EXPECT_EQ(options_.FCurrentLanguage, before.FCurrentLanguage);
    EXPECT_EQ(options_.FEmailClientPath, before.FEmailClientPath);

    EXPECT_TRUE(Run(ChangeEverything, &TfrmOptions::FooterBtn1));
    TOptions saved;
    saved.Load(settingsFile_);
    for (const TOptions* o : {&options_, &saved}) {
        EXPECT_TRUE(o->FLoadOnWindowsStart);
        EXPECT_FALSE(o->FAutomaticCheckMail);
        EXPECT_EQ(o->FCheckMailInterval, 17);
        EXPECT_EQ(o->FEmailClientPath, QStringLiteral("/usr/bin/mailer"));
        EXPECT_EQ(o->FEmailClientParameters, QStringLiteral("--inbox"));
        EXPECT_EQ(o->FNetworkTimeout, 59);
        EXPECT_FALSE(o->FPipelining);
        EXPECT_FALSE(o->FHeaderCache);
        EXPECT_EQ(o->FCurrentLanguage, QStringLiteral("RUS"));
    }
    EXPECT_TRUE(IsLoadOnStartSet());
    EXPECT_EQ(localizator_->Strings.Text(texts::NewMailBoxName), QStringLiteral("Новый"));

    // Unticking removes the entry; the box shows the entry itself.
    EXPECT_TRUE(Run(
        [](TfrmOptions& d) {
            EXPECT_TRUE(d.chkLoadOnWindowsStartUp->isChecked());
            QTest::mouseClick(d.chkLoadOnWindowsStartUp, Qt::LeftButton, {}, QPoint(5, 5));
        },
        &TfrmOptions::FooterBtn1));
    EXPECT_FALSE(IsLoadOnStartSet());
}

TEST_F(OptionsDialogTest, NoLanguageSelectedKeepsTheLanguageAndSavesTheRest)
{
    EXPECT_TRUE(Run(
        [](TfrmOptions& d) {
            d.cbLang->setCurrentIndex(-1);
            QTest::keyClicks(d.edtParameters, "-x");
        },
        &TfrmOptions::FooterBtn1));
    TOptions saved;
    saved.Load(settingsFile_);
    EXPECT_EQ(saved.FCurrentLanguage, QStringLiteral("ENG"));
    EXPECT_EQ(saved.FEmailClientParameters, QStringLiteral("-x"));
}

TEST_F(OptionsDialogTest, IntervalArrowsStopAtTheEnds)
{
    struct Case {
        int start;
        Qt::Key key;
        int end;
    };
    for (const Case c : {Case{1, Qt::Key_Down, 0}, Case{99, Qt::Key_Up, 100}}) {
        options_.FCheckMailInterval = c.start;
        TfrmOptions dialog(options_, *localizator_, settingsFile_);
        dialog.udCheckInterval->setFocus();
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(dialog.udCheckInterval, c.key);
        EXPECT_EQ(dialog.udCheckInterval->value(), c.end);
        EXPECT_EQ(dialog.udCheckInterval->findChild<QLineEdit*>(QStringLiteral("edt1"))->text(),
                  QString::number(c.end));
    }
}

TEST_F(OptionsDialogTest, FailedSaveIsShownAndTheDialogStaysOpen)
{
    // A settings file whose folder is a plain file cannot be written.
    folder_.Write(QStringLiteral("blocked"), "not a folder");
    settingsFile_ = folder_.Path(QStringLiteral("blocked/Brevio.INI"));
    TfrmOptions dialog(options_, *localizator_, settingsFile_);
    dialog.show();
    QTest::mouseClick(dialog.chkLoadOnWindowsStartUp, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClicks(dialog.edtEmailClientPath, "/usr/bin/mailer");
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    QTest::mouseClick(dialog.FooterBtn1, Qt::LeftButton);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("The options were not saved: "))) << shown.toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.edtEmailClientPath->text(), QStringLiteral("/usr/bin/mailer"));
    EXPECT_TRUE(options_.FEmailClientPath.isEmpty());
    EXPECT_FALSE(IsLoadOnStartSet()) << "the entry must go back to how it was";
}

TEST_F(OptionsDialogTest, HelpAsksForItsTopic)
{
    QStringList asked;
    TfrmOptions dialog(options_, *localizator_, settingsFile_, nullptr,
                       [&](QWidget*, const QString& topic) { asked << topic; });
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));  // F1 is a shortcut of the active window
    QTest::mouseClick(dialog.FooterBtn3, Qt::LeftButton);
    QTest::keyClick(dialog.edtParameters, Qt::Key_F1);
    EXPECT_EQ(asked, QStringList({"Options.htm", "Options.htm"}));
}

}  // namespace
}  // namespace brevio

namespace brevio {
namespace {

// Switching the secret store moves the passwords before anything else is stored; a move that
// fails keeps the dialog open, says why, and leaves the option as it was.
TEST_F(OptionsDialogTest, SecretStoreSwitchMovesThePasswordsFirst)
{
    struct Case {
        const char* name;
        bool startOn;
        QString moveError;
    } cases[] = {
        {"switched on", false, {}},
        {"switched off", true, {}},
        {"move fails", false, QStringLiteral("the store is locked")},
    };
    for (const Case& c : cases) {
        options_.FUseSecretStore = c.startOn;
        options_.Save(settingsFile_);
        TfrmOptions dialog(options_, *localizator_, settingsFile_);
        QList<bool> moves;
        dialog.SetPasswordMover([&](bool intoStore) {
            moves.append(intoStore);
            return c.moveError;
        });
        EXPECT_EQ(dialog.chkUseSecretStore->isChecked(), c.startOn) << c.name;
        dialog.show();
        QTest::mouseClick(dialog.chkUseSecretStore, Qt::LeftButton, {}, QPoint(5, 5));
        QString shown;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(dialog.FooterBtn1, Qt::LeftButton);
        EXPECT_EQ(moves, QList<bool>{!c.startOn}) << c.name;
        const bool failed = !c.moveError.isEmpty();
        EXPECT_EQ(dialog.isVisible(), failed) << c.name;
        EXPECT_EQ(shown.contains(c.moveError) && failed, failed) << c.name;
        EXPECT_EQ(options_.FUseSecretStore, failed ? c.startOn : !c.startOn) << c.name;
        dialog.reject();
    }
}

}  // namespace
}  // namespace brevio
