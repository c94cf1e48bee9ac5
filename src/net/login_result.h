#pragma once
// How a mail client's login ended. A refusal is an ordinary answer, not a failure: the engine
// decides whether to log it, to ask the user for new credentials or to give up.

#include <QString>

namespace brevio {

enum class TLoginResult { LoggedIn, Refused };

struct TLoginReply {
    TLoginResult Result = TLoginResult::Refused;
    // For a refusal: the server's text, or why the login could not be sent or finished.
    QString Text;

    bool LoggedIn() const { return Result == TLoginResult::LoggedIn; }
};

}  // namespace brevio
