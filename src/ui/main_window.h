#pragma once
// The main window: the message list with its commands, the toolbar and menus, the status line,
// the tray icon and the schedule. Its run controller decides which run goes and what follows it;
// the window starts runs through it and shows their results. The work of a run (listing,
// deleting, counting the new messages) is the core's, on the run's worker thread.

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "engine/check_run.h"
#include "settings/sender_lists.h"
#include "ui/main_window_services.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace brevio {

class TErrorLog;
class TMailBoxList;
class TMessageListModel;
class TOAuthTokenKeeper;
class TPanel;
class TPopupNotifier;
class TIdleWatchers;
class TRunController;
class TTrayIcon;

struct TForm1Settings {
    QString SettingsFile;            // the settings file to load from and save to
    QString LangsFolder;             // folder of the language files
    bool StartHidden = false;        // the one-argument start: only the tray icon
    bool ReportSaveFailures = true;  // a failed save at exit opens a message box
};

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // `services` null: the program's own services on the settings file.
    explicit TForm1(TForm1Settings settings, std::unique_ptr<TWindowServices> services = nullptr,
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // Shows the window, or only the tray icon for a hidden start.
    void ShowAtStart();

    // Controls, under their component names.
    QToolBar* ToolBar1 = nullptr;
    QToolButton* btn3 = nullptr;
    QToolButton* btn5 = nullptr;
    QTreeView* ListView1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TPanel* pnlNoNewMeassages = nullptr;
    TPanel* pnlAbortInfo = nullptr;
    QMenu* pmCheckMailBox = nullptr;
    QMenu* pmTrayPopup = nullptr;
    TTrayIcon* TrayIcon1 = nullptr;
    TPopupNotifier* PopUp = nullptr;
    QTimer* tmrMailChecking = nullptr;

    QAction* actCheckMail = nullptr;
    QAction* actDelete = nullptr;
    QAction* actCheckAll = nullptr;
    QAction* actUnCheckAll = nullptr;
    QAction* actInvert = nullptr;
    QAction* actTickSpam = nullptr;
    QAction* actSenderLists = nullptr;
    QAction* actMailBoxList = nullptr;
    QAction* actOptions = nullptr;
    QAction* actRunEmailClient = nullptr;
    QAction* actShowStats = nullptr;
    QAction* actExit = nullptr;
    QAction* actHelpContents = nullptr;
    QAction* actOpenHomePage = nullptr;
    QAction* actAbout = nullptr;
    QAction* Restore1 = nullptr;
    QAction* Mimimize1 = nullptr;

    // Commands and handlers.
    void actCheckMailExecute();
    void CheckMailBoxClick(int mailBoxIndex);
    void tmrMailCheckingTimer();
    void actDeleteExecute();
    void actCheckAllExecute();
    void actUnCheckAllExecute();
    void actInvertExecute();
    // Ticks the suspected spam (see TSpamColumn::Suspected); deleting stays a step of its own.
    void actTickSpamExecute();
    // The dialog of the friends and spammers lists; OK saves them.
    void actSenderListsExecute();
    void ListView1DblClick();
    void ListView1Resize();
    void StatusBar1Click();
    void TrayIcon1Click();
    void Restore1Click();
    void Mimimize1Click();
    void PopupClick();
    void ApplyCheckOptions();
    void btn5Click();
    void actRunEmailClientExecute();
    void actHelpContentsExecute();
    // Opens a help topic; a topic that cannot be shown is reported on the status line.
    void ShowHelp(const QString& topic);
    void actOpenHomePageExecute();
    void actShowStatsExecute();
    void actAboutExecute();
    void actMailBoxListExecute();
    // What OK in the mailbox editor does: the window's list becomes `edited` (every mailbox with
    // a new id, so rows listed before can never be deleted in a mailbox that replaced theirs),
    // the message list is emptied and the list saved.
    // False when the list could not be saved (the window says why).
    bool ReplaceMailBoxes(const TMailBoxList& edited);
    void actOptionsExecute();

    // State for callers and tests.
    QString StatusText() const;
    void SetStatusText(const QString& text);
    bool RunInProgress() const;
    // The rows behind ListView1 and their ticks.
    TMessageListModel* Messages() const { return messages_; }
    const TMailBoxList& MailBoxes() const { return *mailBoxList_; }
    TErrorLog& Log() { return *log_; }
    // Ends a running run at once and waits for it (used when the window closes).
    void AbortRunAndWait();
    // The watchers of the inboxes marked "watch the inbox".
    TIdleWatchers* Watchers() const { return watchers_; }

    // The login prompt; tests replace it to answer without a dialog.
    using TLoginPrompt = std::function<bool(const QString& host, QString& user, QString& password)>;
    void SetLoginPrompt(TLoginPrompt prompt) { loginPrompt_ = std::move(prompt); }
    // A run's request for new credentials for `host`, on the UI thread: the login prompt, shown
    // modally. True when the user confirmed.
    bool WMAskLogin(const QString& host, QString& user, QString& password);

signals:
    // After every run has filled the list (and after a delete's follow-up check).
    void RunFinished();
    // A scheduled run found messages: the new-mail announcement.
    void NewMailAnnounced(const QString& title, const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void ConnectActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateListView();
    void CreatePanels();
    void CreateTray();
    void CreateStatusBar();
    // The schedule's timer and the watch for a modal dialog that holds a scheduled check back.
    void CreateTimers();
    // The run controller, its settings and hooks, and its signals.
    void CreateRunController();
    void FormCreate();
    void FormDestroy();
    void BuildCheckMenu();
    void LoadFormPlacement();
    void SaveFormPlacement();
    void LoadListViewColumns();
    void SaveListViewColumns();
    // The Spam column: its texts, the sender lists from the settings file, and whether it shows.
    void LoadSpamView();
    // A row's context menu: put its sender or domain on a list, or edit the lists.
    void ListView1ContextMenu(const QPoint& position);
    // Keeps `lists` in the settings file and draws the rows with them; a failed save is said on
    // the status line and the lists stay as they were.
    void StoreSenderLists(const TSenderLists& lists);
    void UpdateCommandStates();
    QString Text(texts::TTextId id) const;
    QString BaseCaption() const;

    // What the window shows when a run starts, as each mailbox's rows come, and when one has
    // ended with a list (once all its rows are in the list).
    void OnRunStarted(TRunKind kind);
    void OnMailBoxListed(int mailBoxIndex, const QList<TMessageRow>& rows);
    void OnRunEnded(TRunKind kind, const TRunResult& result);
    void OnRunAbandoned();
    void FinishRun();
    void ShowListed(qsizetype rows);
    // The panel's and the status line's hint on how to add a mailbox, when there is none.
    void ShowMailBoxHint();
    void KeepTrustedCertificates(const TRunResult& result);
    void ShowNewMailPopup(const QString& text, const QString& title);
    // Escape in this window; false when no run goes, so the key is left to the widgets.
    bool EscapePressed();
    // Space ticks or unticks the current row, whichever column holds the focus.
    void ToggleCurrentRow();
    // With the passwords in the secret store, moves any the settings file holds into it (a file
    // edited by hand or copied from another machine); a failure is said in a message.
    void MoveFilePasswordsToStore();
    // After passwords moved: the list takes over where each mailbox's password now is.
    void ReloadPasswordPlaces();
    // Says once per session, in a message that does not stop the window, that no secret store
    // could be reached.
    void ShowSecretStoreUnreachable(const QString& reason);
    // A message beside the window that the user closes; it never blocks the window.
    void ShowNote(const QString& text, const char* name);

    TForm1Settings settings_;
    std::unique_ptr<TWindowServices> services_;
    // The mailboxes' OAuth2 tokens, shared by the runs and the mailbox editor.
    std::shared_ptr<TOAuthTokenKeeper> tokens_;
    std::unique_ptr<TMailBoxList> mailBoxList_;
    std::unique_ptr<TErrorLog> log_;
    TRunController* runs_ = nullptr;
    TMessageListModel* messages_ = nullptr;
    // A run that has ended while its last rows were still going into the list.
    struct TRunEnd {
        TRunKind Kind;
        qsizetype Rows;
        int NewMessages;
    };
    std::optional<TRunEnd> runEnd_;
    QString noNewMessagesCaption_;  // the panel's text in the window's language
    // Where the window system puts the inside of the window relative to its frame, as last seen
    // while the window was shown un-maximized; none before that.
    QPoint frameOffset_;
    QLabel* statusText_ = nullptr;
    int spamColumnWidth_ = 0;  // the Spam column's width while it is hidden
    bool destroyed_ = false;
    bool secretStoreProblemShown_ = false;
    TLoginPrompt loginPrompt_;
    // A question of a run (login or certificate trust) is open, and the run waits for it.
    bool runPromptOpen_ = false;
    bool closeAfterRunPrompt_ = false;  // the window was closed while the prompt was open
    // Shows a question the run waits for; a close of the window meanwhile answers it as cancelled.
    bool AskForRun(const std::function<bool()>& ask);
    // A schedule tick came while a modal dialog was open: the check runs once it is closed.
    bool scheduledCheckWaiting_ = false;
    QTimer* modalDialogWatch_ = nullptr;
    void StartWaitingScheduledCheck();

    // Watching inboxes (main_window_watch.cpp): a watcher's change report asks for a check of
    // its mailbox; reports that come while a run goes lead to one check each mailbox after it.
    void CreateWatchers();
    void OnWatchedMailBoxChanged(quint64 mailBoxId);
    void StartPendingWatchedCheck();
    // A watched mailbox's check ended: its rows take the place of its old ones.
    void ShowWatchedRows(const TRunResult& result);
    // The tray tip: `caption` and a line for each watched mailbox with its watcher's state.
    void SetTrayHint(const QString& caption);
    void ShowWatchState();
    // The check menu's caption of the mailbox at `index`, with its watcher's state.
    QString WatchCaption(int index, const QString& caption) const;
    TIdleWatchers* watchers_ = nullptr;
    QList<quint64> watchedPending_;
    TRunKind runKind_ = TRunKind::CheckAll;
    QList<TMessageRow> watchedRows_;  // the rows of the watched check going
    QString trayCaption_;
};

}  // namespace brevio
