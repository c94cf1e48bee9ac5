#include "net/tls_session.h"

#include "net/errors.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstdint>

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
        throw ETlsError(QStringLiteral("The extra trusted certificates cannot be read."));
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
    s.bioSocket.socket = socket;

    s.context = SSL_CTX_new(TLS_client_method());
    if (!s.context)
        throw ETlsError(QStringLiteral("TLS cannot be set up: %1").arg(OpenSslErrorText()));
    SSL_CTX_set_min_proto_version(s.context, TLS1_2_VERSION);
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
        throw ETlsError(QStringLiteral("TLS cannot be set up: %1").arg(OpenSslErrorText()));

    const QByteArray host = hostName.toUtf8();
    X509_VERIFY_PARAM* param = SSL_get0_param(s.ssl);
    if (X509_VERIFY_PARAM_set1_ip_asc(param, host.constData()) != 1) {
        // Not an address literal: a DNS name, checked against the certificate and sent as SNI.
        ERR_clear_error();
        SSL_set_hostflags(s.ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(s.ssl, host.constData()) != 1)
            throw ETlsError(QStringLiteral("TLS cannot check the host name %1.").arg(hostName));
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
        QString reason = OpenSslErrorText();
        if (reason.isEmpty()) {
            const int classic = error == SSL_ERROR_SYSCALL ? net::ClassicSocketError(s.bioSocket.lastError) : 0;
            reason = classic != 0 ? SocketErrorText(classic) : QStringLiteral("the server closed the connection");
        }
        if (X509* cert = SSL_get0_peer_certificate(s.ssl))
            fingerprint_ = Sha256Hex(cert);
        throw ETlsError(QStringLiteral("TLS handshake with %1 failed: %2").arg(hostName_, reason), fingerprint_);
    }

    X509* cert = SSL_get0_peer_certificate(s.ssl);
    if (!cert)
        throw ETlsError(QStringLiteral("TLS server %1 sent no certificate.").arg(hostName_));
    fingerprint_ = Sha256Hex(cert);
    const long verdict = SSL_get_verify_result(s.ssl);
    if (verdict == X509_V_OK || FingerprintsMatch(s.pinned, fingerprint_))
        return;
    throw ETlsError(QStringLiteral("TLS certificate of %1 not trusted: %2 (SHA-256 fingerprint %3)")
                        .arg(hostName_, QString::fromUtf8(X509_verify_cert_error_string(verdict)), fingerprint_),
                    fingerprint_);
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
        throw ETlsError(QStringLiteral("TLS error from %1: %2").arg(hostName_, OpenSslErrorText()));
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
        throw ETlsError(QStringLiteral("TLS error from %1: %2").arg(hostName_, OpenSslErrorText()));
    }
}

void TTlsSession::Shutdown()
{
    if (SSL_is_init_finished(state_->ssl))
        SSL_shutdown(state_->ssl);
    ERR_clear_error();
}

}  // namespace brevio
