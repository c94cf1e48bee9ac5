// The services of the running program, on the core's settings store.
#include "ui/main_window_services.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include "localization/localizator.h"
#include "secrets/keychain_store.h"
#include "secrets/password_mover.h"
#include "settings/language_table.h"
#include "ui/form_localizer.h"
#include "ui/options_dialog.h"
#include "settings/options.h"
#include "stats/usage_stats.h"
#include "ui/usage_statistics_dialog.h"

namespace brevio {

QString ProductName()
{
    return QStringLiteral("VEQ labs Brevio");
}

namespace {

// The language of a language file's code: the table's entry, else the ISO 639 code itself
// ("fra" for lang.FRA); English when neither names a language.
QLocale LocaleOfCode(const QString& code)
{
    const int known = FindLanguage(code);
    if (known >= 0)
        return QLocale(SystemLanguages()[known].Language, SystemLanguages()[known].Territory);
    const QLocale::Language language = QLocale::codeToLanguage(code.toLower());
    return QLocale(language == QLocale::AnyLanguage ? QLocale::English : language);
}

class TProgramServices final : public TWindowServices {
public:
    TProgramServices(const QString& settingsFile, const QString& langsFolder, std::shared_ptr<TSecretStore> secrets)
        : stats_(settingsFile), settingsFile_(settingsFile), secrets_(std::move(secrets))
    {
        stats_.RegisterStandardCounters();
        options_.Load(settingsFile);
        localizator_ = std::make_unique<TLocalizator>(options_, langsFolder);
        // Windows made from now on take their texts from this language; a window the language
        // file has no section for is written out as a template beside the settings file.
        language_ = std::make_unique<TWindowLanguage>(*localizator_, QFileInfo(settingsFile).absolutePath());
        InstallQtTranslation();
    }

    ~TProgramServices() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::removeTranslator(&qtTexts_);
    }

    void IncrementCounter(const QString& name, qint64 delta) override
    {
        if (!stats_.IncrementIntegerCounter(name, delta))
            QMessageBox::warning(nullptr, ProductName(), UnregisteredCounterMessage());
    }
    qint64 CounterValue(const QString& name) const override
    {
        const auto* counter = dynamic_cast<const TIntegerCounter*>(stats_.FindCounter(name));
        return counter ? counter->FValue : 0;
    }
    void SaveCounters() override { stats_.Save(); }

    bool ShowStatisticsIfDue(QWidget* parent) override { return ShowIfDue(stats_, parent); }

    void ShowStatistics(QWidget* parent) override { brevio::ShowStatistics(stats_, parent); }

    TCheckSchedule CheckSchedule() const override
    {
        return {options_.FAutomaticCheckMail, options_.FCheckMailInterval};
    }

    TEmailClient EmailClient() const override { return {options_.FEmailClientPath, options_.FEmailClientParameters}; }

    const TStringTable& Strings() const override { return localizator_->Strings; }

    bool ShowOptions(QWidget* parent) override
    {
        TfrmOptions dialog(options_, *localizator_, settingsFile_, parent);
        dialog.SetPasswordMover([this](bool intoStore) {
            const TStringTable& strings = localizator_->Strings;
            const TMoveOutcome outcome = intoStore ? MovePasswordsToStore(settingsFile_, *secrets_, true, {}, strings)
                                                   : MovePasswordsToFile(settingsFile_, *secrets_, true, {}, strings);
            return outcome.Ok ? QString() : outcome.Error;
        });
        return dialog.exec() == QDialog::Accepted;
    }

    int NetworkTimeoutSeconds() const override { return options_.FNetworkTimeout; }
    bool Pipelining() const override { return options_.FPipelining; }
    bool HeaderCache() const override { return options_.FHeaderCache; }
    bool ShowSpamColumn() const override { return options_.FShowSpamColumn; }
    bool UseSecretStore() const override { return options_.FUseSecretStore; }
    std::shared_ptr<TSecretStore> SecretStore() const override { return secrets_; }

    void LocalizeWindow(QWidget* window) const override
    {
        LocalizeForm(window, language_->Localizator(), language_->TemplateFolder());
    }

private:
    // Qt's own texts (the standard buttons of message boxes, an edit field's menu, the file
    // dialog) in the program's language, from the translations Qt ships; English without them.
    void InstallQtTranslation()
    {
        const QLocale locale = LocaleOfCode(options_.FCurrentLanguage);
        if (locale.language() == QLocale::English || !QCoreApplication::instance())
            return;
        if (qtTexts_.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(&qtTexts_);
    }

    QTranslator qtTexts_;
    TUsageStats stats_;
    QString settingsFile_;
    std::shared_ptr<TSecretStore> secrets_;
    TOptions options_;
    std::unique_ptr<TLocalizator> localizator_;
    std::unique_ptr<TWindowLanguage> language_;
};

}  // namespace

std::unique_ptr<TWindowServices> CreateWindowServices(const QString& settingsFile, const QString& langsFolder,
                                                      std::shared_ptr<TSecretStore> secrets)
{
    if (!secrets)
        secrets = std::make_shared<TKeychainSecretStore>();
    return std::make_unique<TProgramServices>(settingsFile, langsFolder, std::move(secrets));
}

}  // namespace brevio
