#include "oauth/oauth_pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace brevio {

namespace {

constexpr auto kUrlBase64 = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

}  // namespace

QByteArray RandomUrlToken(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(raw.begin(), raw.end());
    return raw.toBase64(kUrlBase64);
}

QByteArray PkceChallenge(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kUrlBase64);
}

TPkcePair MakePkcePair()
{
    // 32 random bytes give 43 base64url characters, the shortest verifier allowed.
    const QByteArray verifier = RandomUrlToken(32);
    return {verifier, PkceChallenge(verifier)};
}

}  // namespace brevio
