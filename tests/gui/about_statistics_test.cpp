// The about box, the usage statistics dialog and its once-only showing at start-up, and help
// requests that cannot be served.
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "components/footer.h"
#include "main_window_fixture.h"
#include "stats/usage_stats.h"
#include "support/temp_files.h"
#include "ui/about_dialog.h"
#include "ui/link_label.h"
#include "ui/main_window_services.h"
#include "ui/program_links.h"
#include "ui/usage_statistics_dialog.h"

namespace brevio::test {
namespace {

// Watches for modal windows of type T: each one is handed to `look` and then closed.
template <typename T>
class TModalWatcher {
public:
    explicit TModalWatcher(std::function<void(T&)> look = {}) : look_(std::move(look))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!window || window == last_)
                return;
            last_ = window;
            ++Seen;
            if (look_)
                look_(*window);
            window->close();
        });
        timer_.start(10);
    }
    int Seen = 0;

private:
    std::function<void(T&)> look_;
    QTimer timer_;
    T* last_ = nullptr;
};

// A settings file in a temporary folder, in `language`, with "Start" at `starts`, and the shipped
// language files.
struct TProgramSetup {
    TProgramSetup(const char* language, int starts)
    {
        settingsFile =
            folder.Write("Brevio.INI",
                         "[Main]\nFCurrentLanguage=" + QByteArray(language)
                             + "\n[Stats]\nCount=2\nFCounterName0=Start\nFValue0=" + QByteArray::number(starts)
                             + "\nFCounterName1=Saved\nFCounterDescription1=Kept "
                               "%d\nFValue1=7\nFBorderCondition1=1000\n");
    }
    std::unique_ptr<TWindowServices> Services() const
    {
        return CreateWindowServices(settingsFile, QStringLiteral(BREVIO_SOURCE_DIR "/langs"));
    }
    std::unique_ptr<TForm1> Window() const
    {
        TForm1Settings settings;
        settings.SettingsFile = settingsFile;
        settings.ReportSaveFailures = false;
        return std::make_unique<TForm1>(settings, Services());
    }

    TempFolder folder;
    QString settingsFile;
    const ScopedEnvironment xdg{"XDG_CONFIG_HOME", folder.Path("config")};
};

struct TSeenStatistics {
    QString Caption;
    QString List;
    bool NeverShown = false;
};

TSeenStatistics Look(TfrmUsageStatistics& d)
{
    return {d.windowTitle(), d.lblUsageStatistics->text(), d.lblNeverShown->isVisibleTo(&d)};
}

TEST(UsageStatisticsDialog, AppearsOnceAtTheBorder)
{
    TProgramSetup setup("ENG", 99);
    std::vector<TSeenStatistics> seen;
    TModalWatcher<TfrmUsageStatistics> watcher([&](TfrmUsageStatistics& d) { seen.push_back(Look(d)); });

    // The start that brings "Start" to 100 shows the statistics, with the never-again line.
    auto window = setup.Window();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Caption, "Brevio usage statistics");
    EXPECT_TRUE(seen[0].NeverShown);
    EXPECT_TRUE(seen[0].List.startsWith("1. You have started Brevio 100 times\n2. Kept 7\n3. You have checked"))
        << seen[0].List.toStdString();
    EXPECT_EQ(seen[0].List.count(QLatin1Char(0x0A)), 6);  // seven lines: six registered counters, one stored
    EXPECT_TRUE(window->actShowStats->isVisible());
    window.reset();  // saves the counters and that the statistics were shown

    // Later starts show nothing by themselves; the command shows them without that line.
    window = setup.Window();
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_TRUE(window->actShowStats->isVisible());
    window->actShowStats->trigger();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[1].NeverShown);
    EXPECT_TRUE(seen[1].List.startsWith("1. You have started Brevio 101 times")) << seen[1].List.toStdString();
}

TEST(UsageStatisticsDialog, BelowTheBorderNothingShowsAndTheCommandStaysHidden)
{
    TProgramSetup setup("ENG", 10);
    TModalWatcher<TfrmUsageStatistics> watcher;
    auto window = setup.Window();
    EXPECT_EQ(watcher.Seen, 0);
    EXPECT_FALSE(window->actShowStats->isVisible());
}

