#pragma once
// The endpoints and scope of the providers the mailbox editor knows, from their public
// documentation; Custom leaves every field to the user.

#include "engine/mailbox_settings.h"

namespace brevio {

struct TOAuthEndpoints {
    QString AuthorizationUrl;
    QString TokenUrl;
    QString Scope;
};

// Empty fields for Custom.
TOAuthEndpoints OAuthPreset(TOAuthProvider provider);

// A mailbox's endpoints: the preset's for Google and Microsoft, its own fields for Custom.
TOAuthEndpoints OAuthEndpointsOf(const TMailBoxSettings& box);

}  // namespace brevio
