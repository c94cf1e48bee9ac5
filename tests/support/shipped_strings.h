#pragma once
// The message texts of a language file shipped in langs/, loaded as the program loads them.

#include "localization/localizator.h"
#include "settings/options.h"

namespace brevio::test {

inline TStringTable ShippedStrings(const QString& code)
{
    TOptions options;
    options.FCurrentLanguage = code;
    const TLocalizator localizator(options, QStringLiteral(BREVIO_SOURCE_DIR "/langs"));
    return localizator.Strings;
}

}  // namespace brevio::test