TEST(UsageStatisticsDialog, SpeaksTheChosenLanguage)
{
    TProgramSetup setup("RUS", 5);
    std::vector<TSeenStatistics> seen;
    TModalWatcher<TfrmUsageStatistics> watcher([&](TfrmUsageStatistics& d) { seen.push_back(Look(d)); });
    setup.Services()->ShowStatistics(nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Caption, "Статистика использования Brevio");
    EXPECT_TRUE(seen[0].List.startsWith("1. Запусков Brevio: 5\n2. Kept 7\n")) << seen[0].List.toStdString();
}

TEST(UsageStatisticsDialog, TextsOfCountersTheWindowDoesNotKnow)
{
    TUsageStats stats(TempFolder().Path("none.ini"));
    stats.AddIntegerCounter("Plain", "No placeholder here", 10, true);
    stats.AddIntegerCounter("Start", "ignored: the window has its own text", 10, true);
    TfrmUsageStatistics dialog;
    dialog.ShowCounters(stats);
    EXPECT_EQ(dialog.lblUsageStatistics->text(), "1. No placeholder here\n2. You run Brevio 0 times");
    EXPECT_TRUE(dialog.lblNeverShown->isVisibleTo(&dialog));  // never shown before
    stats.FFeedbackDone = true;
    dialog.ShowCounters(stats);
    EXPECT_FALSE(dialog.lblNeverShown->isVisibleTo(&dialog));
}

TEST(UsageStatisticsDialog, UnregisteredCounterTellsTheDeveloper)
{
    TProgramSetup setup("ENG", 1);
    auto services = setup.Services();
    QString told;
    TModalWatcher<QMessageBox> watcher([&](QMessageBox& box) { told = box.text(); });
    services->IncrementCounter("NoSuchCounter", 1);
    EXPECT_EQ(told, UnregisteredCounterMessage());
    EXPECT_EQ(services->CounterValue("NoSuchCounter"), 0);
}

TEST(AboutBox, ShowsTheVersionAndTheLinks)
{
    TfrmAbout about;
    EXPECT_EQ(about.lblMain->text(), "Brevio v" BREVIO_VERSION);
    EXPECT_EQ(about.lblEmail->text(), "support@brevio.example.org");
    EXPECT_EQ(about.lblSite->text(), "https://brevio.example.org/");
    EXPECT_GE(about.width(), 261);
    EXPECT_GE(about.height(), 154);
    // Escape closes it as OK does.
    QTimer::singleShot(0, [&] { QTest::keyClick(&about, Qt::Key_Escape); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
}

TEST(AboutBox, ComesUpInTheChosenLanguageFromTheMainWindow)
{
    TProgramSetup setup("RUS", 1);
    auto window = setup.Window();
    QString caption;
    TModalWatcher<TfrmAbout> watcher([&](TfrmAbout& about) { caption = about.windowTitle(); });
    window->actAbout->trigger();
    EXPECT_EQ(caption, "О программе Brevio");
}

TEST(Help, AMissingTopicIsReportedOnTheStatusLine)
{
    TWindowUnderTest w("");
    w.form->ShowHelp("NoSuchTopic.htm");
    EXPECT_TRUE(w.form->StatusText().startsWith("The help topic ")) << w.form->StatusText().toStdString();
    EXPECT_TRUE(w.form->StatusText().endsWith("NoSuchTopic.htm is missing."));
}

}  // namespace
}  // namespace brevio::test

namespace brevio::test {
namespace {

TEST(ProgramLinks, MailToLinkEscapesTheSubject)
{
    const struct {
        const char* subject;
        const char* expected;
    } cases[] = {
        {"VEQ labs Brevio v" BREVIO_VERSION,
         "mailto:support@brevio.example.org?subject=VEQ%20labs%20Brevio%20v" BREVIO_VERSION},
        {"a&b=c?d#e", "mailto:support@brevio.example.org?subject=a%26b%3Dc%3Fd%23e"},
        {"Отзыв 100%", "mailto:support@brevio.example.org?subject=%D0%9E%D1%82%D0%B7%D1%8B%D0%B2%20100%25"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MailToLink(SupportAddress(), QString::fromUtf8(c.subject)), c.expected) << c.subject;
    EXPECT_EQ(HomePageLink(), "https://brevio.example.org/?Brevio");
}

}  // namespace
}  // namespace brevio::test
