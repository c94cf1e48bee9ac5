#pragma once
// Shared pieces of the engine's live tests: mailboxes on the test server, a check context with
// an abort signal, and scratch mail in carol's (otherwise empty) Maildir.

#include "engine/check_run.h"
#include "engine/mailbox.h"
#include "support/abort_signal.h"
#include "support/live_server.h"
#include "support/test_check_context.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace brevio::test {

enum class TProtocol { Pop3, Imap4 };

// The SHA-256 of the server's self-signed certificate, so TLS mailboxes trust it by pin.
QString ServerFingerprint(const LiveServer& server);

// A mailbox of `user` on the test server with the given protocol and security.
std::unique_ptr<TMailBox> MakeMailBox(const LiveServer& server, const QString& user, TProtocol protocol,
                                      TSecurity security, const QString& name = {});

// A test context that also carries an abort signal, as the window and the command line do.
class TLiveContext : public TTestCheckContext {
public:
    TAbortSignal Signal;
    // When set, the n-th yield (counted from 1) triggers the abort.
    int AbortAtYield = 0;
    int Yields = 0;

    TAbortSignal* AbortSignal() override { return &Signal; }
    int NetworkTimeoutSeconds() const override { return 20; }
    void ThrowIfAborted() override
    {
        ++Yields;
        if (AbortAtYield > 0 && Yields == AbortAtYield)
            Signal.Trigger();
        Signal.ThrowIfTriggered();
    }
};

// Messages written straight into a Maildir folder, as another mail program would deliver them;
// the destructor removes every file it wrote that is still there.
class TScratchMail {
public:
    // `lineEnd`: "\n" for a server that stores messages with LF and adds the CR itself.
    explicit TScratchMail(QString maildir, QByteArray lineEnd = "\r\n");
    ~TScratchMail();
    // Delivers a small message with this subject; returns its file path.
    QString Deliver(const QString& subject);
    // Delivers `message` as it is (CR LF line ends are made `lineEnd`); returns its file path.
    QString DeliverRaw(QByteArray message);
    // Removes a delivered message behind the server's back.
    void Remove(const QString& path);
    // Deletes every message file of the folder (also those the test did not write).
    void Empty();

private:
    QString maildir_;
    QByteArray lineEnd_;
    QStringList written_;
    // Counts the messages of every instance in this process: a name is never used twice, also
    // not by two tests within one second (the server would take a new file under an old name
    // for the message it once was).
    static inline int counter_ = 0;
};

// The server's logs (every *.log beside its LOG_FILE) from a moment on, for a failure message: a
// client sees only that a connection or a TLS handshake failed, the server's log says why.
class TServerLogMark {
public:
    explicit TServerLogMark(const LiveServer& server);
    // Per log that grew since the mark: its name, the test server's own notes on it ("test-server:"
    // lines, as a STARTTLS self-check at start writes them) and the lines added since the mark.
    // Empty when no log grew.
    QString Since() const;

private:
    QString folder_;
    QMap<QString, qint64> sizes_;
};

#ifdef BREVIO_CHECK_PATH
struct TRunOutput {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

// Runs brevio-check with `arguments`; its header cache goes to a folder of the test run, never
// the user's own.
TRunOutput RunChecker(const QStringList& arguments);
#endif

// The subjects of a run's rows, in order.
QStringList Subjects(const TRunResult& result);

// The protocols and securities every server is checked over.
struct TLiveConfig {
    const char* Label;
    TProtocol Protocol;
    TSecurity Security;
};
extern const TLiveConfig kLiveConfigs[6];

// Checks that what a check of alice's mailbox found equals the seed manifest: every field the
// list shows, folder by folder in server order. POP3 sees the INBOX only, IMAP4 every selectable
// folder; `listedFolder` gives a seeded folder ("Archive/2024") as the server lists it.
void ExpectAliceMatchesTheSeed(const QList<TFoundMessage>& found, const QList<TMessageRow>& rows, TProtocol protocol,
                               const std::function<QString(const QString&)>& listedFolder);

}  // namespace brevio::test
