#pragma once
// Builds a main window on a settings file of the test's own, with services that count in
// memory and record what the settings file held when the counters were saved.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QStringList>
#include <memory>

#include "components/tray_icon.h"
#include "settings/ini_file.h"
#include "ui/form_localizer.h"
#include "ui/main_window.h"
#include "ui/main_window_services.h"
#include "ui/message_list_model.h"

namespace brevio::test {

class TRecordingServices final : public TWindowServices {
public:
    explicit TRecordingServices(QString settingsFile) : settingsFile_(std::move(settingsFile)) {}

    void IncrementCounter(const QString& name, qint64 delta) override { (*counters_)[name] += delta; }
    qint64 CounterValue(const QString& name) const override { return counters_->value(name); }
    void SaveCounters() override
    {
        TveqIniFile file(settingsFile_);
        *sectionsAtSave_ = file.Sections();
    }
    bool ShowStatisticsIfDue(QWidget*) override { return false; }
    void ShowStatistics(QWidget*) override {}
    TCheckSchedule CheckSchedule() const override { return *schedule_; }
    TEmailClient EmailClient() const override { return {}; }
    const TStringTable& Strings() const override { return strings_; }
    // Windows take the texts of whatever language the test put in force (none: the built-in ones).
    void LocalizeWindow(QWidget* window) const override { LocalizeForm(window); }
    bool ShowOptions(QWidget*) override { return ++*optionsShown_, *optionsAccepted_; }
    int NetworkTimeoutSeconds() const override { return 5; }
    // Fake servers on reused ports give old ids to new messages: no cache between tests, unless
    // a test asks for it (and cleans up after itself).
    bool HeaderCache() const override { return *headerCache_; }
    bool UseSecretStore() const override { return *useSecretStore_; }
    bool ShowSpamColumn() const override { return *showSpamColumn_; }
    std::shared_ptr<TSecretStore> SecretStore() const override { return secrets_; }

    // Shared with the test, so they outlive the window.
    std::shared_ptr<QHash<QString, qint64>> counters_ = std::make_shared<QHash<QString, qint64>>();
    std::shared_ptr<QStringList> sectionsAtSave_ = std::make_shared<QStringList>();
    std::shared_ptr<int> optionsShown_ = std::make_shared<int>(0);
    std::shared_ptr<bool> optionsAccepted_ = std::make_shared<bool>(false);  // as if OK was pressed
    std::shared_ptr<bool> headerCache_ = std::make_shared<bool>(false);
    std::shared_ptr<TCheckSchedule> schedule_ = std::make_shared<TCheckSchedule>(TCheckSchedule{false, 15});
    std::shared_ptr<bool> useSecretStore_ = std::make_shared<bool>(false);
    std::shared_ptr<bool> showSpamColumn_ = std::make_shared<bool>(true);
    std::shared_ptr<TSecretStore> secrets_;  // null: none

private:
    QString settingsFile_;
    TStringTable strings_;
};

struct TMailBoxSpec {
    QString Name;
    int Port = 110;
    bool IgnoreCheckAll = false;
};

// The "Main" lines of a settings file with POP3 mailboxes on loopback.
inline QByteArray MailBoxLines(const QList<TMailBoxSpec>& boxes)
{
    QByteArray out = "NumMailbox=" + QByteArray::number(boxes.size()) + "\n";
    for (int i = 0; i < boxes.size(); ++i) {
        const QByteArray n = QByteArray::number(i);
        out += "Name" + n + "=" + boxes[i].Name.toUtf8() + "\nHost" + n + "=127.0.0.1\nPort" + n + "="
            + QByteArray::number(boxes[i].Port) + "\nUserName" + n + "=user\nPassword" + n
            + "=pw\nIgnoreCheckAllCommand" + n + "=" + (boxes[i].IgnoreCheckAll ? "1" : "0") + "\nIgnoreCheckOnSchedule"
            + n + "=0\nPOPorIMAP" + n + "=1\n";
    }
    return out;
}

// Lets the event loop run until `condition` holds; false when it never does within 30 s.
inline bool WaitUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(30000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// A row of mailbox `mailBox` with the given number and subject; the other columns stay empty.
inline TMessageRow MessageRow(int mailBox, const QString& number, const QString& subject = {})
{
    TMessageRow row;
    row.MailBoxIndex = mailBox;
    row.Number = number.toInt();
    row.Subject = subject;
    return row;
}

// Every row's tick, in list order.
inline QList<bool> Ticks(const TMessageListModel& model)
{
    QList<bool> out;
    for (int i = 0; i < model.rowCount(); ++i)
        out.append(model.index(i, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked);
    return out;
}

// One column's texts as the list view shows them.
inline QStringList Column(const TMessageListModel& model, int column)
{
    QStringList out;
    for (int i = 0; i < model.rowCount(); ++i)
        out.append(model.index(i, column).data().toString());
    return out;
}

class TWindowUnderTest {
public:
    // `secrets`: the store the window's services give (the option FUseSecretStore on with it).
    explicit TWindowUnderTest(const QByteArray& settingsText, bool startHidden = false, int trayAvailable = -1,
                              std::shared_ptr<TSecretStore> secrets = nullptr)
    {
        settingsFile = QDir(folder.path()).filePath(QStringLiteral("brevio.ini"));
        {
            QFile file(settingsFile);
            if (file.open(QIODevice::WriteOnly))
                file.write(settingsText);
        }
        TForm1Settings settings;
        settings.SettingsFile = settingsFile;
        settings.StartHidden = startHidden;
        settings.ReportSaveFailures = false;
        auto services = std::make_unique<TRecordingServices>(settingsFile);
        counters = services->counters_;
        sectionsAtSave = services->sectionsAtSave_;
        schedule = services->schedule_;
        optionsShown = services->optionsShown_;
        headerCache = services->headerCache_;
        showSpamColumn = services->showSpamColumn_;
        optionsAccepted = services->optionsAccepted_;
        services->secrets_ = secrets;
        *services->useSecretStore_ = secrets != nullptr;
        form = std::make_unique<TForm1>(settings, std::move(services));
        if (trayAvailable >= 0)
            form->TrayIcon1->SetTrayAvailableOverride(trayAvailable);
    }

    // Starts a command and waits until its run (and any run it leads to) has filled the list.
    bool RunAndWait(const std::function<void()>& command, int runs = 1)
    {
        QSignalSpy spy(form.get(), &TForm1::RunFinished);
        command();
        while (spy.count() < runs)
            if (!spy.wait(60000))
                return false;
        return true;
    }

    qint64 Counter(const char* name) const { return counters->value(QLatin1String(name)); }

    QTemporaryDir folder;
    QString settingsFile;
    std::shared_ptr<QHash<QString, qint64>> counters;
    std::shared_ptr<QStringList> sectionsAtSave;
    std::shared_ptr<TCheckSchedule> schedule;
    std::shared_ptr<int> optionsShown;
    std::shared_ptr<bool> headerCache;
    std::shared_ptr<bool> showSpamColumn;
    std::shared_ptr<bool> optionsAccepted;
    std::unique_ptr<TForm1> form;
};

}  // namespace brevio::test
