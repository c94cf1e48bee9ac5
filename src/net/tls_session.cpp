#include "net/tls_session.h"

#include <tuple>

#include "net/errors.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <QDate>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <ctime>

namespace brevio {

namespace {

// What the socket BIO needs: the handle, and the system error of its last failed call, kept
// because OpenSSL may overwrite errno before the caller looks.
struct TBioSocket {
    net::TSocketHandle socket = net::kInvalidSocket;
    int lastError = 0;
};

int BioWrite(BIO* bio, const char* data, int size)
{
    auto* s = static_cast<TBioSocket*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const long n = net::SendSome(s->socket, data, static_cast<std::size_t>(size));
    if (n < 0) {
        s->lastError = net::LastSystemError();
        if (net::IsWouldBlock(s->lastError))
            BIO_set_retry_write(bio);
        return -1;
    }
    return static_cast<int>(n);
}

int BioRead(BIO* bio, char* buffer, int size)
{
    auto* s = static_cast<TBioSocket*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    const long n = net::ReceiveSome(s->socket, buffer, static_cast<std::size_t>(size));
    if (n < 0) {
        s->lastError = net::LastSystemError();
        if (net::IsWouldBlock(s->lastError))
            BIO_set_retry_read(bio);
        return -1;
    }
    return static_cast<int>(n);
}

long BioControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

// A socket BIO of our own so that writes go through the socket layer, which never raises
// SIGPIPE and hides the platform.
BIO_METHOD* SocketBioMethod()
{
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "brevio socket");
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BioControl);
        BIO_meth_set_create(m, BioCreate);
        return m;
    }();
    return method;
}

QString OpenSslErrorText()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    // "error:0A000086:SSL routines::certificate verify failed" -> the part after the last ':'
    QString s = QString::fromLatin1(text);
    const auto colon = s.lastIndexOf(u':');
    return colon >= 0 ? s.mid(colon + 1) : s;
}

void AddExtraCertificates(SSL_CTX* context, const QByteArray& pem)
{
    if (pem.isEmpty())
        return;
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    int added = 0;
    while (X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        if (X509_STORE_add_cert(store, cert) == 1)
            ++added;
        X509_free(cert);
    }
    BIO_free(bio);
    ERR_clear_error();  // the end of the PEM text leaves a "no start line" entry
    if (added == 0)
        throw ETlsError(TFailure{TFailureKind::TlsExtraCertificatesUnreadable, {}});
}

QString Sha256Hex(X509* cert)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex().toUpper());
}

// A distinguished name on one line, most specific part first ("CN=mail.example.org,O=Example").
QString NameText(const X509_NAME* name)
{
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QString text = QString::fromUtf8(data, size);
    BIO_free(bio);
    return text;
}

QDateTime TimeOf(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

// "RSA 1024 bits", "EC 256 bits": the kind and size of the certificate's key.
QString KeyText(X509* cert)
{
    EVP_PKEY* key = cert ? X509_get0_pubkey(cert) : nullptr;
    if (!key)
        return QStringLiteral("unknown key");
    const char* kind = "a";
    switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA:
        kind = "RSA";
        break;
    case EVP_PKEY_DSA:
        kind = "DSA";
        break;
    case EVP_PKEY_EC:
        kind = "EC";
        break;
    default:
        break;
    }
    return QStringLiteral("%1 %2 bits").arg(QLatin1String(kind)).arg(EVP_PKEY_get_bits(key));
}

QString AddressText(const ASN1_OCTET_STRING* address)
{
    const unsigned char* b = ASN1_STRING_get0_data(address);
    const int length = ASN1_STRING_length(address);
    QStringList parts;
    if (length == 4) {
        for (int i = 0; i < 4; ++i)
            parts << QString::number(b[i]);
        return parts.join(u'.');
    }
    // IPv6: eight groups, the longest run of two or more zero groups written as "::".
    int bestStart = -1, bestLength = 1;
    for (int i = 0; i + 1 < length; i += 2) {
        const int group = (b[i] << 8) | b[i + 1];
        parts << QString::number(group, 16);
        int run = 0;
        while (i + 2 * run + 1 < length && b[i + 2 * run] == 0 && b[i + 2 * run + 1] == 0)
            ++run;
        if (run > bestLength) {
            bestStart = i / 2;
            bestLength = run;
        }
    }
    if (bestStart < 0)
        return parts.join(u':');
    return parts.mid(0, bestStart).join(u':') + QStringLiteral("::") + parts.mid(bestStart + bestLength).join(u':');
}

