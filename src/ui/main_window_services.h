#pragma once
// The program-wide services as the main window uses them: usage counters, options, the string
// table, and the texts of the caption. The window reaches them only through this interface, so
// the program wires in the core's objects and tests can watch what the window asks for.

#include "support/string_table.h"

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace brevio {

class TSecretStore;

struct TCheckSchedule {
    bool Enabled = true;
    int IntervalMinutes = 15;
};

struct TEmailClient {
    QString Path;
    QString Parameters;
};

class TWindowServices {
public:
    virtual ~TWindowServices() = default;

    // Usage counters (registered by the implementation when it is made).
    virtual void IncrementCounter(const QString& name, qint64 delta) = 0;
    virtual qint64 CounterValue(const QString& name) const = 0;
    virtual void SaveCounters() = 0;
    // Shows the statistics once when a counter has reached its border; returns whether the
    // statistics have ever been shown (the "Usage statistics" command is visible only then).
    virtual bool ShowStatisticsIfDue(QWidget* parent) = 0;
    virtual void ShowStatistics(QWidget* parent) = 0;

    // Options.
    virtual TCheckSchedule CheckSchedule() const = 0;
    virtual TEmailClient EmailClient() const = 0;

    // The message texts of the current language.
    virtual const TStringTable& Strings() const = 0;
    // Gives a window the texts of the current language.
    virtual void LocalizeWindow(QWidget* window) const = 0;
    // Shows the options dialog; true when the user confirmed and the options were saved.
    virtual bool ShowOptions(QWidget* parent) = 0;
    // Seconds a connection may wait on the network (the options' network time-out).
    virtual int NetworkTimeoutSeconds() const = 0;
    // Whether checks pipeline their commands and use the header cache (the options).
    virtual bool Pipelining() const { return true; }
    virtual bool HeaderCache() const { return true; }
    // Whether the message list shows its Spam column (FShowSpamColumn).
    virtual bool ShowSpamColumn() const { return true; }
    // Whether the passwords live in the desktop's secret store (FUseSecretStore), and the store
    // the mailboxes marked PasswordInStore read theirs from; null: none.
    virtual bool UseSecretStore() const { return false; }
    virtual std::shared_ptr<TSecretStore> SecretStore() const { return nullptr; }
};

// The services of the running program on the settings file `settingsFile` and the language
// files in `langsFolder`, with the desktop's secret store unless `secrets` gives another.
std::unique_ptr<TWindowServices> CreateWindowServices(const QString& settingsFile, const QString& langsFolder,
                                                      std::shared_ptr<TSecretStore> secrets = nullptr);

// "VEQ labs Brevio": the product name in captions.
QString ProductName();

}  // namespace brevio
