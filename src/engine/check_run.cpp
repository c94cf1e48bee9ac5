#include "engine/check_run.h"

#include "engine/mailbox_list.h"
#include "engine/mailbox_session.h"
#include "imap/imap_folder_name.h"
#include "mime/header_date.h"
#include "support/abort_signal.h"
#include "engine/check_context.h"

#include <algorithm>

namespace brevio {

QList<int> MailBoxesOfRun(const QList<TMailBoxSettings>& mailBoxes, TRunKind kind, int mailBoxIndex)
{
    QList<int> indexes;
    for (int i = 0; i < mailBoxes.size(); ++i) {
        const TMailBoxSettings& box = mailBoxes.at(i);
        switch (kind) {
        case TRunKind::CheckAll:
            if (!box.IgnoreCheckAllCommand)
                indexes.append(i);
            break;
        case TRunKind::Scheduled:
            if (!box.IgnoreCheckOnSchedule)
                indexes.append(i);
            break;
        case TRunKind::CheckOne:
        case TRunKind::Watched:
            if (i == mailBoxIndex)
                indexes.append(i);
            break;
        case TRunKind::DeleteMarked:
            indexes.append(i);
            break;
        }
    }
    return indexes;
}

namespace {

// An abort request (Escape) ends one mailbox only: the next one starts with a clean slate.
void StartNextMailBox(TCheckContext& context)
{
    if (TAbortSignal* abort = context.AbortSignal())
        abort->Reset();
}

void NoteTrust(QList<TTrustedCertificate>* trusted, int index, const TMailBoxSettings& box, const QString& fingerprint)
{
    if (trusted && !fingerprint.isEmpty())
        trusted->append({index, box.Host, box.UserName, fingerprint});
}

}  // namespace

void CheckMailBoxes(const QList<TMailBoxSettings>& mailBoxes, const QList<int>& indexes, TCheckContext& context,
                    const TMailBoxFoundCallback& onMailBox, const TTransportFactory& factory,
                    QList<TTrustedCertificate>* trusted, QList<int>* unfinished, const TListingCallbacks& onListing)
{
    QList<int> ordered = indexes;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    for (int index : std::as_const(ordered)) {
        if (index < 0 || index >= mailBoxes.size())
            continue;
        StartNextMailBox(context);
        QString fingerprint;
        bool complete = false;
        if (onListing.Listed) {
            TExpectedCallback expected;
            if (onListing.Expected) {
                expected = [&onListing, index](const QList<TFoundMessage>& messages, qsizetype place,
                                               const std::function<bool()>& answered) {
                    onListing.Expected(index, messages, place, answered);
                };
            }
            context.SetListed([&onListing, index](const QList<TFoundMessage>& found,
                                                  bool asExpected) { onListing.Listed(index, found, asExpected); },
                              std::move(expected));
        }
        QList<TFoundMessage> found = CheckMailBox(mailBoxes.at(index), context, factory, &fingerprint, &complete);
        context.SetListed({});
        NoteTrust(trusted, index, mailBoxes.at(index), fingerprint);
        if (unfinished && !complete)
            unfinished->append(index);
        if (onMailBox)
            onMailBox(index, found);
    }
}

TRunResult ExecuteRun(const TRunRequest& request, TCheckContext& context, const TTransportFactory& factory,
                      const TMailBoxRowsCallback& onMailBoxRows)
{
    TRunResult result;
    result.Kind = request.Kind;
    if (request.Kind == TRunKind::DeleteMarked) {
        for (int index = 0; index < request.MailBoxes.size(); ++index) {
            QList<TMessageIdentity> messages;
            for (const TMessageToDelete& message : request.Deletes) {
                if (message.MailBoxIndex == index)
                    messages.append(message.Id);
            }
            if (messages.isEmpty())
                continue;
            StartNextMailBox(context);
            QString fingerprint;
            DeleteMessages(request.MailBoxes.at(index), messages, context, factory, &fingerprint);
            NoteTrust(&result.TrustedCertificates, index, request.MailBoxes.at(index), fingerprint);
        }
        return result;
    }
    const QList<int> indexes = MailBoxesOfRun(request.MailBoxes, request.Kind, request.MailBoxIndex);
    // Each mailbox's rows are kept as they were handed on, shared rather than copied, so a big
    // mailbox's rows are held once; they are joined at the end. A list handed to another thread
    // is only read here afterwards, never grown in place.
    QList<QList<TMessageRow>> parts;
    CheckMailBoxes(
        request.MailBoxes, indexes, context,
        [&](int index, QList<TFoundMessage>& found) {
            QList<TMessageRow> rows = BuildMailBoxRows(index, request.MailBoxes.at(index), found);
            found = {};
            if (const quint64 id = request.MailBoxIds.value(index); id != 0)
                for (TMessageRow& row : rows)
                    row.MailBoxId = id;
            if (onMailBoxRows)
                onMailBoxRows(index, rows);
            parts.append(std::move(rows));
        },
        factory, &result.TrustedCertificates, &result.UnfinishedMailBoxes);
    if (parts.size() == 1) {
        result.Rows = parts.constFirst();
    } else {
        qsizetype count = 0;
        for (const QList<TMessageRow>& part : std::as_const(parts))
            count += part.size();
        result.Rows.reserve(count);
        for (const QList<TMessageRow>& part : std::as_const(parts))
            result.Rows += part;
    }
    return result;
}

namespace {

// The locale's long time format with each unquoted zone field ('t') replaced by the quoted text
// Qt puts there for a bare time: the current zone's abbreviation, the same for every row. Qt
// would find it anew for every row, with two zone-file lookups.
QString LongTimeFormat(const QLocale& locale)
{
    const QString zone = locale.toString(QTime(0, 0), QStringLiteral("t"));
    const QString quotedZone = u'\'' + QString(zone).replace(u'\'', QStringLiteral("''")) + u'\'';
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString fixed;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (c == u't' && !quoted)
            fixed += quotedZone;
        else
            fixed += c;
    }
    return fixed.isEmpty() ? format : fixed;
}

}  // namespace

