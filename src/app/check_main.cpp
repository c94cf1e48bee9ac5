// brevio-check: checks the configured mailboxes from the command line, prints what lies on the
// servers, and optionally deletes listed messages. Same engine and settings file as the window.

#include "engine/check_run.h"
#include "engine/header_cache.h"
#include "engine/mailbox_list.h"
#include "engine/message_export.h"
#include "localization/localizator.h"
#include "secrets/keychain_store.h"
#include "oauth/run_tokens.h"
#include "secrets/run_secrets.h"
#include "settings/options.h"
#include "settings/settings_file.h"
#include "support/abort_signal.h"
#include "support/app_version.h"
#include "engine/check_context.h"
#include "support/error_log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QHash>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <cstdio>
#include <functional>
#include <future>
#include <optional>
#include <thread>

using namespace brevio;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitLogged = 1;
constexpr int kExitUsage = 2;

// Ctrl+C aborts the mailbox being read, as Escape does in the window; a second one quits. The
// signal is taken by a thread of its own (sigwait), so the abort runs outside a signal handler.
// Made before any other thread starts, so each one inherits the blocked signal. Stop() (or the
// end of the watcher) wakes the thread with one more SIGINT that it takes as the word to end,
// and joins it.
class TInterruptWatcher {
public:
    explicit TInterruptWatcher(TAbortSignal& abort)
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        thread_ = std::thread([this, set, &abort] {
            int signal = 0;
            int count = 0;
            while (sigwait(&set, &signal) == 0 && !stopping_) {
                if (++count > 1)
                    std::_Exit(130);
                abort.Trigger();
            }
        });
    }
    TInterruptWatcher(const TInterruptWatcher&) = delete;
    TInterruptWatcher& operator=(const TInterruptWatcher&) = delete;
    ~TInterruptWatcher() { Stop(); }

    void Stop()
    {
        if (!thread_.joinable())
            return;
        stopping_ = true;
        // Blocked in every thread, the signal waits for that thread's sigwait even when it is
        // sent before the thread gets there.
        pthread_kill(thread_.native_handle(), SIGINT);
        thread_.join();
    }

private:
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

