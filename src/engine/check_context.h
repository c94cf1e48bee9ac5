#pragma once
// What the mail engine needs from whoever runs it: the window, the command-line checker or a
// test. The engine never reaches global state; everything outside goes through this interface.

#include "support/string_table.h"
#include "support/trace.h"

#include <QList>
#include <QString>

#include <functional>

namespace brevio {

class TAbortSignal;
class THeaderCache;
struct TCertificateInfo;
struct TFoundMessage;
struct TMailBoxSettings;

// Hands over a mailbox's messages found so far while its listing runs (see TCheckContext::Listed).
using TListedCallback = std::function<void(const QList<TFoundMessage>& found, bool asExpected)>;
// Tells of messages a listing made ahead (see TCheckContext::Expect).
using TExpectedCallback = std::function<void(const QList<TFoundMessage>& messages, qsizetype place,
                                             const std::function<bool()>& answered)>;

class TCheckContext {
public:
    virtual ~TCheckContext() = default;

    // The one-line status text ("Connecting to server (%s)..."). Called on the worker thread.
    virtual void SetStatus(const QString& text) = 0;

    // Called between network steps: raises EUserAbort when the user asked to abort.
    virtual void ThrowIfAborted() = 0;

    // True while the running check is a scheduled one (no login prompt then).
    virtual bool IsScheduledCheck() const = 0;

    // Asks the user for new credentials for `host`; blocks until answered. Returns true when the
    // user confirmed; `userName` and `password` hold what was typed either way.
    virtual bool AskLoginAndPassword(const QString& host, QString& userName, QString& password) = 0;

    // Asks the user whether to trust a server certificate that did not verify; blocks until
    // answered. Nobody to ask (the default): never trusted.
    virtual bool AskTrustCertificate(const TCertificateInfo&) { return false; }

    // The access token of `box` (signing in with OAuth2) was refused or is missing: a fresh one,
    // refreshed or, in a check the user started, from signing in again. Empty when none could be
    // had; the implementation has logged why then. Nobody to ask (the default): none.
    virtual QString RenewAccessToken(const TMailBoxSettings&) { return {}; }

    // Adds one entry to the error log.
    virtual void Log(const QString& text) = 0;

    // The abort request that wakes blocked socket calls; may be null (no abort possible).
    virtual TAbortSignal* AbortSignal() { return nullptr; }

    // Seconds a connect, read or write may block before it fails.
    virtual int NetworkTimeoutSeconds() const { return 60; }

    // Whether a check may send commands ahead of their replies (the FPipelining option); off,
    // it asks for one message at a time.
    virtual bool Pipelining() const { return true; }

    // The cache of headers already seen, shared by the mailboxes of a run; null: none.
    virtual THeaderCache* HeaderCache() { return nullptr; }

    // Where protocol trace lines go; empty: no trace.
    virtual TTraceSink TraceSink() const { return {}; }

    // The message texts of this run (the built-in ones unless the runner gives its own).
    virtual const TStringTable& Strings() const
    {
        static const TStringTable builtIn;
        return builtIn;
    }

    // A listing calls this with what the mailbox's check has found so far whenever more of it is
    // final: from then on the list only grows at its end. Lets a runner write rows while the
    // server still sends the rest; none is set by default. `asExpected`: the messages at the
    // place the last Expect named are the ones it named, moved there as they were.
    void Listed(const QList<TFoundMessage>& found, bool asExpected = false) const
    {
        if (listed_)
            listed_(found, asExpected);
    }
    // A listing calls this with messages it made ahead (from the header cache) while the server
    // answers whether they stand. Once it confirms them they are handed over by Listed at
    // `place` of the listing, as they are; until then a runner may get ready for them (make
    // their rows) while `answered` says the server's answer has not come yet.
    void Expect(const QList<TFoundMessage>& messages, qsizetype place, const std::function<bool()>& answered) const
    {
        if (expected_)
            expected_(messages, place, answered);
    }
    void SetListed(TListedCallback listed, TExpectedCallback expected = {})
    {
        listed_ = std::move(listed);
        expected_ = std::move(expected);
    }

private:
    TListedCallback listed_;
    TExpectedCallback expected_;
};

// A message text of the running program's string table.
inline QString Text(const TCheckContext& context, texts::TTextId id)
{
    return context.Strings().Text(id);
}

}  // namespace brevio