TMessageRowTexts::TMessageRowTexts(const QLocale& locale) : locale_(locale), timeFormat_(LongTimeFormat(locale))
{
}

QString TMessageRowTexts::Date(const TMessageRow& row) const
{
    if (!row.Date.isValid())
        return {};
    const QDate date = LocalDateAndTime(row.Date).Date;
    if (date != lastDate_) {
        lastDate_ = date;
        lastDateText_ = locale_.toString(date, QLocale::ShortFormat);
    }
    return lastDateText_;
}

QString TMessageRowTexts::Time(const TMessageRow& row) const
{
    if (!row.Date.isValid())
        return {};
    return locale_.toString(LocalDateAndTime(row.Date).Time, timeFormat_);
}

QList<TMessageRow> BuildMailBoxRows(int mailBoxIndex, const TMailBoxSettings& mailBox,
                                    const QList<TFoundMessage>& found)
{
    TMessageRowBuilder builder;
    QList<TMessageRow> rows;
    rows.reserve(found.size());
    for (qsizetype m = 0; m < found.size(); ++m)
        rows.append(builder.Build(mailBoxIndex, mailBox, found.at(m), m));
    return rows;
}

TMessageRow TMessageRowBuilder::Build(int mailBoxIndex, const TMailBoxSettings& mailBox, const TFoundMessage& found,
                                      qsizetype position)
{
    const TListedHeader& message = found.Message;
    TMessageRow row;
    row.MailBoxIndex = mailBoxIndex;
    row.Number = qint32(position + 1);
    row.Id = found.Id();
    row.Subject = message.Subject;
    row.From = message.From.Text();
    row.FromAddress = message.From.Address;
    row.Spam = message.Spam;
    row.MailBox = mailBox.Name;
    row.Size = message.Size;
    row.Date = message.Date;
    row.Folder = FolderText(found);
    return row;
}

const QString& TMessageRowBuilder::FolderText(const TFoundMessage& found)
{
    const QByteArray& folder = found.Message.Folder;
    if (!folderKnown_ || folder != lastFolder_ || found.FolderEncoding != lastEncoding_) {
        folderKnown_ = true;
        lastFolder_ = folder;
        lastEncoding_ = found.FolderEncoding;
        lastFolderText_ = DecodeImapFolderName(folder, found.FolderEncoding);
    }
    return lastFolderText_;
}

bool StoreTrustedCertificates(TMailBoxList& list, const TRunResult& result)
{
    bool changed = false;
    for (const TTrustedCertificate& trusted : result.TrustedCertificates) {
        if (trusted.MailBoxIndex < 0 || trusted.MailBoxIndex >= list.Count())
            continue;
        TMailBox* box = list.Items(trusted.MailBoxIndex);
        if (box->Host != trusted.Host || box->UserName != trusted.UserName)
            continue;
        changed = changed || box->CertFingerprint != trusted.Fingerprint;
        box->CertFingerprint = trusted.Fingerprint;
    }
    return changed;
}

}  // namespace brevio
