#include "stats/usage_stats.h"

#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "support/string_utils.h"

#include <QLocale>
#include <limits>

namespace brevio {

namespace {

const QString kStats = QStringLiteral("Stats");

QString Key(const char* name, int index)
{
    return QLatin1String(name) + QString::number(index);
}

}  // namespace

QString FormatCounterText(const QString& format, const QString& value)
{
    QString out;
    bool filled = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        // A placeholder: flags, width, precision and a conversion letter.
        qsizetype j = i + 1;
        while (j < format.size() && QStringLiteral("-+ #0123456789.").contains(format[j]))
            ++j;
        if (j < format.size() && format[j].isLetter() && !filled) {
            out += value;
            filled = true;
            i = j;
        } else {
            out += format[i];
        }
    }
    return out;
}

QString TIntegerCounter::GetText() const
{
    return FormatCounterText(FCounterDescription, ValueText());
}

void TIntegerCounter::Add(qint64 delta)
{
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    if (delta > 0 && FValue > max - delta)
        FValue = max;
    else if (delta < 0 && FValue < min - delta)
        FValue = min;
    else
        FValue += delta;
}

QString TRealCounter::GetText() const
{
    return FormatCounterText(FCounterDescription, QLocale().toString(FValue, 'g', 15));
}

QString TRealCounter::ValueText() const
{
    return QLocale().toString(FValue, 'g', 15);
}
QString TRealCounter::BorderText() const
{
    return QLocale().toString(FBorderCondition, 'g', 15);
}

TUsageStats::TUsageStats(const QString& fileName) : fileName_(fileName)
{
    Load();
}

TUsageStats::~TUsageStats()
{
    try {
        Save();
    } catch (...) {
    }
}

void TUsageStats::Load()
{
    LoadFromIni(*OpenIniFile(fileName_));
}

void TUsageStats::LoadFromIni(const TveqIniFile& f)
{
    const int count = f.ReadInteger(kStats, QStringLiteral("Count"), 0);
    FFeedbackDone = f.ReadBool(kStats, QStringLiteral("FFeedbackDone"), false);
    // A damaged count must not make thousands of empty counters.
    for (int n = 0; n < count && n < 1000; ++n) {
        std::unique_ptr<TBaseCounter> counter;
        const int kind = f.ReadInteger(kStats, Key("CounterType", n), 0);
        switch (kind) {
        case TBaseCounter::IntegerKind:
        case TBaseCounter::Int64Kind: {
            auto integer = kind == TBaseCounter::IntegerKind ? std::make_unique<TIntegerCounter>()
                                                             : std::make_unique<TInt64Counter>();
            integer->FValue = f.ReadInt64(kStats, Key("FValue", n), 0);
            integer->FBorderCondition = f.ReadInt64(kStats, Key("FBorderCondition", n), 0);
            counter = std::move(integer);
            break;
        }
        case TBaseCounter::RealKind: {
            auto real = std::make_unique<TRealCounter>();
            real->FValue = f.ReadFloat(kStats, Key("FValue", n), 0);
            real->FBorderCondition = f.ReadFloat(kStats, Key("FBorderCondition", n), 0);
            counter = std::move(real);
            break;
        }
        default:
            continue;
        }
        counter->FCounterName = f.ReadString(kStats, Key("FCounterName", n), QString());
        counter->FCounterDescription = f.ReadString(kStats, Key("FCounterDescription", n), QString());
        counter->FEnabled = f.ReadBool(kStats, Key("FEnabled", n), true);
        counters_.push_back(std::move(counter));
    }
}

void TUsageStats::Save() const
{
    SaveToIni(*OpenIniFile(fileName_));
}

