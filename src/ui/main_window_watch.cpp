// The main window's side of watching inboxes: the watchers follow the list of mailboxes, a
// change report becomes a check of that mailbox through the run controller (one more check
// after a run that is going, however many reports came meanwhile), its rows replace the
// mailbox's rows, and the tray tip and the check menu say which mailboxes are watched.
#include "ui/main_window.h"

#include <QApplication>
#include <QMenu>
#include <QNetworkInformation>
#include <QTimer>
#include <utility>

#include "components/panel.h"
#include "components/tray_icon.h"
#include "engine/mailbox_list.h"
#include "support/error_log.h"
#include "support/text_format.h"
#include "ui/idle_watchers.h"
#include "ui/message_list_model.h"
#include "ui/run_controller.h"

namespace brevio {

namespace {

// "%s (watched)" and the like, for the tray tip and the check menu.
texts::TTextId WatchStateText(TWatchState state)
{
    switch (state) {
    case TWatchState::Watching:
        return texts::WatchedConnected;
    case TWatchState::GaveUp:
        return texts::WatchedOnSchedule;
    default:
        return texts::WatchedNotConnected;
    }
}

}  // namespace

void TForm1::CreateWatchers()
{
    watchers_ = new TIdleWatchers(
        [this] {
            return TIdleWatchers::TSettings{services_->Strings(), services_->NetworkTimeoutSeconds(),
                                            services_->SecretStore()};
        },
        this);
    connect(watchers_, &TIdleWatchers::MailBoxChanged, this, &TForm1::OnWatchedMailBoxChanged);
    connect(watchers_, &TIdleWatchers::StateChanged, this, &TForm1::ShowWatchState);
    connect(watchers_, &TIdleWatchers::LogEntry, this, [this](const QString& text) { log_->Add(text); });
    connect(this, &TForm1::RunFinished, this, &TForm1::StartPendingWatchedCheck);
    // When the network comes back (after a suspend, say), a connection that looks open may be
    // long gone: every watcher connects again at once instead of waiting.
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, watchers_,
                [this](QNetworkInformation::Reachability reachability) {
                    if (reachability == QNetworkInformation::Reachability::Online)
                        watchers_->ReconnectAll();
                });
    }
    watchers_->Apply(*mailBoxList_);
}

void TForm1::OnWatchedMailBoxChanged(quint64 mailBoxId)
{
    if (!watchedPending_.contains(mailBoxId))
        watchedPending_.append(mailBoxId);
    StartPendingWatchedCheck();
}

void TForm1::StartPendingWatchedCheck()
{
    if (destroyed_ || watchedPending_.isEmpty() || RunInProgress())
        return;
    // Under a modal dialog (the mailbox editor may replace the list) the check waits for it.
    if (QApplication::activeModalWidget()) {
        if (!modalDialogWatch_->isActive())
            modalDialogWatch_->start();
        return;
    }
    while (!watchedPending_.isEmpty()) {
        const int index = mailBoxList_->IndexOfId(watchedPending_.takeFirst());
        if (index >= 0 && runs_->WatchedCheck(index))
            return;
    }
}

void TForm1::ShowWatchedRows(const TRunResult& result)
{
    const QList<TMessageRow> rows = std::exchange(watchedRows_, {});
    // A check that did not finish keeps the rows the list had: nothing shown is lost.
    const QList<quint64> finished = runs_->FinishedMailBoxIds(result);
    const int mailBoxIndex = finished.isEmpty() ? -1 : mailBoxList_->IndexOfId(finished.first());
    if (mailBoxIndex < 0)
        return;
    messages_->ReplaceMailBoxRows(finished.first(), mailBoxIndex, rows);
    pnlNoNewMeassages->setVisible(messages_->rowCount() == 0);
}

void TForm1::SetTrayHint(const QString& caption)
{
    trayCaption_ = caption;
    QString hint = caption;
    if (watchers_) {
        for (const TIdleWatchers::TStatus& status : watchers_->Status())
            hint += QLatin1Char('\n') + FormatText(Text(WatchStateText(status.State)), {status.Name});
    }
    TrayIcon1->SetHint(hint);
}

void TForm1::ShowWatchState()
{
    SetTrayHint(trayCaption_);
    BuildCheckMenu();
}

QString TForm1::WatchCaption(int index, const QString& caption) const
{
    if (!watchers_)
        return caption;
    const quint64 id = mailBoxList_->Id(index);
    for (const TIdleWatchers::TStatus& status : watchers_->Status()) {
        if (status.MailBoxId != id)
            continue;
        return FormatText(Text(WatchStateText(status.State)), {caption});
    }
    return caption;
}

}  // namespace brevio