void PrintError(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// The command line's side of the engine: no window, never asks for a password, log and status
// on standard error.
class TConsoleContext final : public TCheckContext {
public:
    TConsoleContext(const TStringTable& strings, int timeoutSeconds, bool verbose, bool pipelining)
        : strings_(strings), timeoutSeconds_(timeoutSeconds), verbose_(verbose), pipelining_(pipelining)
    {
    }

    void SetStatus(const QString& text) override
    {
        if (verbose_ && !text.isEmpty())
            PrintError(text);
    }
    void ThrowIfAborted() override { abort_.ThrowIfTriggered(); }
    // A refused login is handled as in a scheduled check: logged, never a prompt.
    bool IsScheduledCheck() const override { return true; }
    bool AskLoginAndPassword(const QString&, QString&, QString&) override { return false; }
    void Log(const QString& text) override { log_.Add(text); }
    TAbortSignal* AbortSignal() override { return &abort_; }
    int NetworkTimeoutSeconds() const override { return timeoutSeconds_; }
    TTraceSink TraceSink() const override { return trace_; }
    const TStringTable& Strings() const override { return strings_; }
    bool Pipelining() const override { return pipelining_; }
    THeaderCache* HeaderCache() override { return cache_; }
    // A refused access token is refreshed once with the stored refresh token; never a browser.
    QString RenewAccessToken(const TMailBoxSettings& box) override
    {
        QString failure;
        const QString token =
            tokens_ ? ObtainAccessToken(box, true, *tokens_, {}, false, strings_, failure) : QString();
        if (!failure.isEmpty())
            Log(failure);
        return token;
    }

    void SetTokenKeeper(TOAuthTokenKeeper* tokens) { tokens_ = tokens; }
    void SetHeaderCache(THeaderCache* cache) { cache_ = cache; }
    void SetTrace(TTraceSink sink) { trace_ = std::move(sink); }
    const TErrorLog& ErrorLog() const { return log_; }

private:
    TStringTable strings_;
    TAbortSignal abort_;
    TErrorLog log_;
    TTraceSink trace_;
    int timeoutSeconds_;
    bool verbose_;
    bool pipelining_;
    TOAuthTokenKeeper* tokens_ = nullptr;
    THeaderCache* cache_ = nullptr;
};

// The Ids of --delete, comma-separated (an Id never holds a comma), into `ids` in their
// canonical form, each once: a message named twice is deleted once (a second DELE of one POP3
// message would be refused and reported as a failure). Returns the usage error, or nothing.
QString ParseIdList(const QString& text, QStringList& ids)
{
    for (const QString& part : text.split(u',')) {
        const QString given = part.trimmed();
        if (given.isEmpty())
            return QStringLiteral("--delete: an empty Id; a message without an Id (a POP3 server "
                                  "without UIDL) cannot be deleted from the command line");
        // Row numbers name whatever lies at that place when the list is read again.
        if (std::all_of(given.begin(), given.end(), [](QChar c) { return c.isDigit(); }))
            return QStringLiteral("--delete takes the message ids from the Id column "
                                  "(--format tsv or json), not row numbers: %1")
                .arg(given);
        const std::optional<QString> id = CanonicalMessageId(given);
        if (!id)
            return QStringLiteral("--delete: %1 is not a message id; use the ids from the Id column").arg(given);
        if (!ids.contains(*id))
            ids.append(*id);
    }
    return {};
}

// The messages of `listed` that `ids` name, in the order of `ids`. An Id that names no message
// of the listing (deleted or moved since, or in a mailbox not checked), or more than one (two
// mailboxes of one name on one account), is reported and nothing is deleted for it.
QList<TMessageToDelete> FindMessagesToDelete(const QList<TMessageRow>& listed, const QStringList& ids, bool& allFound)
{
    QHash<QString, QList<const TMessageRow*>> named;
    for (const QString& id : ids)
        named.insert(id, {});
    for (const TMessageRow& row : listed) {
        const auto entry = named.find(MessageIdText(row.MailBox, row.Id));
        if (entry != named.end())
            entry->append(&row);
    }
    QList<TMessageToDelete> deletes;
    allFound = true;
    for (const QString& id : ids) {
        const QList<const TMessageRow*>& rows = named.value(id);
        if (rows.size() == 1) {
            deletes.append({rows.first()->MailBoxIndex, rows.first()->Id});
            continue;
        }
        allFound = false;
        PrintError(rows.isEmpty()
                       ? QStringLiteral("brevio-check: no message %1 in the checked mailboxes; not deleted").arg(id)
                       : QStringLiteral("brevio-check: %1 names %2 messages (mailboxes of one name); none deleted")
                             .arg(id)
                             .arg(rows.size()));
    }
    return deletes;
}

std::optional<TExportFormat> ParseFormat(const QString& name)
{
    if (name == QLatin1String("table"))
        return TExportFormat::Table;
    if (name == QLatin1String("tsv"))
        return TExportFormat::Tsv;
    if (name == QLatin1String("json"))
        return TExportFormat::Json;
    return std::nullopt;
}

int UsageError(const QString& text)
{
    PrintError(QStringLiteral("brevio-check: ") + text);
    return kExitUsage;
}

// What the command line asks for.
struct TCommandLine {
    QString SettingsFile;                  // absolute path
    bool Scheduled = false;                // the mailboxes of the scheduled check
    QStringList MailBoxNames;              // --mailbox; empty: those of the run
    std::optional<QStringList> DeleteIds;  // --delete, each id once in its canonical form
    TExportFormat Format = TExportFormat::Table;
    std::optional<QString> TraceFile;  // --trace
    bool Verbose = false;
    bool NoCache = false;
};

void AddOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Checks the configured mailboxes and lists the messages that lie on the servers."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("settings"), QStringLiteral("Settings file (default: the window program's)."),
         QStringLiteral("FILE")},
        {QStringLiteral("scheduled"), QStringLiteral("Check the mailboxes of the scheduled check.")},
        {QStringLiteral("mailbox"), QStringLiteral("Check this mailbox (repeatable)."), QStringLiteral("NAME")},
        {QStringLiteral("delete"),
         QStringLiteral("Delete the messages with these ids (the Id column; comma-separated), then list again."),
         QStringLiteral("IDS")},
        {QStringLiteral("format"), QStringLiteral("Output format: table, tsv or json."), QStringLiteral("FORMAT"),
         QStringLiteral("table")},
        {QStringLiteral("trace"), QStringLiteral("Write the protocol conversation to FILE (passwords masked)."),
         QStringLiteral("FILE")},
        {QStringLiteral("verbose"), QStringLiteral("Also print the progress texts.")},
        {QStringLiteral("no-cache"), QStringLiteral("Fetch every header, without the cache of headers already seen.")},
    });
}

