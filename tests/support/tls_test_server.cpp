#include "support/tls_test_server.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace brevio::test {

namespace {

// Limit on every blocking call of the test server, so a broken test fails instead of hanging.
constexpr int kSafetySeconds = 30;

QByteArray ToPem(X509* cert)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QByteArray out(data, size);
    BIO_free(bio);
    return out;
}

QByteArray ToPem(EVP_PKEY* key)
{
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QByteArray out(data, size);
    BIO_free(bio);
    return out;
}

X509* CertFromPem(const QByteArray& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return cert;
}

EVP_PKEY* KeyFromPem(const QByteArray& pem)
{
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return key;
}

void AddExtension(X509* cert, X509V3_CTX* context, int nid, const QString& value)
{
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, context, nid, value.toUtf8().constData());
    if (!ext)
        throw std::runtime_error("cannot build certificate extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

QString Fingerprint(X509* cert)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert, EVP_sha256(), digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<char*>(digest), length).toHex().toUpper());
}

}  // namespace

TTestCertificate MakeCertificate(const QString& commonName, const QStringList& altNames, const TTestCertificate* issuer,
                                 bool isCa, const TCertificateTraits& traits)
{
    EVP_PKEY* key = traits.RsaBits > 0 ? EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(traits.RsaBits))
                                       : EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* cert = X509_new();
    X509* issuerCert = issuer ? CertFromPem(issuer->CertPem) : nullptr;
    EVP_PKEY* issuerKey = issuer ? KeyFromPem(issuer->KeyPem) : nullptr;
    if (!key || !cert || (issuer && (!issuerCert || !issuerKey)))
        throw std::runtime_error("cannot make test certificate");

    X509_set_version(cert, X509_VERSION_3);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7f;
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert));
    BN_free(bn);
    const long day = 24 * 3600;
    X509_gmtime_adj(X509_getm_notBefore(cert), traits.DaysValid > 0 ? -3600 : (traits.DaysValid - 30) * day);
    X509_gmtime_adj(X509_getm_notAfter(cert), traits.DaysValid * day);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.toUtf8().constData()), -1, -1, 0);
    X509_set_issuer_name(cert, issuerCert ? X509_get_subject_name(issuerCert) : name);

    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuerCert ? issuerCert : cert, cert, nullptr, nullptr, 0);
    AddExtension(cert, &context, NID_subject_key_identifier, QStringLiteral("hash"));
    if (isCa) {
        AddExtension(cert, &context, NID_basic_constraints, QStringLiteral("critical,CA:TRUE"));
        AddExtension(cert, &context, NID_key_usage, QStringLiteral("critical,keyCertSign,cRLSign"));
    } else if (issuerCert) {
        AddExtension(cert, &context, NID_authority_key_identifier, QStringLiteral("keyid:always"));
        AddExtension(cert, &context, NID_key_usage, QStringLiteral("critical,digitalSignature"));
        AddExtension(cert, &context, NID_ext_key_usage, QStringLiteral("serverAuth"));
    }
    if (!altNames.isEmpty())
        AddExtension(cert, &context, NID_subject_alt_name, altNames.join(u','));
    X509_sign(cert, issuerKey ? issuerKey : key, traits.Sha1Signature ? EVP_sha1() : EVP_sha256());

    TTestCertificate out{ToPem(cert), ToPem(key), Fingerprint(cert), issuer == nullptr};
    X509_free(cert);
    X509_free(issuerCert);
    EVP_PKEY_free(key);
    EVP_PKEY_free(issuerKey);
    return out;
}

const TTestPki& TTestPki::Get()
{
    static const TTestPki pki = [] {
        const QStringList names = {QStringLiteral("DNS:localhost"), QStringLiteral("IP:127.0.0.1"),
                                   QStringLiteral("IP:::1")};
        TTestPki p;
        p.Ca = MakeCertificate(QStringLiteral("Brevio Test CA"), {}, nullptr, true);
        p.Server = MakeCertificate(QStringLiteral("localhost"), names, &p.Ca);
        p.SelfSigned = MakeCertificate(QStringLiteral("localhost"), names);
        p.WeakKey = MakeCertificate(QStringLiteral("localhost"), names, &p.Ca, false, {1024, 7});
        p.Expired = MakeCertificate(QStringLiteral("localhost"), names, &p.Ca, false, {0, -2});
        p.WeakSelfSigned = MakeCertificate(QStringLiteral("localhost"), names, nullptr, false, {1024, 7});
        p.Sha1SelfSigned = MakeCertificate(QStringLiteral("localhost"), names, nullptr, false, {0, 7, true});
        return p;
    }();
    return pki;
}

struct TServerConnection::TTls {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    ~TTls()
    {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }
};

