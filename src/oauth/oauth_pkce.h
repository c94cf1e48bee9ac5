#pragma once
// Proof Key for Code Exchange (RFC 7636) with the S256 method, and the random `state` value of
// an authorization request.

#include <QByteArray>

namespace brevio {

// `bytes` random bytes from the system's generator, base64url without padding.
QByteArray RandomUrlToken(int bytes);

// BASE64URL(SHA256(verifier)) without padding (RFC 7636 §4.2).
QByteArray PkceChallenge(const QByteArray& verifier);

struct TPkcePair {
    QByteArray Verifier;   // 43 characters of the unreserved set (§4.1)
    QByteArray Challenge;  // sent with the authorization request, the verifier with the code
};
TPkcePair MakePkcePair();

}  // namespace brevio
