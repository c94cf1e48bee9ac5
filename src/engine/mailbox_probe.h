#pragma once
// A one-off trial of a mailbox's settings, as the mailbox editor's "Test" button runs it: connect,
// secure, log in, count the messages of the inbox, log out. It changes nothing on the server and
// nothing in any list; the caller runs it on a worker thread.

#include "engine/mailbox.h"
#include "net/errors.h"
#include "net/line_channel.h"
#include "support/string_table.h"

#include <QString>
#include <optional>

namespace brevio {

class TAbortSignal;

// The settings the trial needs, copied so the worker holds no reference into the editor.
struct TProbeTarget {
    QString Host;
    int Port = 0;
    QString UserName;
    QString Password;
    TMailProtocol Protocol = TMailProtocol::IMAP4;
    TSecurity Security = TSecurity::None;
    QString CertFingerprint;
};

enum class TProbeOutcome { Ok, LoginRefused, Failed, Aborted };

struct TProbeResult {
    TProbeOutcome Outcome = TProbeOutcome::Failed;
    // Ok: nothing; LoginRefused: the server's answer; Failed: why the connection failed.
    QString Text;
    qint32 MessageCount = 0;  // Ok: the messages in the inbox
    // Failed on a certificate that did not verify: its details, for the trust prompt.
    std::optional<TCertificateInfo> Certificate;
    bool IdleOffered = false;  // Ok, IMAP4: the server offers IDLE, so the inbox can be watched
};

// Runs the trial. `abort` (may be null) ends it at once from another thread; `factory` makes the
// transport (empty: a real socket with `timeoutSeconds`); failures are told in the words of
// `strings`. Never raises.
TProbeResult ProbeMailBox(const TProbeTarget& target, TAbortSignal* abort, int timeoutSeconds,
                          const TTransportFactory& factory = {}, const TStringTable& strings = TStringTable::BuiltIn());

}  // namespace brevio
