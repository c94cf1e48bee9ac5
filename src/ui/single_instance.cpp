#include "ui/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

namespace brevio {

namespace {

// What a second copy sends to ask for the window.
constexpr char kShowRequest[] = "show\n";

// A copy that just took the lock needs a moment before it listens; a second copy keeps trying
// for this long before it gives up (and ends all the same: two copies must never run).
constexpr int kConnectTries = 20;
constexpr int kConnectWaitMs = 250;

QString CanonicalPath(const QString& file)
{
    const QFileInfo info(QDir::current().absoluteFilePath(file));
    const QString folder = QDir(info.absolutePath()).canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
}

}  // namespace

TSingleInstance::TSingleInstance(const QString& settingsFile, QObject* parent)
    : QObject(parent), serverName_(ServerName(settingsFile)),
      lock_(CanonicalPath(settingsFile) + QStringLiteral(".lock"))
{
    // A lock is stale only when its owner is gone (checked by process id), never by its age: a
    // copy may run for months.
    lock_.setStaleLockTime(0);
    // Only this user's programs may ask for the window.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &TSingleInstance::OnConnection);
}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::ServerName(const QString& settingsFile)
{
    const QByteArray hash =
        QCryptographicHash::hash(CanonicalPath(settingsFile).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("brevio-") + QString::fromLatin1(hash.left(32));
}

bool TSingleInstance::Claim(bool showRunningCopy)
{
    if (lock_.tryLock(0)) {
        Listen();
        return true;
    }
    if (lock_.error() != QLockFile::LockFailedError)
        return true;  // no lock can be made here; run unguarded
    if (showRunningCopy && !AskRunningCopyToShow())
        qWarning("Brevio is running already but did not answer; its window was not shown.");
    return false;
}

void TSingleInstance::Listen()
{
    // A socket file left by a killed copy makes listen() fail; holding the lock means it is ours
    // to remove.
    if (!server_.listen(serverName_)) {
        QLocalServer::removeServer(serverName_);
        if (!server_.listen(serverName_))
            qWarning("Brevio could not listen for later starts: %s", qPrintable(server_.errorString()));
    }
}

void TSingleInstance::OnConnection()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        // One short request per connection; anything else is ignored. The asking copy may have
        // closed its end before the request is read here, so a close reads what came first.
        const auto readRequest = [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine(64) == kShowRequest)
                emit ShowRequested();
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        connect(socket, &QLocalSocket::disconnected, this, [socket, readRequest] {
            readRequest();
            socket->deleteLater();
        });
        readRequest();
    }
}

bool TSingleInstance::AskRunningCopyToShow()
{
    for (int attempt = 0; attempt < kConnectTries; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        if (!socket.waitForConnected(kConnectWaitMs)) {
            // Not listening yet (it is starting) or not at all: wait a little and try again.
            socket.abort();
            QThread::msleep(kConnectWaitMs);
            continue;
        }
        socket.write(kShowRequest);
        const bool sent = socket.waitForBytesWritten(kConnectWaitMs * 4);
        socket.disconnectFromServer();
        if (socket.state() != QLocalSocket::UnconnectedState)
            socket.waitForDisconnected(kConnectWaitMs * 4);
        return sent;
    }
    return false;
}

}  // namespace brevio