void TUsageStats::SaveToIni(TveqIniFile& f) const
{
    f.BeginUpdate();
    f.WriteInteger(kStats, QStringLiteral("Count"), Count());
    f.WriteBool(kStats, QStringLiteral("FFeedbackDone"), FFeedbackDone);
    for (int n = 0; n < Count(); ++n) {
        const TBaseCounter& c = *counters_[std::size_t(n)];
        f.WriteInteger(kStats, Key("CounterType", n), int(c.Kind()));
        if (const auto* real = dynamic_cast<const TRealCounter*>(&c)) {
            f.WriteFloat(kStats, Key("FValue", n), real->FValue);
            f.WriteFloat(kStats, Key("FBorderCondition", n), real->FBorderCondition);
        } else {
            // Decimal text of the full 64-bit value: large byte counts never wrap.
            f.WriteString(kStats, Key("FValue", n), c.ValueText());
            f.WriteString(kStats, Key("FBorderCondition", n), c.BorderText());
        }
        f.WriteString(kStats, Key("FCounterName", n), c.FCounterName);
        f.WriteString(kStats, Key("FCounterDescription", n), c.FCounterDescription);
        f.WriteBool(kStats, Key("FEnabled", n), c.FEnabled);
    }
    f.EndUpdate();
}

TBaseCounter* TUsageStats::FindCounter(const QString& name) const
{
    for (const auto& counter : counters_)
        if (counter->FCounterName == name)
            return counter.get();
    return nullptr;
}

void TUsageStats::AddIntegerCounter(const QString& name, const QString& description, qint64 border, bool enabled)
{
    TIntegerCounter* counter = nullptr;
    for (auto& slot : counters_) {
        if (slot->FCounterName != name)
            continue;
        if (slot->Kind() != TBaseCounter::IntegerKind) {
            auto replacement = std::make_unique<TIntegerCounter>();
            if (auto* integer = dynamic_cast<TIntegerCounter*>(slot.get()))
                replacement->FValue = integer->FValue;
            else if (auto* real = dynamic_cast<TRealCounter*>(slot.get()))
                replacement->FValue = real->FValue >= 9.2e18 ? std::numeric_limits<qint64>::max()
                    : real->FValue <= -9.2e18                ? std::numeric_limits<qint64>::min()
                                                             : qint64(real->FValue);
            replacement->FCounterName = name;
            slot = std::move(replacement);
        }
        counter = static_cast<TIntegerCounter*>(slot.get());
        break;
    }
    if (!counter) {
        counters_.push_back(std::make_unique<TIntegerCounter>());
        counter = static_cast<TIntegerCounter*>(counters_.back().get());
        counter->FCounterName = name;
    }
    counter->FCounterDescription = description;
    counter->FBorderCondition = border;
    counter->FEnabled = enabled;
}

bool TUsageStats::IncrementIntegerCounter(const QString& name, qint64 delta)
{
    TBaseCounter* counter = FindCounter(name);
    if (!counter || counter->Kind() != TBaseCounter::IntegerKind)
        return false;
    static_cast<TIntegerCounter*>(counter)->Add(delta);
    return true;
}

const std::vector<TStandardCounter>& StandardCounters()
{
    static const std::vector<TStandardCounter> counters = {
        {"Start", "You run Brevio %d times", 100},
        {"CheckMail", "You check mail %d times", 100},
        {"AutoCheckMail", "Brevio automatic check mail %d times", 300},
        {"MessageReceived", "You received %d messages", 200},
        {"MessageDeleted", "You delete %d messages from server (spam) and...", 100},
        {"DisposedSize", "You disposed of loading %d b. spam messages", 1048576},
    };
    return counters;
}

QString UnregisteredCounterMessage()
{
    return QStringLiteral("You need to call AddIntegerCounter before call IncrementIntegerCounter!");
}

void TUsageStats::RegisterStandardCounters()
{
    for (const TStandardCounter& counter : StandardCounters())
        AddIntegerCounter(QLatin1String(counter.Name), QString::fromUtf8(counter.Description), counter.Border, true);
}

QString TUsageStats::NumberedList(const std::function<QString(const TBaseCounter&)>& text) const
{
    QString list;
    for (int i = 0; i < Count(); ++i) {
        const TBaseCounter& counter = *counters_[std::size_t(i)];
        list += QString::number(i + 1) + QStringLiteral(". ") + (text ? text(counter) : counter.GetText())
            + QLatin1Char('\n');
    }
    return list;
}

bool TUsageStats::IsDue() const
{
    if (FFeedbackDone)
        return false;
    for (const auto& counter : counters_)
        if (counter->FEnabled && counter->IsBorderReached())
            return true;
    return false;
}

}  // namespace brevio
