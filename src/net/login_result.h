#pragma once
// How a mail client's login ended. A refusal is an ordinary answer, not a failure: the engine
// decides whether to log it, to ask the user for new credentials or to give up.

#include "net/failure.h"

namespace brevio {

enum class TLoginResult { LoggedIn, Refused };

struct TLoginReply {
    TLoginResult Result = TLoginResult::Refused;
    // For a refusal: the server's words, or why the login could not be sent or finished.
    TFailure Refusal;

    bool LoggedIn() const { return Result == TLoginResult::LoggedIn; }
};

}  // namespace brevio
