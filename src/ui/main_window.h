#pragma once
// The main window: the message list with its commands, the toolbar and menus, the status line,
// the tray icon and the schedule. It starts the runs of the check engine on a worker thread and
// shows their results; the decisions live in the core.

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "engine/check_run.h"
#include "ui/main_window_services.h"

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;

namespace brevio {

class TCheckRunner;
class TErrorLog;
class TMailBoxList;
class TPanel;
class TTrayIcon;

struct TForm1Settings {
    QString SettingsFile;   // the settings file to load from and save to
    QString LangsFolder;    // folder of the language files
    bool StartHidden = false;  // the one-argument start: only the tray icon
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
    QTreeWidget* ListView1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    TPanel* pnlNoNewMeassages = nullptr;
    TPanel* pnlAbortInfo = nullptr;
    QMenu* pmCheckMailBox = nullptr;
    QMenu* pmTrayPopup = nullptr;
    TTrayIcon* TrayIcon1 = nullptr;
    QTimer* tmrMailChecking = nullptr;

    QAction* actCheckMail = nullptr;
    QAction* actDelete = nullptr;
    QAction* actCheckAll = nullptr;
    QAction* actUnCheckAll = nullptr;
    QAction* actInvert = nullptr;
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
    void actOpenHomePageExecute();
    void actShowStatsExecute();
    void actAboutExecute();

    // State for callers and tests.
    QString StatusText() const;
    void SetStatusText(const QString& text);
    bool RunInProgress() const;
    const TMailBoxList& MailBoxes() const { return *mailBoxList_; }
    TErrorLog& Log() { return *log_; }
    // Ends a running run at once and waits for it (used when the window closes).
    void AbortRunAndWait();

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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class TPending { None, CheckAll, CheckOne, Scheduled, DeleteThenCheck };

    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateListView();
    void CreatePanels();
    void CreateTray();
    void FormCreate();
    void FormDestroy();
    void BuildCheckMenu();
    void LoadFormPlacement();
    void SaveFormPlacement();
    void LoadListViewColumns();
    void SaveListViewColumns();
    void UpdateCommandStates();
    QString Text(texts::TTextId id) const;
    QString BaseCaption() const;

    // The check-all run; the one that follows a deletion keeps the deletion's log entries.
    void StartCheckAll(bool clearLog);
    bool StartRun(TRunKind kind, bool scheduled, int mailBoxIndex, TPending pending, const QList<TMessageToDelete>& deletes = {});
    void OnRunFinished(const TRunResult& result);
    void FillMessageList(const QList<TMessageRow>& rows);
    void ClearRows();
    void ShowNewMailPopup(const QString& text, const QString& title);
    void EscapePressed();

    TForm1Settings settings_;
    std::unique_ptr<TWindowServices> services_;
    std::unique_ptr<TMailBoxList> mailBoxList_;
    std::unique_ptr<TErrorLog> log_;
    TCheckRunner* runner_ = nullptr;
    QLabel* statusText_ = nullptr;
    QList<TMessageRow> rows_;
    TPending pending_ = TPending::None;
    bool scheduledCheck_ = false;
    bool destroyed_ = false;
    // The mailbox editor and the options dialog are not built yet: their commands stay visible
    // but disabled until they exist.
    bool mailBoxEditorAvailable_ = false;
    bool optionsDialogAvailable_ = false;
    TLoginPrompt loginPrompt_;
    bool loginPromptOpen_ = false;
    bool closeAfterLoginPrompt_ = false;  // the window was closed while the prompt was open
};

}  // namespace brevio
