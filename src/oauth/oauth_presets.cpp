#include "oauth/oauth_presets.h"

namespace brevio {

TOAuthEndpoints OAuthPreset(TOAuthProvider provider)
{
    switch (provider) {
    case TOAuthProvider::Google:
        return {QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth"),
                QStringLiteral("https://oauth2.googleapis.com/token"), QStringLiteral("https://mail.google.com/")};
    case TOAuthProvider::Microsoft:
        // offline_access is what makes the token endpoint hand out a refresh token.
        return {QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/authorize"),
                QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/token"),
                QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All "
                               "https://outlook.office.com/POP.AccessAsUser.All offline_access")};
    case TOAuthProvider::Custom:
        break;
    }
    return {};
}

TOAuthEndpoints OAuthEndpointsOf(const TMailBoxSettings& box)
{
    if (box.OAuthProvider == TOAuthProvider::Custom)
        return {box.OAuthAuthorizationUrl, box.OAuthTokenUrl, box.OAuthScope};
    return OAuthPreset(box.OAuthProvider);
}

}  // namespace brevio