// The host names and addresses the certificate is made out for (its subject alternative names).
QStringList CertificateNames(X509* cert)
{
    QStringList names;
    auto* general = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; i < sk_GENERAL_NAME_num(general); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(general, i);
        if (name->type == GEN_DNS)
            names << QString::fromUtf8(reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.dNSName)),
                                       ASN1_STRING_length(name->d.dNSName));
        else if (name->type == GEN_IPADD)
            names << AddressText(name->d.iPAddress);
    }
    GENERAL_NAMES_free(general);
    return names;
}

bool NamesOtherHost(X509* cert, const QString& hostName)
{
    const QByteArray host = hostName.toUtf8();
    int match = X509_check_ip_asc(cert, host.constData(), 0);
    if (match == -2)  // not an address literal
        match = X509_check_host(cert, host.constData(), static_cast<size_t>(host.size()),
                                X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr);
    ERR_clear_error();
    return match != 1;
}

// Why the certificate did not verify: the problem and the date, names or key it concerns.
std::pair<TCertificateProblem, QString> VerifyProblem(long verdict, X509* cert, int chainLength)
{
    using P = TCertificateProblem;
    switch (verdict) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        return {P::SelfSigned, {}};
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return {P::UntrustedAuthority, {}};
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        // With a lone certificate the usual cause is a server set up without its chain.
        return {chainLength <= 1 ? P::IssuerMissing : P::IssuerUntrusted, {}};
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return {P::Expired, TimeOf(X509_get0_notAfter(cert)).toLocalTime().toString(Qt::ISODate)};
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return {P::NotYetValid, TimeOf(X509_get0_notBefore(cert)).toLocalTime().toString(Qt::ISODate)};
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: {
        const QStringList names = CertificateNames(cert);
        if (names.isEmpty())
            return {P::OtherHost, {}};
        return {P::NamedOtherHost, names.join(QStringLiteral(", "))};
    }
    case X509_V_ERR_EE_KEY_TOO_SMALL:
    case X509_V_ERR_CA_KEY_TOO_SMALL:
        return {P::WeakKey, KeyText(cert)};
    case X509_V_ERR_CA_MD_TOO_WEAK:
        return {P::WeakHash, {}};
    case X509_V_ERR_CERT_REVOKED:
        return {P::Revoked, {}};
    default:
        return {P::Other, {}};
    }
}

// The leaf certificate's key and signature hash measured by the session's own security rules
// (the callback and level the handshake consults): X509_V_OK when both are strong enough, else
// the verification code that names the weakness. Verification checks the key as well, but it
// stops at its first complaint (a self-signed certificate, say) and never checks the signature
// of the certificate the chain ends at, so a pinned or self-signed certificate would slip by.
long LeafWeakness(SSL* ssl, X509* cert)
{
    const auto allows = SSL_get_security_callback(ssl);
    void* extra = SSL_get0_security_ex_data(ssl);
    if (!allows)
        return X509_V_OK;
    EVP_PKEY* key = X509_get0_pubkey(cert);
    const int keyBits = key ? EVP_PKEY_get_security_bits(key) : -1;
    if (allows(ssl, nullptr, SSL_SECOP_PEER_EE_KEY, keyBits, NID_undef, cert, extra) == 0)
        return X509_V_ERR_EE_KEY_TOO_SMALL;
    int hash = NID_undef;
    int keyKind = NID_undef;
    int signatureBits = -1;
    if (X509_get_signature_info(cert, &hash, &keyKind, &signatureBits, nullptr) != 1)
        signatureBits = -1;
    ERR_clear_error();
    if (allows(ssl, nullptr, SSL_SECOP_PEER_CA_MD, signatureBits, hash != NID_undef ? hash : keyKind, cert, extra) == 0)
        return X509_V_ERR_CA_MD_TOO_WEAK;
    return X509_V_OK;
}

// A failed handshake in words a user can act on, the library's text in brackets.
// The failure of a handshake the library refused in the words `library`: the usual causes are
// told in plain words, with the library's words after them.
TFailure HandshakeFailure(const QString& host, const QString& library, X509* cert)
{
    using K = TFailureKind;
    if (library == QLatin1String("unsupported protocol") || library == QLatin1String("tlsv1 alert protocol version")
        || library == QLatin1String("no protocols available"))
        return {K::TlsHandshakeOldProtocol, {host, library}};
    if (library == QLatin1String("ee key too small") || library == QLatin1String("ca key too small"))
        return {K::TlsHandshakeWeakKey, {host, KeyText(cert), library}};
    if (library == QLatin1String("dh key too small"))
        return {K::TlsHandshakeWeakKeyExchange, {host, library}};
    if (library == QLatin1String("wrong version number") || library == QLatin1String("packet length too long"))
        return {K::TlsHandshakeNotTls, {host, library}};
    if (library == QLatin1String("sslv3 alert handshake failure") || library == QLatin1String("no shared cipher"))
        return {K::TlsHandshakeNoSharedCipher, {host, library}};
    return {K::TlsHandshakeFailed, {host, library}};
}

