// The services of the running program, on the core's settings store.
#include "ui/main_window_services.h"

#include <QHash>

#include "settings/settings_file.h"

namespace brevio {

QString ProductName() { return QStringLiteral("VEQ labs Brevio"); }

QString HomePageAddress() { return QStringLiteral("https://brevio.example.org/"); }

QString FormatText(const QString& format, const QStringList& args)
{
    QString out;
    out.reserve(format.size() + 32);
    int next = 0;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('%') && i + 1 < format.size()) {
            const QChar kind = format.at(i + 1);
            if (kind == QLatin1Char('%')) {
                out += QLatin1Char('%');
                ++i;
                continue;
            }
            if (kind == QLatin1Char('s') || kind == QLatin1Char('d')) {
                if (next < args.size())
                    out += args.at(next);
                ++next;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

namespace {

const QString kMain = QStringLiteral("Main");

class TProgramServices final : public TWindowServices {
public:
    TProgramServices(QString settingsFile, QString langsFolder)
        : settingsFile_(std::move(settingsFile)), langsFolder_(std::move(langsFolder))
    {
    }

    void IncrementCounter(const QString& name, qint64 delta) override { counters_[name] += delta; }
    qint64 CounterValue(const QString& name) const override { return counters_.value(name); }
    void SaveCounters() override {}
    bool ShowStatisticsIfDue(QWidget*) override { return false; }
    void ShowStatistics(QWidget*) override {}

    TCheckSchedule CheckSchedule() const override
    {
        const auto file = OpenIniFile(settingsFile_);
        TCheckSchedule schedule;
        schedule.Enabled = file->ReadBool(kMain, QStringLiteral("FAutomaticCheckMail"), true);
        schedule.IntervalMinutes = file->ReadInteger(kMain, QStringLiteral("FCheckMailInterval"), 15);
        return schedule;
    }

    TEmailClient EmailClient() const override
    {
        const auto file = OpenIniFile(settingsFile_);
        return {file->ReadString(kMain, QStringLiteral("FEmailClientPath"), QString()),
                file->ReadString(kMain, QStringLiteral("FEmailClientParameters"), QString())};
    }

    QString Text(const QString&, const QString& builtIn) const override { return builtIn; }
    void LocalizeWindow(QWidget*) const override {}

private:
    QString settingsFile_;
    QString langsFolder_;
    QHash<QString, qint64> counters_;
};

}  // namespace

std::unique_ptr<TWindowServices> CreateWindowServices(const QString& settingsFile, const QString& langsFolder)
{
    return std::make_unique<TProgramServices>(settingsFile, langsFolder);
}

}  // namespace brevio