// Reads `arguments` into `command`. Returns the exit status when the program ends here (help,
// version, a usage error, an unreadable settings file), nothing when it goes on.
std::optional<int> ParseCommandLine(const QStringList& arguments, TCommandLine& command)
{
    QCommandLineParser parser;
    AddOptions(parser);
    if (!parser.parse(arguments))
        return UsageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return kExitClean;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("brevio-check %s\n", GetAppVersion().toLocal8Bit().constData());
        return kExitClean;
    }
    if (!parser.positionalArguments().isEmpty())
        return UsageError(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    const QString formatName = parser.value(QStringLiteral("format"));
    const std::optional<TExportFormat> format = ParseFormat(formatName.toLower());
    if (!format)
        return UsageError(QStringLiteral("unknown format %1 (table, tsv or json)").arg(formatName));
    command.Format = *format;
    if (parser.isSet(QStringLiteral("delete"))) {
        command.DeleteIds.emplace();
        const QString error = ParseIdList(parser.value(QStringLiteral("delete")), *command.DeleteIds);
        if (!error.isEmpty())
            return UsageError(error);
    }

    // The settings file is only read, never written.
    command.SettingsFile = parser.isSet(QStringLiteral("settings"))
        ? QFileInfo(parser.value(QStringLiteral("settings"))).absoluteFilePath()
        : SettingsFileNameFor(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("brevio")));
    QFile probe(command.SettingsFile);
    if (!probe.open(QIODevice::ReadOnly))
        return UsageError(QStringLiteral("cannot read settings file %1: %2")
                              .arg(QDir::toNativeSeparators(command.SettingsFile), probe.errorString()));

    command.Scheduled = parser.isSet(QStringLiteral("scheduled"));
    command.MailBoxNames = parser.values(QStringLiteral("mailbox"));
    if (parser.isSet(QStringLiteral("trace")))
        command.TraceFile = parser.value(QStringLiteral("trace"));
    command.Verbose = parser.isSet(QStringLiteral("verbose"));
    command.NoCache = parser.isSet(QStringLiteral("no-cache"));
    return std::nullopt;
}

// The indexes of the mailboxes to check into `indexes`: the named ones (whatever their flags),
// else those of the chosen run. Returns the exit status of a name no mailbox has.
std::optional<int> ChooseMailBoxes(const QList<TMailBoxSettings>& mailBoxes, const TCommandLine& command,
                                   QList<int>& indexes)
{
    for (const QString& name : command.MailBoxNames) {
        bool found = false;
        for (int i = 0; i < mailBoxes.size(); ++i) {
            if (mailBoxes.at(i).Name == name) {
                indexes.append(i);
                found = true;
            }
        }
        if (!found)
            return UsageError(QStringLiteral("no mailbox named \"%1\" in %2")
                                  .arg(name, QDir::toNativeSeparators(command.SettingsFile)));
    }
    if (command.MailBoxNames.isEmpty())
        indexes = MailBoxesOfRun(mailBoxes, command.Scheduled ? TRunKind::Scheduled : TRunKind::CheckAll);
    return std::nullopt;
}

// What is left for the process's end to free: never freed before.
QList<TFoundMessage>& LeftToTheEnd()
{
    static auto* const left = new QList<TFoundMessage>;
    return *left;
}

using TRowSink = std::function<void(const TMessageRow& row)>;
// The messages of the mailbox at `index` found from `from` on; their places (from 0) in the
// mailbox's listing are their places in `found`. `asExpected`: see TCheckContext::Listed.
using TFoundSink = std::function<void(int index, const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found,
                                      qsizetype from, bool asExpected)>;
// Gets ready for messages a listing expects to hand over (see TCheckContext::Expect).
using TDraftSink = std::function<void(const TMailBoxSettings& mailBox, const QList<TFoundMessage>& messages,
                                      qsizetype place, const std::function<bool()>& answered)>;

// Lists the mailboxes at `indexes`: each mailbox's messages go to `sink` as they come, and what
// it found is let go before the next one. `onAllChecked` (when given) is
// called once the last mailbox is checked, before its messages go out. `draft` (when given) gets
// ready for what a listing expects to hand over.
void ListMessages(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& indexes, TConsoleContext& context,
                  const TFoundSink& sink, const std::function<void()>& onAllChecked = {},
                  const TDraftSink& draft = {})
{
    const int last = indexes.isEmpty() ? -1 : *std::max_element(indexes.cbegin(), indexes.cend());
    // Messages go out as they come, while the server sends the rest.
    qsizetype given = 0;  // of the mailbox being checked
    const auto give = [&](int index, const QList<TFoundMessage>& found, bool asExpected) {
        if (given < found.size())
            sink(index, mailBoxes.at(index), found, given, asExpected);
        given = found.size();
    };
    TListingCallbacks listing{.Listed = give, .Expected = {}};
    if (draft) {
        listing.Expected = [&](int index, const QList<TFoundMessage>& messages, qsizetype place,
                               const std::function<bool()>& answered) {
            draft(mailBoxes.at(index), messages, place, answered);
        };
    }
    CheckMailBoxes(
        mailBoxes, indexes, context,
        [&](int index, QList<TFoundMessage>& found) {
            if (index == last && onAllChecked)
                onAllChecked();
            give(index, found, false);
            given = 0;
            // The last mailbox's findings are left to the end of the process, which comes soon
            // after and frees nothing piece by piece (see main).
            if (index == last)
                LeftToTheEnd().swap(found);
            found = {};
        },
        {}, nullptr, nullptr, listing);
}

