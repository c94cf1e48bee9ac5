#pragma once
// The user's options, kept as keys of section "Main" of the settings file; each key is the field's
// own name (the spelling of "FListViewSunjectSize" and "FListViewMailBoxSizeSize" is what stored
// files use).

#include "settings/ini_file.h"

#include <QString>

namespace brevio {

// The three-letter language code of the system locale ("ENG" when the locale has none).
QString GetDefaultLanguage();

class TOptions {
public:
    QString FCurrentLanguage = GetDefaultLanguage();
    qint32 FListViewNumberSize = 0;
    qint32 FListViewSunjectSize = 0;
    qint32 FListViewFromSize = 0;
    qint32 FListViewMailboxSize = 0;
    qint32 FListViewMailBoxSizeSize = 0;
    qint32 FListViewDateSize = 0;
    qint32 FListViewTimeSize = 0;
    bool FAutomaticCheckMail = true;
    qint32 FCheckMailInterval = 15;  // minutes
    QString FEmailClientPath;
    QString FEmailClientParameters;
    bool FLoadOnWindowsStart = false;
    qint32 FNetworkTimeout = 60;   // seconds a connect, read or write may block
    bool FPipelining = true;       // send commands ahead of their replies while checking
    bool FHeaderCache = true;      // keep the headers already seen and fetch only new ones
    bool FUseSecretStore = false;  // passwords in the desktop's secret store, not in this file
    bool FShowSpamColumn = true;   // the message list shows the servers' spam verdicts

    // Reads every option from the settings file (GetSettingsFileName(), or `fileName` when given);
    // a missing file or key gives the defaults above. Never fails.
    void Load(const QString& fileName = {});
    void LoadFromIni(const TveqIniFile& file);
    // Writes every option in one write of the file; raises EIniWriteError when that fails.
    void Save(const QString& fileName = {}) const;
    void SaveToIni(TveqIniFile& file) const;

    bool operator==(const TOptions&) const = default;

    // The check timer's interval in milliseconds; 0 means "never fires".
    qint64 CheckIntervalMilliseconds() const { return FCheckMailInterval > 0 ? qint64(FCheckMailInterval) * 60000 : 0; }
};

}  // namespace brevio
