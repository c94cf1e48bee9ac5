#pragma once
// Named usage counters kept in section "Stats" of the settings file. Each counter has a border;
// the statistics dialog is due once per installation, at the first start at which an enabled
// counter has reached its border (recorded by "FFeedbackDone").

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace brevio {

class TveqIniFile;

class TBaseCounter {
public:
    enum TKind { IntegerKind = 0, Int64Kind = 1, RealKind = 2 };

    virtual ~TBaseCounter() = default;
    virtual TKind Kind() const = 0;
    // The description with its placeholder filled with the value.
    virtual QString GetText() const = 0;
    virtual bool IsBorderReached() const = 0;
    // The value and the border as stored.
    virtual QString ValueText() const = 0;
    virtual QString BorderText() const = 0;

    QString FCounterName;
    QString FCounterDescription;
    bool FEnabled = true;
};

// Integer counters hold 64 bits, so byte counts never wrap; adding saturates at the limits.
class TIntegerCounter : public TBaseCounter {
public:
    TKind Kind() const override { return IntegerKind; }
    QString GetText() const override;
    bool IsBorderReached() const override { return FValue >= FBorderCondition; }
    QString ValueText() const override { return QString::number(FValue); }
    QString BorderText() const override { return QString::number(FBorderCondition); }
    void Add(qint64 delta);

    qint64 FValue = 0;
    qint64 FBorderCondition = 0;
};

class TInt64Counter : public TIntegerCounter {
public:
    TKind Kind() const override { return Int64Kind; }
};

class TRealCounter : public TBaseCounter {
public:
    TKind Kind() const override { return RealKind; }
    QString GetText() const override;
    bool IsBorderReached() const override { return FValue >= FBorderCondition; }
    QString ValueText() const override;
    QString BorderText() const override;

    double FValue = 0;
    double FBorderCondition = 0;
};

// One of the counters the program registers at every start.
struct TStandardCounter {
    const char* Name;
    const char* Description;
    qint64 Border;
};
// The program's six counters, in registration order.
const std::vector<TStandardCounter>& StandardCounters();

// Fills the first printf-style placeholder of `format` ("%d", "%s", "%.2f", ...) with `value`;
// "%%" stands for one "%".
QString FormatCounterText(const QString& format, const QString& value);

// What a developer is told who increments a counter that was never registered.
QString UnregisteredCounterMessage();

class TUsageStats {
public:
    // Loads the counters from the settings file (GetSettingsFileName(), or `fileName`).
    explicit TUsageStats(const QString& fileName = {});
    // Saves; a failure is lost here, so callers that want to report it call Save() first.
    ~TUsageStats();
    TUsageStats(const TUsageStats&) = delete;
    TUsageStats& operator=(const TUsageStats&) = delete;

    void Load();
    void LoadFromIni(const TveqIniFile& file);
    // Raises EIniWriteError.
    void Save() const;
    void SaveToIni(TveqIniFile& file) const;

    // Registers an integer counter: an existing one of that name takes the description, border and
    // enabled flag and keeps its value (a stored counter of another kind becomes an integer counter
    // with its value); otherwise a new counter at 0 is appended.
    void AddIntegerCounter(const QString& name, const QString& description, qint64 border, bool enabled);
    // Adds `delta`; false (and no change) when no integer counter of that name is registered. The
    // window program then shows the developer message UnregisteredCounterMessage().
    bool IncrementIntegerCounter(const QString& name, qint64 delta);
    TBaseCounter* FindCounter(const QString& name) const;
    // Registers the program's six counters (StandardCounters()).
    void RegisterStandardCounters();

    // True when the statistics dialog should be shown now: not yet shown, and an enabled counter
    // has reached its border.
    bool IsDue() const;

    int Count() const { return int(counters_.size()); }
    TBaseCounter* Counter(int index) const { return counters_.at(std::size_t(index)).get(); }

    // The numbered list of the statistics dialog: "%d. %s" per counter, enabled or not, from 1,
    // each line ended by a line break. `text` gives a counter's line (default: its GetText()).
    QString NumberedList(const std::function<QString(const TBaseCounter&)>& text = {}) const;

    bool FFeedbackDone = false;

private:
    QString fileName_;
    std::vector<std::unique_ptr<TBaseCounter>> counters_;
};

}  // namespace brevio
