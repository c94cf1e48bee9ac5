// The test mail server and its seed: the manifest matches the seed files, the files lie where
// the live tests will look for them, and every port answers like the protocol it serves.
#include "support/live_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

using brevio::test::LiveServer;
using brevio::test::maildirFolderName;
using brevio::test::SeedManifest;
using brevio::test::SeedMessage;

namespace {

QString seedFolder(const SeedMessage& m)
{
    return QStringLiteral(BREVIO_SOURCE_DIR "/scripts/test-server/seed/%1/%2").arg(m.user, m.folder);
}

TEST(SeedManifest, SizesAndOrderMatchTheSeedFiles)
{
    const SeedManifest manifest = SeedManifest::load();
    ASSERT_FALSE(manifest.messages().isEmpty());
    for (const SeedMessage& m : manifest.messages()) {
        SCOPED_TRACE((m.user + u' ' + m.folder + u' ' + QString::number(m.seq)).toStdString());
        // seed.sh numbers the messages of a folder in file-name order.
        const QFileInfoList files =
            QDir(seedFolder(m)).entryInfoList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
        ASSERT_LE(m.seq, files.size());
        EXPECT_EQ(files[m.seq - 1].size(), m.size) << files[m.seq - 1].fileName().toStdString();
        EXPECT_EQ(m.unique, QStringLiteral("%1.M%2P1.brevio").arg(1704067200 + m.seq).arg(m.seq));
    }
}

TEST(SeedManifest, CoversTheFoldersLiveTestsRelyOn)
{
    const SeedManifest manifest = SeedManifest::load();
    const struct {
        const char* user;
        const char* folder;
        qsizetype count;
    } cases[] = {
        {"alice", "INBOX", 9}, {"alice", "Входящие", 2}, {"alice", "Archive/2024", 1},
        {"alice", "Empty", 0}, {"bob", "INBOX", 3},      {"carol", "INBOX", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " " + c.folder);
        const QList<SeedMessage> folder = manifest.folder(QString::fromUtf8(c.user), QString::fromUtf8(c.folder));
        ASSERT_EQ(folder.size(), c.count);
        for (qsizetype i = 0; i < folder.size(); ++i)
            EXPECT_EQ(folder[i].seq, i + 1);
    }
    // Exactly one message has a Date that cannot be parsed and a From that is no address.
    qsizetype undated = 0;
    for (const SeedMessage& m : manifest.messages())
        if (!m.dateUtc.isValid()) {
            ++undated;
            EXPECT_TRUE(m.fromAddress.isEmpty());
        }
    EXPECT_EQ(undated, 1);
}

TEST(SeedManifest, RejectsAMalformedFile)
{
    const QString path = QDir::temp().filePath(QStringLiteral("brevio_bad_manifest.tsv"));
    const QByteArray header = "user\tfolder\tseq\tunique\tsize\tdate_utc\tfrom_name\tfrom_address\tsubject\n";
    const QByteArray bodies[] = {
        "alice\tINBOX\t1\tu\t10\t\t\t\n",              // a field short
        "alice\tINBOX\tone\tu\t10\t\t\t\ts\n",         // seq not a number
        "alice\tINBOX\t1\tu\t10\tyesterday\t\t\ts\n",  // date not ISO 8601
    };
    for (const QByteArray& body : bodies) {
        SCOPED_TRACE(body.toStdString());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(header + body);
        f.close();
        EXPECT_THROW(SeedManifest::load(path), std::runtime_error);
    }
    QFile::remove(path);
    EXPECT_THROW(SeedManifest::load(path), std::runtime_error);
}

TEST(MaildirFolderName, EncodesLevelsInModifiedUtf7)
{
    const struct {
        const char* folder;
        const char* expected;
    } cases[] = {
        {"INBOX", ""},
        {"Empty", ".Empty"},
        {"Archive/2024", ".Archive.2024"},
        {"Входящие", ".&BBIERQQ+BDQETwRJBDgENQ-"},
        {"R&D", ".R&-D"},
        {"台北/日本語", ".&U,BTFw-.&ZeVnLIqe-"},  // RFC 3501 5.1.3, "/" in base64 becomes ","
        {"Ünï", ".&ANw-n&AO8-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(maildirFolderName(QString::fromUtf8(c.folder)), QString::fromUtf8(c.expected)) << c.folder;
}

class LiveServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.available())
            GTEST_SKIP() << server.unavailableReason().toStdString();
    }
    LiveServer server = LiveServer::fromEnvironment();
};

