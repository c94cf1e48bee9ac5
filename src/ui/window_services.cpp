// The services of the running program, on the core's settings store.
#include "ui/main_window_services.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QMessageBox>
#include <QAbstractItemView>

#include "localization/localizator.h"
#include "ui/options_dialog.h"
#include "settings/options.h"
#include "stats/usage_stats.h"

namespace brevio {

QString ProductName() { return QStringLiteral("VEQ labs Brevio"); }

QString HomePageAddress() { return QStringLiteral("https://brevio.example.org/"); }

namespace {

// Applies a window's section of the language file: captions, hints and column captions of the
// controls named there.
void ApplyFormTexts(const TFormLocalization& form, QWidget* window)
{
    for (const TFormLocalizationItem& item : form.Items) {
        if (!item.IsEffective())
            continue;
        QObject* target = item.ComponentName.isEmpty()
                              ? static_cast<QObject*>(window)
                              : window->findChild<QObject*>(item.ComponentName);
        if (!target)
            continue;
        if (item.Kind == TFormLocalizationItem::ListViewColumn) {
            if (auto* view = qobject_cast<QAbstractItemView*>(target); view && view->model())
                view->model()->setHeaderData(item.ItemIndex, Qt::Horizontal, item.Value);
            continue;
        }
        if (item.Kind != TFormLocalizationItem::Property)
            continue;
        const QString property = item.PropertyName.toLower();
        if (property == QLatin1String("caption")) {
            if (target == window)
                window->setWindowTitle(item.Value);
            else if (auto* action = qobject_cast<QAction*>(target))
                action->setText(item.Value);
            else if (auto* menu = qobject_cast<QMenu*>(target))
                menu->setTitle(item.Value);
            else if (auto* group = qobject_cast<QGroupBox*>(target))
                group->setTitle(item.Value);
            else if (auto* widget = qobject_cast<QWidget*>(target); widget && widget->isWindow())
                widget->setWindowTitle(item.Value);
            else
                target->setProperty("text", item.Value);
        } else if (property == QLatin1String("hint")) {
            if (auto* action = qobject_cast<QAction*>(target))
                action->setToolTip(item.Value);
            else if (auto* widget = qobject_cast<QWidget*>(target))
                widget->setToolTip(item.Value);
        }
    }
}

class TProgramServices final : public TWindowServices {
public:
    TProgramServices(const QString& settingsFile, const QString& langsFolder)
        : stats_(settingsFile), settingsFile_(settingsFile)
    {
        stats_.RegisterStandardCounters();
        options_.Load(settingsFile);
        localizator_ = std::make_unique<TLocalizator>(options_, langsFolder);
    }

    void IncrementCounter(const QString& name, qint64 delta) override { stats_.IncrementIntegerCounter(name, delta); }
    qint64 CounterValue(const QString& name) const override
    {
        const auto* counter = dynamic_cast<const TIntegerCounter*>(stats_.FindCounter(name));
        return counter ? counter->FValue : 0;
    }
    void SaveCounters() override { stats_.Save(); }

    bool ShowStatisticsIfDue(QWidget* parent) override
    {
        if (stats_.IsDue()) {
            ShowStatistics(parent);
            stats_.FFeedbackDone = true;
        }
        return stats_.FFeedbackDone;
    }

    void ShowStatistics(QWidget* parent) override
    {
        // A plain list of the counters until the statistics dialog exists.
        QStringList lines;
        for (int i = 0; i < stats_.Count(); ++i)
            lines.append(stats_.Counter(i)->GetText());
        QMessageBox::information(parent, QStringLiteral("Usage statistics"), lines.join(QLatin1Char('\n')));
    }

    TCheckSchedule CheckSchedule() const override
    {
        return {options_.FAutomaticCheckMail, options_.FCheckMailInterval};
    }

    TEmailClient EmailClient() const override
    {
        return {options_.FEmailClientPath, options_.FEmailClientParameters};
    }

    const TStringTable& Strings() const override { return localizator_->Strings; }

    bool ShowOptions(QWidget* parent) override
    {
        TfrmOptions dialog(options_, *localizator_, settingsFile_, parent);
        LocalizeWindow(&dialog);
        return dialog.exec() == QDialog::Accepted;
    }

    int NetworkTimeoutSeconds() const override { return options_.FNetworkTimeout; }
    bool Pipelining() const override { return options_.FPipelining; }
    bool HeaderCache() const override { return options_.FHeaderCache; }

    void LocalizeWindow(QWidget* window) const override
    {
        const QString className = QLatin1Char('T') + window->objectName();
        if (const TFormLocalization* form = localizator_->FindForm(className))
            ApplyFormTexts(*form, window);
    }

private:
    TUsageStats stats_;
    QString settingsFile_;
    TOptions options_;
    std::unique_ptr<TLocalizator> localizator_;
};

}  // namespace

std::unique_ptr<TWindowServices> CreateWindowServices(const QString& settingsFile, const QString& langsFolder)
{
    return std::make_unique<TProgramServices>(settingsFile, langsFolder);
}

}  // namespace brevio