TServerConnection::TServerConnection(int socket) : socket_(socket)
{
    timeval limit{kSafetySeconds, 0};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

TServerConnection::~TServerConnection()
{
    Close();
}

qsizetype TServerConnection::ReadSome(char* buffer, qsizetype size)
{
    if (tls_) {
        size_t got = 0;
        return SSL_read_ex(tls_->ssl, buffer, static_cast<size_t>(size), &got) == 1 ? static_cast<qsizetype>(got) : 0;
    }
    const ssize_t n = ::recv(socket_, buffer, static_cast<size_t>(size), 0);
    return n > 0 ? n : 0;
}

QByteArray TServerConnection::ReadLine()
{
    for (;;) {
        const qsizetype lf = pending_.indexOf('\n');
        if (lf >= 0) {
            QByteArray line = pending_.left(lf);
            pending_.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            return line;
        }
        char buffer[16384];
        const qsizetype n = ReadSome(buffer, sizeof buffer);
        if (n == 0)
            throw std::runtime_error("client closed before a full line: " + pending_.toStdString());
        pending_.append(buffer, n);
    }
}

QByteArray TServerConnection::ReadAny()
{
    if (pending_.isEmpty()) {
        char buffer[16384];
        const qsizetype n = ReadSome(buffer, sizeof buffer);
        if (n == 0)
            throw std::runtime_error("client closed before sending anything");
        pending_.append(buffer, n);
    }
    return std::exchange(pending_, {});
}

void TServerConnection::Write(const QByteArray& bytes)
{
    if (tls_) {
        size_t written = 0;
        if (SSL_write_ex(tls_->ssl, bytes.constData(), static_cast<size_t>(bytes.size()), &written) != 1)
            throw std::runtime_error("TLS write failed");
        return;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::send(socket_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("write failed");
        done += n;
    }
}

bool TServerConnection::StartTls(const TTestCertificate& certificate, const TServerTlsOptions& options)
{
    pending_.clear();
    auto tls = std::make_unique<TTls>();
    tls->context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_set_security_level(tls->context, 0);
    if (options.MaxVersion != 0) {
        SSL_CTX_set_min_proto_version(tls->context, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(tls->context, options.MaxVersion);
    }
    X509* cert = CertFromPem(certificate.CertPem);
    EVP_PKEY* key = KeyFromPem(certificate.KeyPem);
    const bool loaded =
        SSL_CTX_use_certificate(tls->context, cert) == 1 && SSL_CTX_use_PrivateKey(tls->context, key) == 1;
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!loaded)
        throw std::runtime_error("cannot load server certificate");
    tls->ssl = SSL_new(tls->context);
    SSL_set_fd(tls->ssl, socket_);
    const bool ok = SSL_accept(tls->ssl) == 1;
    ERR_clear_error();
    if (ok)
        tls_ = std::move(tls);
    return ok;
}

void TServerConnection::WaitForClose()
{
    char buffer[512];
    while (ReadSome(buffer, sizeof buffer) > 0) {
    }
}

void TServerConnection::Close()
{
    if (tls_) {
        SSL_shutdown(tls_->ssl);
        tls_.reset();
    }
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

TLoopbackServer::TLoopbackServer(const char* address, int backlog)
{
    // The server thread may write to a connection the client already closed.
    std::signal(SIGPIPE, SIG_IGN);
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, address, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, address, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof *v6;
    } else {
        return;
    }
    listener_ = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        return;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(listener_, backlog) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    port_ = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
}

TLoopbackServer::~TLoopbackServer()
{
    if (wake_[1] >= 0) [[maybe_unused]]
        const ssize_t n = ::write(wake_[1], "x", 1);
    Join();
    if (listener_ >= 0)
        ::close(listener_);
    for (int fd : wake_)
        if (fd >= 0)
            ::close(fd);
}

void TLoopbackServer::Serve(std::function<void(TServerConnection&)> handler)
{
    Join();
    thread_ = std::thread([this, handler = std::move(handler)] {
        try {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, kSafetySeconds * 1000) != 1)
                throw std::runtime_error("no client connected");
            const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                throw std::runtime_error("accept failed");
            TServerConnection connection(socket);
            handler(connection);
        } catch (const std::exception& e) {
            failure_ = QString::fromUtf8(e.what());
        }
    });
}

void TLoopbackServer::ServeEach(std::function<void(TServerConnection&)> handler)
{
    Join();
    if (wake_[0] < 0 && ::pipe2(wake_, O_CLOEXEC) != 0)
        wake_[0] = wake_[1] = -1;
    thread_ = std::thread([this, handler = std::move(handler)] {
        for (;;) {
            pollfd p[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0 || p[1].revents)
                return;
            const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (socket < 0)
                continue;
            try {
                TServerConnection connection(socket);
                handler(connection);
            } catch (const std::exception&) {
                // The client went away in the middle; the next one is served all the same.
            }
        }
    });
}

QString TLoopbackServer::Join()
{
    if (thread_.joinable())
        thread_.join();
    return failure_;
}

}  // namespace brevio::test