TEST_F(LiveServerTest, SeededFilesLieWhereTheManifestSays)
{
    for (const SeedMessage& m : SeedManifest::load().messages()) {
        const QFileInfo file(server.folderPath(m.user, m.folder) + QStringLiteral("/cur/") + m.unique
                             + QStringLiteral(":2,"));
        ASSERT_TRUE(file.exists()) << file.filePath().toStdString();
        EXPECT_EQ(file.size(), m.size) << file.filePath().toStdString();
    }
    EXPECT_TRUE(QDir(server.folderPath(QStringLiteral("alice"), QStringLiteral("Empty"))).exists());
    // "Archive" exists only through its child, so the server lists it as \Noselect.
    EXPECT_FALSE(QDir(server.folderPath(QStringLiteral("alice"), QStringLiteral("Archive"))).exists());
    ASSERT_TRUE(server.user(QStringLiteral("bob")));
    EXPECT_EQ(server.user(QStringLiteral("bob"))->password, QStringLiteral("b ob\"pw 1"));
}

// Connects to the server, completes a TLS handshake that trusts only the server's own
// certificate when caFile is given, and returns the first line the server sends, or an
// error text starting with "error:".
std::string firstLine(const std::string& host, quint16 port, const std::string& caFile)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return "error: socket";
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* p) {
        ::close(*p);
        delete p;
    });
    // A bound on a server that accepts but never speaks; the normal case answers at once.
    timeval bound{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1)
        return "error: host is not an IPv4 address";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return "error: connect";

    std::string line;
    auto readLine = [&line](auto&& readByte) {
        char c = 0;
        while (line.size() < 1000 && readByte(c) && c != '\n')
            line += c;
        return !line.empty();
    };
    if (caFile.empty()) {
        readLine([fd](char& c) { return ::recv(fd, &c, 1, 0) == 1; });
        return line;
    }

    const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()), &SSL_CTX_free);
    if (!ctx || SSL_CTX_load_verify_locations(ctx.get(), caFile.c_str(), nullptr) != 1)
        return "error: cannot load " + caFile;
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    const std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), &SSL_free);
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), host.c_str());
    SSL_set_fd(ssl.get(), fd);
    if (SSL_connect(ssl.get()) != 1) {
        const char* reason = ERR_reason_error_string(ERR_get_error());
        return "error: TLS handshake: " + std::string(reason ? reason : "unknown");
    }
    readLine([&ssl](char& c) { return SSL_read(ssl.get(), &c, 1) == 1; });
    SSL_shutdown(ssl.get());
    return line;
}

TEST_F(LiveServerTest, EveryPortGreetsLikeItsProtocol)
{
    const struct {
        const char* name;
        quint16 port;
        bool tls;
        const char* greeting;
    } cases[] = {
        {"POP3", server.pop3Port(), false, "+OK"},
        {"IMAP4", server.imapPort(), false, "* OK"},
        {"POP3 over TLS", server.pop3sPort(), true, "+OK"},
        {"IMAP4 over TLS", server.imapsPort(), true, "* OK"},
    };
    for (const auto& c : cases) {
        const std::string line =
            firstLine(server.host().toStdString(), c.port, c.tls ? server.caFile().toStdString() : std::string());
        EXPECT_EQ(line.rfind(c.greeting, 0), 0u) << c.name << " answered: " << line;
    }
}

}  // namespace
