#pragma once
// Failures of the IMAP4 client's state checks.

#include "net/errors.h"

namespace brevio {

// An IMAP4 operation called in a connection state that does not allow it; nothing was sent.
class EWrongStateError : public EMailClientError {
public:
    explicit EWrongStateError(const QString& stateName)
        : EMailClientError(TFailure{TFailureKind::ImapWrongState, {stateName}})
    {
    }
};

}  // namespace brevio