QString NormalisedFingerprint(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (c == u':' || c.isSpace())
            continue;
        out += c.toUpper();
    }
    return out;
}

}  // namespace

bool FingerprintsMatch(const QString& pinned, const QString& actual)
{
    const QString a = NormalisedFingerprint(pinned);
    const QString b = NormalisedFingerprint(actual);
    if (a.size() != 64 || a != b)
        return false;
    for (QChar c : a) {
        if (!c.isDigit() && (c < u'A' || c > u'F'))
            return false;
    }
    return true;
}

struct TTlsSession::TState {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    TBioSocket bioSocket;
    QString pinned;
    TTraceSink trace;

    ~TState()
    {
        SSL_free(ssl);  // also frees the BIO
        SSL_CTX_free(context);
    }
};

TTlsSession::TTlsSession(net::TSocketHandle socket, const TTlsOptions& options, const QString& hostName)
    : state_(std::make_unique<TState>()), hostName_(hostName)
{
    ERR_clear_error();
    TState& s = *state_;
    s.pinned = options.CertFingerprint;
    s.trace = options.Trace;
    s.bioSocket.socket = socket;

    s.context = SSL_CTX_new(TLS_client_method());
    if (!s.context)
        throw ETlsError(TFailure{TFailureKind::TlsCannotSetUp, {OpenSslErrorText()}});
    SSL_CTX_set_min_proto_version(s.context, TLS1_2_VERSION);
    // Level 2: keys of at least 2048 bits (RSA) or 224 bits (EC), no SHA-1 signatures, whatever
    // the system's default is.
    SSL_CTX_set_security_level(s.context, 2);
    // Servers that drop the connection without the closing alert are common; treat that as an
    // ordinary close.
    SSL_CTX_set_options(s.context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(s.context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_default_verify_paths(s.context);
    AddExtraCertificates(s.context, options.ExtraCaCertificates);
    // The handshake runs to its end whatever the certificate; the outcome of the check is read
    // afterwards and the session refused before any byte of ours goes over it. That way a
    // refused certificate still yields its fingerprint for the user to decide on.
    SSL_CTX_set_verify(s.context, SSL_VERIFY_NONE, nullptr);

    s.ssl = SSL_new(s.context);
    if (!s.ssl)
        throw ETlsError(TFailure{TFailureKind::TlsCannotSetUp, {OpenSslErrorText()}});

    const QByteArray host = hostName.toUtf8();
    X509_VERIFY_PARAM* param = SSL_get0_param(s.ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.constData()) != 1) {
        // Not an address literal: a DNS name, checked against the certificate and sent as SNI.
        ERR_clear_error();
        SSL_set_hostflags(s.ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(s.ssl, host.constData()) != 1)
            throw ETlsError(TFailure{TFailureKind::TlsCannotCheckHostName, {hostName}});
        SSL_set_tlsext_host_name(s.ssl, host.constData());
    }

    BIO* bio = BIO_new(SocketBioMethod());
    BIO_set_data(bio, &s.bioSocket);
    SSL_set_bio(s.ssl, bio, bio);
    SSL_set_connect_state(s.ssl);
}

TTlsSession::~TTlsSession() = default;

int TTlsSession::Retry(const std::function<int()>& call, const TWait& wait)
{
    TState& s = *state_;
    for (;;) {
        ERR_clear_error();
        s.bioSocket.lastError = 0;
        const int rc = call();
        if (rc == 1)
            return SSL_ERROR_NONE;
        const int error = SSL_get_error(s.ssl, rc);
        if (error == SSL_ERROR_WANT_READ)
            wait(net::TWaitFor::Read);
        else if (error == SSL_ERROR_WANT_WRITE)
            wait(net::TWaitFor::Write);
        else
            return error;
    }
}

void TTlsSession::Handshake(const TWait& wait)
{
    TState& s = *state_;
    const int error = Retry([&] { return SSL_do_handshake(s.ssl); }, wait);
    if (error != SSL_ERROR_NONE) {
        X509* cert = SSL_get0_peer_certificate(s.ssl);
        const QString library = OpenSslErrorText();
        const int classic = error == SSL_ERROR_SYSCALL ? net::ClassicSocketError(s.bioSocket.lastError) : 0;
        TFailure failure{TFailureKind::TlsHandshakeServerClosed, {hostName_}};
        if (!library.isEmpty())
            failure = HandshakeFailure(hostName_, library, cert);
        else if (classic != 0)
            failure = {TFailureKind::TlsHandshakeSocketError, {hostName_, QString::number(classic)}};
        if (cert)
            fingerprint_ = Sha256Hex(cert);
        throw ETlsError(std::move(failure), fingerprint_);
    }

    X509* cert = SSL_get0_peer_certificate(s.ssl);
    if (!cert)
        throw ETlsError(TFailure{TFailureKind::TlsNoCertificate, {hostName_}});
    fingerprint_ = Sha256Hex(cert);
    if (s.trace) {
        s.trace(QStringLiteral("TLS handshake done: %1, %2; certificate %3, SHA-256 %4")
                    .arg(QString::fromLatin1(SSL_get_version(s.ssl)), QString::fromLatin1(SSL_get_cipher_name(s.ssl)),
                         NameText(X509_get_subject_name(cert)), fingerprint_)
                    .toUtf8());
    }
    // A weak key or signature is refused whatever else is true of the certificate: no authority
    // and no pin makes it safe.
    const long weakness = LeafWeakness(s.ssl, cert);
    const long verdict = weakness != X509_V_OK ? weakness : SSL_get_verify_result(s.ssl);
    if (verdict == X509_V_OK || (weakness == X509_V_OK && FingerprintsMatch(s.pinned, fingerprint_)))
        return;
    RefuseCertificate(cert, verdict);
}

void TTlsSession::RefuseCertificate(X509* cert, long verdict)
{
    TState& s = *state_;
    TCertificateInfo info;
    info.Host = hostName_;
    const STACK_OF(X509)* chain = SSL_get_peer_cert_chain(s.ssl);
    std::tie(info.Problem, info.ProblemDetail) = VerifyProblem(verdict, cert, chain ? sk_X509_num(chain) : 1);
    info.LibraryText = QString::fromUtf8(X509_verify_cert_error_string(verdict));
    info.Subject = NameText(X509_get_subject_name(cert));
    info.Issuer = NameText(X509_get_issuer_name(cert));
    info.NotBefore = TimeOf(X509_get0_notBefore(cert));
    info.NotAfter = TimeOf(X509_get0_notAfter(cert));
    info.Fingerprint = fingerprint_;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    info.Expired =
        (info.NotAfter.isValid() && now > info.NotAfter) || (info.NotBefore.isValid() && now < info.NotBefore);
    info.HostMismatch = NamesOtherHost(cert, hostName_);
    // A changed certificate may be an attack: it is refused with both fingerprints in its details
    // (see CertificateRefusalText for how each refusal is told).
    if (!s.pinned.trimmed().isEmpty() && !FingerprintsMatch(s.pinned, fingerprint_))
        info.PinnedFingerprint = NormalisedFingerprint(s.pinned);
    // The message is only the library's verdict: the user's words come from the details.
    QString verdictText = hostName_ + QStringLiteral(": ") + info.LibraryText;
    throw ETlsError(std::move(verdictText), std::move(info));
}

qsizetype TTlsSession::Read(char* buffer, qsizetype capacity, const TWait& wait)
{
    TState& s = *state_;
    size_t got = 0;
    switch (Retry([&] { return SSL_read_ex(s.ssl, buffer, static_cast<size_t>(capacity), &got); }, wait)) {
    case SSL_ERROR_NONE:
        return static_cast<qsizetype>(got);
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        // A server that closes without the closing alert has still closed.
        if (s.bioSocket.lastError != 0 && !net::IsWouldBlock(s.bioSocket.lastError))
            net::ThrowSystemSocketError(s.bioSocket.lastError);
        return 0;
    default:
        throw ETlsError(TFailure{TFailureKind::TlsErrorFrom, {hostName_, OpenSslErrorText()}});
    }
}

qsizetype TTlsSession::WriteSome(const char* data, qsizetype size, const TWait& wait)
{
    TState& s = *state_;
    size_t written = 0;
    switch (Retry([&] { return SSL_write_ex(s.ssl, data, static_cast<size_t>(size), &written); }, wait)) {
    case SSL_ERROR_NONE:
        return static_cast<qsizetype>(written);
    case SSL_ERROR_SYSCALL:
        if (s.bioSocket.lastError != 0)
            net::ThrowSystemSocketError(s.bioSocket.lastError);
        throw ESocketError(10054);
    default:
        throw ETlsError(TFailure{TFailureKind::TlsErrorFrom, {hostName_, OpenSslErrorText()}});
    }
}

void TTlsSession::Shutdown()
{
    if (SSL_is_init_finished(state_->ssl))
        SSL_shutdown(state_->ssl);
    ERR_clear_error();
}

}  // namespace brevio
