#pragma once
// Failures of the mail clients' argument and state checks.

#include "protocol/errors.h"

namespace brevio {

// A message number or UID argument that cannot be sent. Raised before anything goes out.
class EInvalidNumber : public Exception {
public:
    using Exception::Exception;
};

// An IMAP4 operation called in a connection state that does not allow it; nothing was sent.
class EWrongStateError : public EMailClientError {
public:
    explicit EWrongStateError(const QString& stateName)
        : EMailClientError(QStringLiteral("Unable to execute command, wrong connection state;"
                                          "Current connection state: %1.")
                               .arg(stateName))
    {
    }
};

}  // namespace brevio
