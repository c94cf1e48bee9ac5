// brevio-check: checks the configured mailboxes from the command line, prints what lies on the
// servers, and optionally deletes listed messages. Same engine and settings file as the window.

#include "engine/check_run.h"
#include "engine/header_cache.h"
#include "engine/mailbox_list.h"
#include "engine/message_export.h"
#include "localization/localizator.h"
#include "settings/options.h"
#include "settings/settings_file.h"
#include "support/abort_signal.h"
#include "support/app_version.h"
#include "support/check_context.h"
#include "support/error_log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QHash>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <pthread.h>
#include <cstdio>
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
void WatchInterrupts(TAbortSignal& abort)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, &abort] {
        int signal = 0;
        int count = 0;
        while (sigwait(&set, &signal) == 0) {
            if (++count > 1)
                std::_Exit(130);
            abort.Trigger();
        }
    }).detach();
}

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
    void Yield() override { abort_.ThrowIfTriggered(); }
    // A refused login is handled as in a scheduled check: logged, never a prompt.
    bool IsScheduledCheck() const override { return true; }
    bool AskLoginAndPassword(const QString&, QString&, QString&) override { return false; }
    void Log(const QString& text) override { log_.Add(text); }
    TAbortSignal* Abort() override { return &abort_; }
    int NetworkTimeoutSeconds() const override { return timeoutSeconds_; }
    TTraceSink TraceSink() const override { return trace_; }
    const TStringTable& Strings() const override { return strings_; }
    bool Pipelining() const override { return pipelining_; }
    THeaderCache* HeaderCache() override { return cache_; }

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
                                  "(--format tsv or json), not row numbers: %1").arg(given);
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
QList<TMessageToDelete> FindMessagesToDelete(const QList<TListedMessage>& listed, const QStringList& ids,
                                             bool& allFound)
{
    QHash<QString, QList<const TMessageRow*>> named;
    for (const QString& id : ids)
        named.insert(id, {});
    for (const TListedMessage& message : listed) {
        const auto entry = named.find(MessageIdText(message.Row.MailBox, message.Row.Id));
        if (entry != named.end())
            entry->append(&message.Row);
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

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Brevio"));
    QCoreApplication::setApplicationVersion(GetAppVersion());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks the configured mailboxes and lists the messages that lie on the servers."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Settings file (default: the window program's)."),
                                            QStringLiteral("FILE"));
    const QCommandLineOption scheduledOption(QStringLiteral("scheduled"),
                                             QStringLiteral("Check the mailboxes of the scheduled check."));
    const QCommandLineOption mailboxOption(QStringLiteral("mailbox"),
                                           QStringLiteral("Check this mailbox (repeatable)."),
                                           QStringLiteral("NAME"));
    const QCommandLineOption deleteOption(
        QStringLiteral("delete"),
        QStringLiteral("Delete the messages with these ids (the Id column; comma-separated), then list again."),
        QStringLiteral("IDS"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
                                          QStringLiteral("Output format: table, tsv or json."),
                                          QStringLiteral("FORMAT"), QStringLiteral("table"));
    const QCommandLineOption traceOption(
        QStringLiteral("trace"), QStringLiteral("Write the protocol conversation to FILE (passwords masked)."),
        QStringLiteral("FILE"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Also print the progress texts."));
    const QCommandLineOption noCacheOption(
        QStringLiteral("no-cache"), QStringLiteral("Fetch every header, without the cache of headers already seen."));
    parser.addOptions({settingsOption, scheduledOption, mailboxOption, deleteOption, formatOption,
                       traceOption, verboseOption, noCacheOption});
    if (!parser.parse(app.arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return kExitClean;
    }
    if (parser.isSet(versionOption)) {
        std::printf("brevio-check %s\n", GetAppVersion().toLocal8Bit().constData());
        return kExitClean;
    }
    if (!parser.positionalArguments().isEmpty())
        return UsageError(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    const std::optional<TExportFormat> format = ParseFormat(parser.value(formatOption).toLower());
    if (!format)
        return UsageError(QStringLiteral("unknown format %1 (table, tsv or json)").arg(parser.value(formatOption)));

    std::optional<QStringList> deleteIds;
    if (parser.isSet(deleteOption)) {
        deleteIds.emplace();
        const QString error = ParseIdList(parser.value(deleteOption), *deleteIds);
        if (!error.isEmpty())
            return UsageError(error);
    }

    // The settings file is only read, never written.
    const QString settingsFile = parser.isSet(settingsOption)
        ? QFileInfo(parser.value(settingsOption)).absoluteFilePath()
        : SettingsFileNameFor(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("brevio")));
    {
        QFile probe(settingsFile);
        if (!probe.open(QIODevice::ReadOnly))
            return UsageError(QStringLiteral("cannot read settings file %1: %2")
                                  .arg(QDir::toNativeSeparators(settingsFile), probe.errorString()));
    }
    SetSettingsFileName(settingsFile);

    TOptions options;
    options.Load(settingsFile);
    TLocalizator strings(options);
    TMailBoxList list;
    list.Load(settingsFile);
    const QList<TMailBoxSettings> mailBoxes = list.Snapshot();

    // Which mailboxes: the named ones (whatever their flags), else those of the chosen run.
    QList<int> indexes;
    const QStringList names = parser.values(mailboxOption);
    for (const QString& name : names) {
        bool found = false;
        for (int i = 0; i < mailBoxes.size(); ++i) {
            if (mailBoxes.at(i).Name == name) {
                indexes.append(i);
                found = true;
            }
        }
        if (!found)
            return UsageError(QStringLiteral("no mailbox named \"%1\" in %2")
                                  .arg(name, QDir::toNativeSeparators(settingsFile)));
    }
    if (names.isEmpty())
        indexes = MailBoxesOfRun(mailBoxes, parser.isSet(scheduledOption) ? TRunKind::Scheduled : TRunKind::CheckAll);

    TConsoleContext context(strings.Strings, options.FNetworkTimeout, parser.isSet(verboseOption),
                            options.FPipelining);
    // Before any other thread starts, so each one inherits the blocked signal.
    WatchInterrupts(*context.Abort());

    std::optional<THeaderCache> cache;
    // A check one message at a time (FPipelining=0) uses no cache.
    if (options.FHeaderCache && options.FPipelining && !parser.isSet(noCacheOption)) {
        cache.emplace();
        cache->StartLoading();
        context.SetHeaderCache(&*cache);
    }

    QFile traceFile;
    if (parser.isSet(traceOption)) {
        traceFile.setFileName(parser.value(traceOption));
        if (!traceFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return UsageError(QStringLiteral("cannot write trace file %1: %2")
                                  .arg(parser.value(traceOption), traceFile.errorString()));
        context.SetTrace([&traceFile](const QByteArray& line) {
            traceFile.write(line);
            traceFile.write("\n");
            traceFile.flush();
        });
    }

    // Lists the chosen mailboxes: every row with the message it shows.
    const auto listMessages = [&] {
        QList<TListedMessage> listed;
        TMessageRowBuilder rows(QLocale(), false);
        CheckMailBoxes(mailBoxes, indexes, context, [&](int index, const QList<TFoundMessage>& found) {
            // Row by row, so the rows are never held twice.
            listed.reserve(listed.size() + found.size());
            for (qsizetype i = 0; i < found.size(); ++i)
                listed.append({rows.Build(index, mailBoxes.at(index), found.at(i), i), found.at(i).Message});
        });
        return listed;
    };
    QList<TListedMessage> listed = listMessages();

    bool allFound = true;
    if (deleteIds) {
        // The messages are found again by their ids, never by their places in the list, which
        // change as mail arrives or goes; the run deletes them by identity.
        TRunRequest request;
        request.Kind = TRunKind::DeleteMarked;
        request.MailBoxes = mailBoxes;
        request.Strings = strings.Strings;
        request.Deletes = FindMessagesToDelete(listed, *deleteIds, allFound);
        if (!request.Deletes.isEmpty()) {
            ExecuteRun(request, context);
            listed = listMessages();
        }
    }

    // The cache is written while the list is: neither touches the other.
    std::future<void> saved;
    if (cache)
        saved = std::async(std::launch::async, [&cache] { cache->Save(); });

    const QByteArray output = ExportMessageRows(listed, *format);
    std::fwrite(output.constData(), 1, size_t(output.size()), stdout);
    std::fflush(stdout);
    if (saved.valid())
        saved.get();

    // The log as it holds it, newest entry first, one entry per line.
    const QStringList entries = context.ErrorLog().Entries();
    for (QString entry : entries) {
        entry = entry.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).trimmed();
        PrintError(entry);
    }
    // Everything is written: the process ends here rather than free a big listing and the
    // header cache piece by piece, which only costs time.
    std::fflush(stdout);
    std::fflush(stderr);
    if (traceFile.isOpen())
        traceFile.close();
    std::_Exit(entries.isEmpty() && allFound ? kExitClean : kExitLogged);
}