// Deletes the messages that `deleteIds` name in the listing `listed`. False when nothing was
// deleted; `allFound` turns false when an id named no message. The messages are found by their
// ids, never by their places in the list, which change as mail arrives or goes; the run deletes
// them by identity.
bool DeleteListed(const QList<TMailBoxSettings>& mailBoxes, const QList<TMessageRow>& listed,
                  const QStringList& deleteIds, const TStringTable& strings, TConsoleContext& context, bool& allFound)
{
    TRunRequest request;
    request.Kind = TRunKind::DeleteMarked;
    request.MailBoxes = mailBoxes;
    request.Strings = strings;
    request.Deletes = FindMessagesToDelete(listed, deleteIds, allFound);
    if (request.Deletes.isEmpty())
        return false;
    ExecuteRun(request, context);
    return true;
}

// Where the listing goes: the TSV, the form scripts read, to standard output as it is made (a
// big listing is never held, neither as rows nor as text); the other forms at the end, from the
// rows kept until then.
class TListingOutput {
public:
    explicit TListingOutput(TExportFormat format) : format_(format)
    {
        if (format == TExportFormat::Tsv)
            tsv_.emplace(&TListingOutput::Write);
    }

    TRowSink Sink()
    {
        if (tsv_)
            return [this](const TMessageRow& row) { tsv_->Add(row); };
        return [this](const TMessageRow& row) { rows_.append(row); };
    }

    // The TSV is written straight from the found messages, without making their rows.
    TFoundSink FoundSink()
    {
        if (tsv_) {
            return [this](int, const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
                          bool asExpected) { tsv_->Add(mailBox, found, from, asExpected); };
        }
        return [this](int index, const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
                      bool) {
            for (qsizetype i = from; i < found.size(); ++i)
                rows_.append(builder_.Build(index, mailBox, found.at(i), i));
        };
    }

    // The TSV's rows of messages a listing expects, made while the server is asked about them.
    TDraftSink DraftSink()
    {
        if (!tsv_)
            return {};
        return [this](const TMailBoxSettings& mailBox, const QList<TFoundMessage>& messages, qsizetype place,
                      const std::function<bool()>& answered) { tsv_->Draft(mailBox, messages, place, answered); };
    }

    void Finish()
    {
        if (tsv_)
            tsv_->Finish();
        else
            Write(ExportMessageRows(rows_, format_));
        std::fflush(stdout);
    }

private:
    static void Write(QByteArrayView piece) { std::fwrite(piece.data(), 1, size_t(piece.size()), stdout); }

    TExportFormat format_;
    std::optional<TTsvWriter> tsv_;
    TMessageRowBuilder builder_;
    QList<TMessageRow> rows_;
};

// Lists the chosen mailboxes into `output` and, when `deleteIds` are given, deletes those
// messages first and lists again. The header cache is written while the last mailbox's rows go
// out: neither touches the other. `allFound` turns false when an id named no message.
void RunCheck(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& indexes,
              const std::optional<QStringList>& deleteIds, const TStringTable& strings, TConsoleContext& context,
              THeaderCache* cache, TListingOutput& output, bool& allFound)
{
    std::future<void> saved;
    const auto save = [&saved, cache] {
        if (cache)
            saved = std::async(std::launch::async, [cache] { cache->Save(); });
    };
    allFound = true;
    if (deleteIds) {
        QList<TMessageRow> listed;
        TMessageRowBuilder rows;
        ListMessages(mailBoxes, indexes, context,
                     [&](int index, const TMailBoxSettings& mailBox, const QList<TFoundMessage>& found, qsizetype from,
                         bool) {
                         for (qsizetype i = from; i < found.size(); ++i)
                             listed.append(rows.Build(index, mailBox, found.at(i), i));
                     });
        if (!DeleteListed(mailBoxes, listed, *deleteIds, strings, context, allFound)) {
            save();
            const TRowSink sink = output.Sink();
            for (const TMessageRow& row : std::as_const(listed))
                sink(row);
            output.Finish();
            return;
        }
    }
    ListMessages(mailBoxes, indexes, context, output.FoundSink(), save, output.DraftSink());
    output.Finish();
    if (!saved.valid())
        save();
    if (saved.valid())
        saved.get();
}

// Prints the log on standard error and gives the exit status.
int PrintLog(const TConsoleContext& context, bool allFound)
{
    // The log as it holds it, newest entry first, one entry per line.
    const QStringList entries = context.ErrorLog().Entries();
    for (QString entry : entries) {
        entry = entry.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).trimmed();
        PrintError(entry);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return entries.isEmpty() && allFound ? kExitClean : kExitLogged;
}

// Opens the protocol trace file and sends the context's trace there; false when it cannot be
// written.
bool OpenTrace(const QString& fileName, QFile& traceFile, TConsoleContext& context)
{
    traceFile.setFileName(fileName);
    if (!traceFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    context.SetTrace([&traceFile](const QByteArray& line) {
        traceFile.write(line);
        traceFile.write("\n");
        traceFile.flush();
    });
    return true;
}

// Fills the chosen mailboxes' passwords and access tokens from the secret store; what cannot be
// filled is logged and the mailbox left out.
void FillRunSecrets(QList<TMailBoxSettings>& mailBoxes, QList<int>& indexes, TKeychainSecretStore& secrets,
                    TOAuthTokenKeeper& tokens, const TStringTable& strings, TConsoleContext& context)
{
    for (const TRunSecretsOutcome& filled : {FillSecrets(mailBoxes, indexes, secrets, false, strings),
                                             FillAccessTokens(mailBoxes, indexes, tokens, {}, false, strings)}) {
        for (const QString& entry : filled.Log)
            context.Log(entry);
        indexes.removeIf([&filled](int index) { return filled.Skipped.contains(index); });
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Brevio"));
    QCoreApplication::setApplicationVersion(GetAppVersion());

    TCommandLine command;
    if (const std::optional<int> status = ParseCommandLine(app.arguments(), command))
        return *status;
    SetSettingsFileName(command.SettingsFile);
    TOptions options;
    options.Load(command.SettingsFile);
    std::optional<THeaderCache> cache;
    // A check one message at a time (FPipelining=0) uses no cache. The cache is read on a thread
    // of its own from here on, while the rest is set up and the check connects.
    if (options.FHeaderCache && options.FPipelining && !command.NoCache) {
        cache.emplace();
        cache->StartLoading();
    }
    TLocalizator strings(options);
    TMailBoxList list;
    list.Load(command.SettingsFile);
    QList<TMailBoxSettings> mailBoxes = list.Snapshot();
    QList<int> indexes;
    if (const std::optional<int> status = ChooseMailBoxes(mailBoxes, command, indexes))
        return *status;

    TConsoleContext context(strings.Strings, options.FNetworkTimeout, command.Verbose, options.FPipelining);
    // Passwords kept in the desktop's secret store are read without any prompt; a mailbox whose
    // password cannot be read is logged and left out.
    // OAuth2 mailboxes get their access tokens from the refresh tokens kept there; with none,
    // "sign-in needed" is logged and the mailbox left out (no browser is opened here).
    const auto secrets = std::make_shared<TKeychainSecretStore>();
    TOAuthTokenKeeper tokens(secrets);
    context.SetTokenKeeper(&tokens);
    FillRunSecrets(mailBoxes, indexes, *secrets, tokens, strings.Strings, context);
    TInterruptWatcher interrupts(*context.AbortSignal());

    if (cache)
        context.SetHeaderCache(&*cache);

    QFile traceFile;
    if (command.TraceFile && !OpenTrace(*command.TraceFile, traceFile, context))
        return UsageError(
            QStringLiteral("cannot write trace file %1: %2").arg(*command.TraceFile, traceFile.errorString()));

    bool allFound = true;
    TListingOutput output(command.Format);
    RunCheck(mailBoxes, indexes, command.DeleteIds, strings.Strings, context, cache ? &*cache : nullptr, output,
             allFound);
    const int status = PrintLog(context, allFound);
    if (traceFile.isOpen())
        traceFile.close();
    interrupts.Stop();
    // Everything is written: the process ends here rather than free a big listing and the
    // header cache piece by piece, which only costs time.
    std::_Exit(status);
}
