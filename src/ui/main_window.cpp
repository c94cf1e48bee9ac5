// The main window's composition: actions, menus, toolbar, message list, panels, status line
// and tray icon, each under its component name so language files can address it.
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QScrollBar>
#include <QStyle>
#include <QMoveEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <numeric>
#include <utility>

#include "components/hint_window.h"
#include "components/panel.h"
#include "components/popup_notifier.h"
#include "components/tray_icon.h"
#include "engine/mailbox_list.h"
#include "support/error_log.h"
#include "ui/certificate_prompt.h"
#include "ui/form_scale.h"
#include "ui/login_dialog.h"
#include "ui/main_window_services.h"
#include "ui/message_list_model.h"
#include "ui/oauth_sign_in.h"
#include "ui/run_controller.h"
#include "ui/window_keys.h"

namespace brevio {

namespace {

QIcon Picture(const char* name)
{
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

struct TActionSpec {
    QAction* TForm1::*Member;
    const char* Name;
    const char* Caption;
    const char* Hint;
    QKeySequence Shortcut;
    const char* Picture;  // nullptr: none
};

// The list's columns as designed for the 8-point font, scaled to the current one. The date and
// time columns are made wide enough for the longest date and time in the locale's formats, which
// may hold a month name or a time zone where the design counted on digits alone.
QList<int> DefaultColumnWidths(const QTreeView& view)
{
    const int design[TMessageListModel::ColumnCount] = {94, 92, 92, 92, 92, 50, 50, 50, 110};
    QList<int> widths;
    for (int width : design)
        widths.append(Scaled(&view, width));
    const QFontMetrics metrics = view.fontMetrics();
    const QLocale locale;
    const int padding =
        2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1) + metrics.averageCharWidth();
    auto fit = [&](int column, const QString& text) {
        widths[column] = std::max(widths[column], metrics.horizontalAdvance(text) + padding);
    };
    for (int month = 1; month <= 12; ++month)
        fit(TMessageListModel::ColDate, locale.toString(QDate(2026, month, 28), QLocale::ShortFormat));
    for (const QTime& time : {QTime(23, 58, 58), QTime(10, 58, 58)})
        fit(TMessageListModel::ColTime, locale.toString(time, QLocale::LongFormat));
    return widths;
}

}  // namespace

TForm1::TForm1(TForm1Settings settings, std::unique_ptr<TWindowServices> services, QWidget* parent)
    : QMainWindow(parent), settings_(std::move(settings)), services_(std::move(services)),
      mailBoxList_(std::make_unique<TMailBoxList>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(Picture("brevio"));
    resize(Scaled(this, 672), Scaled(this, 375));
    move(192, 205);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateListView();
    CreatePanels();
    CreateStatusBar();
    CreateTimers();
    CreateTray();

    // Escape ends the current mailbox's check wherever the focus is in this window; the keypad's
    // star inverts the ticks.
    new TWindowKeys(
        this, [this] { return EscapePressed(); }, actInvert);

    // Refresh tokens live in the secret store whether or not the passwords do (FormCreate gives it).
    tokens_ = std::make_shared<TOAuthTokenKeeper>(nullptr);
    CreateRunController();
    FormCreate();
    CreateWatchers();
    UpdateCommandStates();
}

TForm1::~TForm1()
{
    FormDestroy();
}

void TForm1::CreateStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    statusText_ = new QLabel(StatusBar1);
    statusText_->setObjectName(QStringLiteral("StatusBar1Text"));
    statusText_->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(statusText_, 1);
    StatusBar1->installEventFilter(this);
    setStatusBar(StatusBar1);
}

void TForm1::CreateTimers()
{
    tmrMailChecking = new QTimer(this);
    tmrMailChecking->setObjectName(QStringLiteral("tmrMailChecking"));
    connect(tmrMailChecking, &QTimer::timeout, this, &TForm1::tmrMailCheckingTimer);
    // While a scheduled check waits for a modal dialog to close, this looks whether it has.
    modalDialogWatch_ = new QTimer(this);
    modalDialogWatch_->setInterval(250);
    connect(modalDialogWatch_, &QTimer::timeout, this, [this] {
        if (QApplication::activeModalWidget())
            return;
        modalDialogWatch_->stop();
        if (std::exchange(scheduledCheckWaiting_, false))
            tmrMailCheckingTimer();
        StartPendingWatchedCheck();
    });
}

void TForm1::CreateRunController()
{
    runs_ = new TRunController(
        *mailBoxList_,
        [this] {
            return TRunController::TRunSettings{services_->Strings(), services_->NetworkTimeoutSeconds(),
                                                services_->Pipelining(), services_->HeaderCache(),
                                                services_->SecretStore()};
        },
        TRunHooks{
            [this](const QString& host, QString& user, QString& password) { return WMAskLogin(host, user, password); },
            [this](const TCertificateInfo& certificate) {
                return AskForRun([&] { return AskTrustCertificate(this, certificate); });
            },
            [this](const TMailBoxSettings& box) {
                TTokenReply reply;
                AskForRun([&] { return (reply = SignInAndWait(box, services_->Strings())).Granted(); });
                return reply;
            },
            tokens_,
        },
        this);
    connect(runs_, &TRunController::CertificatesTrusted, this, &TForm1::KeepTrustedCertificates);
    connect(runs_, &TRunController::StatusText, this, &TForm1::SetStatusText);
    connect(runs_, &TRunController::LogEntry, this, [this](const QString& text) { log_->Add(text); });
    connect(runs_, &TRunController::SecretStoreUnreachable, this, &TForm1::ShowSecretStoreUnreachable);
    connect(runs_, &TRunController::RunStarted, this, &TForm1::OnRunStarted);
    connect(runs_, &TRunController::MailBoxListed, this, &TForm1::OnMailBoxListed);
    connect(runs_, &TRunController::RunEnded, this, &TForm1::OnRunEnded);
    connect(runs_, &TRunController::RunAbandoned, this, &TForm1::OnRunAbandoned);
    connect(messages_, &TMessageListModel::Filled, this, &TForm1::FinishRun);
}

void TForm1::CreateActions()
{
    const TActionSpec specs[] = {
        {&TForm1::actCheckMail, "actCheckMail", "Check New Mail", "Check new mail", QKeySequence(Qt::Key_F9),
         "check_mail"},
        {&TForm1::actDelete, "actDelete", "Delete", "Delete selected messages from server",
         QKeySequence(Qt::Key_Delete), "delete"},
        {&TForm1::actCheckAll, "actCheckAll", "Select All", "Check all messages", QKeySequence(Qt::CTRL | Qt::Key_A),
         "select_all"},
        {&TForm1::actUnCheckAll, "actUnCheckAll", "UnSelect All", "UnCheck all messages",
         QKeySequence(Qt::CTRL | Qt::Key_U), "unselect_all"},
        {&TForm1::actInvert, "actInvert", "Invert Selection", "Invert selection",
         QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk), "invert"},
        {&TForm1::actTickSpam, "actTickSpam", "Tick Suspected Spam", "Tick suspected spam",
         QKeySequence(Qt::CTRL | Qt::Key_M), "tick_spam"},
        {&TForm1::actSenderLists, "actSenderLists", "Friends and Spammers…", "", QKeySequence(), nullptr},
        {&TForm1::actMailBoxList, "actMailBoxList", "Arrange Mailboxes…", "Arrange Mailboxes",
         QKeySequence(Qt::CTRL | Qt::Key_L), "mailboxes"},
        {&TForm1::actOptions, "actOptions", "Options…", "Options", QKeySequence(Qt::CTRL | Qt::Key_O), "options"},
        {&TForm1::actRunEmailClient, "actRunEmailClient", "Run Email Client", "Run Email Client",
         QKeySequence(Qt::Key_F5), "email_client"},
        {&TForm1::actShowStats, "actShowStats", "Usage statistics", "", QKeySequence(), "stats"},
        {&TForm1::actExit, "actExit", "Exit", "", QKeySequence(), nullptr},
        {&TForm1::actHelpContents, "actHelpContents", "Introduction", "", QKeySequence(Qt::Key_F1), nullptr},
        {&TForm1::actOpenHomePage, "actOpenHomePage", "Homepage", "", QKeySequence(), nullptr},
        {&TForm1::actAbout, "actAbout", "About", "", QKeySequence(), nullptr},
    };
    for (const TActionSpec& spec : specs) {
        auto* action = new QAction(QString::fromUtf8(spec.Caption), this);
        action->setObjectName(QLatin1String(spec.Name));
        action->setToolTip(QString::fromUtf8(spec.Hint));
        action->setStatusTip(QString::fromUtf8(spec.Hint));
        action->setShortcut(spec.Shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        if (spec.Picture)
            action->setIcon(Picture(spec.Picture));
        this->*spec.Member = action;
        addAction(action);
    }
    ConnectActions();

    Restore1 = new QAction(QStringLiteral("Restore"), this);
    Restore1->setObjectName(QStringLiteral("Restore1"));
    connect(Restore1, &QAction::triggered, this, &TForm1::Restore1Click);
    Mimimize1 = new QAction(QStringLiteral("Mimimize"), this);
    Mimimize1->setObjectName(QStringLiteral("Mimimize1"));
    connect(Mimimize1, &QAction::triggered, this, &TForm1::Mimimize1Click);
}

// Each action to what it does.
void TForm1::ConnectActions()
{
    connect(actCheckMail, &QAction::triggered, this, &TForm1::actCheckMailExecute);
    connect(actDelete, &QAction::triggered, this, &TForm1::actDeleteExecute);
    connect(actCheckAll, &QAction::triggered, this, &TForm1::actCheckAllExecute);
    connect(actUnCheckAll, &QAction::triggered, this, &TForm1::actUnCheckAllExecute);
    connect(actInvert, &QAction::triggered, this, &TForm1::actInvertExecute);
    connect(actTickSpam, &QAction::triggered, this, &TForm1::actTickSpamExecute);
    connect(actSenderLists, &QAction::triggered, this, &TForm1::actSenderListsExecute);
    connect(actRunEmailClient, &QAction::triggered, this, &TForm1::actRunEmailClientExecute);
    connect(actMailBoxList, &QAction::triggered, this, &TForm1::actMailBoxListExecute);
    connect(actOptions, &QAction::triggered, this, &TForm1::actOptionsExecute);
    connect(actHelpContents, &QAction::triggered, this, &TForm1::actHelpContentsExecute);
    connect(actOpenHomePage, &QAction::triggered, this, &TForm1::actOpenHomePageExecute);
    connect(actAbout, &QAction::triggered, this, &TForm1::actAboutExecute);
    connect(actShowStats, &QAction::triggered, this, &TForm1::actShowStatsExecute);
    connect(actExit, &QAction::triggered, this, &QWidget::close);
}

void TForm1::CreateMenus()
{
    QMenuBar* MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = MainMenu1->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File1"));
    file->addActions({actCheckMail, actDelete});
    file->addSeparator();
    file->addActions({actMailBoxList, actOptions});
    file->addSeparator();
    file->addActions({actRunEmailClient, actShowStats});
    file->addSeparator();
    file->addAction(actExit);
    QMenu* edit = MainMenu1->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QStringLiteral("Edit1"));
    edit->addActions({actCheckAll, actUnCheckAll});
    edit->addSeparator();
    edit->addAction(actInvert);
    edit->addSeparator();
    edit->addActions({actTickSpam, actSenderLists});
    QMenu* help = MainMenu1->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    help->addAction(actHelpContents);
    help->addSeparator();
    help->addAction(actOpenHomePage);
    help->addSeparator();
    help->addAction(actAbout);

    pmTrayPopup = new QMenu(this);
    pmTrayPopup->setObjectName(QStringLiteral("pmTrayPopup"));
    pmTrayPopup->addAction(actAbout);
    pmTrayPopup->addSeparator();
    pmTrayPopup->addActions({Restore1, Mimimize1});
    pmTrayPopup->addSeparator();
    pmTrayPopup->addAction(actExit);

    pmCheckMailBox = new QMenu(this);
    pmCheckMailBox->setObjectName(QStringLiteral("pmCheckMailBox"));
}

void TForm1::CreateToolBar()
{
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setContextMenuPolicy(Qt::PreventContextMenu);
    // The toolbar is fixed: no menu offers to hide it (the window's own menu would, by its name).
    ToolBar1->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    auto place = [this](QAction* action, const char* name) {
        ToolBar1->addAction(action);
        if (QWidget* button = ToolBar1->widgetForAction(action))
            button->setObjectName(QLatin1String(name));
        return qobject_cast<QToolButton*>(ToolBar1->widgetForAction(action));
    };
    btn3 = place(actCheckMail, "btn3");
    btn5 = new QToolButton(ToolBar1);
    btn5->setObjectName(QStringLiteral("btn5"));
    btn5->setArrowType(Qt::DownArrow);
    btn5->setAutoRaise(true);
    btn5->setFixedWidth(13);
    btn5->setToolTip(QStringLiteral("Check one mailbox"));
    connect(btn5, &QToolButton::clicked, this, &TForm1::btn5Click);
    ToolBar1->addWidget(btn5)->setObjectName(QStringLiteral("btn5Action"));
    ToolBar1->addSeparator();
    place(actRunEmailClient, "btn1");
    ToolBar1->addSeparator();
    place(actCheckAll, "ToolButton1");
    place(actUnCheckAll, "ToolButton2");
    place(actInvert, "ToolButton3");
    place(actTickSpam, "ToolButton11");
    ToolBar1->addSeparator();
    place(actDelete, "ToolButton8");
    ToolBar1->addSeparator();
    place(actMailBoxList, "ToolButton4");
    place(actOptions, "ToolButton10");
    place(actShowStats, "btnShowStats");
}

void TForm1::CreateListView()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    ListView1 = new QTreeView(central);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    messages_ = new TMessageListModel(this);
    ListView1->setModel(messages_);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSortingEnabled(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setExpandsOnDoubleClick(false);
    // Widths stored at the last exit replace these at start-up.
    const QList<int> widths = DefaultColumnWidths(*ListView1);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    for (int i = 0; i < TMessageListModel::ColumnCount; ++i)
        ListView1->setColumnWidth(i, widths[i]);
    // The window is at least wide enough to show every column beside a vertical scroll bar.
    const int listWidth = std::accumulate(widths.begin(), widths.end(), 0)
        + ListView1->verticalScrollBar()->sizeHint().width() + 2 * ListView1->frameWidth();
    if (width() < listWidth)
        resize(listWidth, height());
    connect(ListView1, &QTreeView::doubleClicked, this, [this] { ListView1DblClick(); });
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QTreeView::customContextMenuRequested, this, &TForm1::ListView1ContextMenu);
    ListView1->installEventFilter(this);
    layout->addWidget(ListView1);
    setCentralWidget(central);
}

void TForm1::CreatePanels()
{
    QWidget* central = centralWidget();
    pnlNoNewMeassages = new TPanel(QStringLiteral("No new meassages"), Qt::AlignCenter, central);
    pnlNoNewMeassages->setObjectName(QStringLiteral("pnlNoNewMeassages"));
    pnlNoNewMeassages->SetDesignSize(QSize(Scaled(this, 185), Scaled(this, 41)));
    pnlNoNewMeassages->hide();

    pnlAbortInfo = new TPanel(QStringLiteral("Press"), Qt::AlignLeft, central);
    pnlAbortInfo->setObjectName(QStringLiteral("pnlAbortInfo"));
    auto* imgEscape = new QLabel(pnlAbortInfo);
    imgEscape->setObjectName(QStringLiteral("imgEscape"));
    imgEscape->setPixmap(Picture("escape_key").pixmap(QSize(32, 22)));
    pnlAbortInfo->AddControl(imgEscape);
    auto* lblToAbort = new QLabel(QStringLiteral("to abort"), pnlAbortInfo);
    lblToAbort->setObjectName(QStringLiteral("lblToAbort"));
    pnlAbortInfo->AddControl(lblToAbort);
    pnlAbortInfo->SetDesignSize(QSize(Scaled(this, 129), Scaled(this, 33)));
    pnlAbortInfo->hide();
    ListView1Resize();
}

void TForm1::CreateTray()
{
    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->SetIcon(Picture("brevio"));
    TrayIcon1->SetShowHint(true);
    TrayIcon1->SetPopupMenu(pmTrayPopup);
    TrayIcon1->SetMinimizeToTray(true);
    connect(TrayIcon1, &TTrayIcon::OnClick, this, &TForm1::TrayIcon1Click);
    connect(TrayIcon1, &TTrayIcon::OnMessageClick, this, &TForm1::PopupClick);
    // A tray host that starts after Brevio gets the icon then, and the notice that there was no
    // tray goes.
    connect(TrayIcon1, &TTrayIcon::TrayAppeared, this, [this] {
        if (StatusText() == Text(texts::NoSystemTray))
            SetStatusText(QString());
    });
    TrayIcon1->SetIconVisible(true);
    TrayIcon1->Loaded();

    // The new-mail notification slides up beside the taskbar; a click on it restores the window.
    PopUp = new TPopupNotifier(this);
    connect(PopUp, &TPopupNotifier::OnClick, this, [this] { PopupClick(); });
    // Toolbar hints show the command's shortcut as a picture.
    new THintController(DefaultPictureFolders(), this);
}

void TForm1::ListView1Resize()
{
    // Both panels stay centred over the list; halves rounded toward zero.
    const QRect list = ListView1->geometry();
    for (TPanel* panel : {pnlNoNewMeassages, pnlAbortInfo}) {
        if (!panel)
            continue;
        panel->move(list.left() + (list.width() - panel->width()) / 2,
                    list.top() + (list.height() - panel->height()) / 2);
        panel->raise();
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        ListView1Resize();
    if (watched == ListView1 && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space
        && static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        // The view would hand Space to the focused cell, which holds a tick only in the first
        // column.
        ToggleCurrentRow();
        return true;
    }
    if (watched == StatusBar1 && event->type() == QEvent::MouseButtonRelease)
        StatusBar1Click();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayIcon1->MinimizeToTray()) {
        // Hide after the state change has been handled by the window system.
        QTimer::singleShot(0, this, [this] {
            if (!isMinimized())
                return;
            if (!TrayIcon1->TrayAvailable()) {
                SetStatusText(Text(texts::NoSystemTray));
                return;
            }
            TrayIcon1->HandleMinimized();
        });
    }
}

void TForm1::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    if (isVisible() && !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        frameOffset_ = geometry().topLeft() - pos();
}

QString TForm1::StatusText() const
{
    return statusText_->text();
}

void TForm1::SetStatusText(const QString& text)
{
    statusText_->setText(text);
}

// A run counts as going until the last of its rows is in the list.
bool TForm1::RunInProgress() const
{
    return (runs_ && runs_->IsRunning()) || (messages_ && messages_->IsFilling());
}

void TForm1::UpdateCommandStates()
{
    // While a run goes, the worker owns the mailbox list: nothing may start another run,
    // delete, or change the mailboxes or the options it reads.
    const bool idle = !RunInProgress();
    actCheckMail->setEnabled(idle);
    btn5->setEnabled(idle);
    pmCheckMailBox->setEnabled(idle);
    actDelete->setEnabled(idle);
    actMailBoxList->setEnabled(idle);
    actOptions->setEnabled(idle);
}

void TForm1::btn5Click()
{
    pmCheckMailBox->popup(btn5->mapToGlobal(QPoint(0, btn5->height())));
}

void TForm1::TrayIcon1Click()
{
    if (isVisible() && !isMinimized())
        Mimimize1Click();
    else
        Restore1Click();
}

void TForm1::Restore1Click()
{
    // Shows the window un-minimised (a maximised window stays maximised) and brings it forward.
    TrayIcon1->RestoreMainWindow();
    raise();
    activateWindow();
}

void TForm1::Mimimize1Click()
{
    if (!TrayIcon1->HideMainWindow())
        SetStatusText(Text(texts::NoSystemTray));
}

void TForm1::PopupClick()
{
    Restore1Click();
}

void TForm1::ShowAtStart()
{
    if (!settings_.StartHidden) {
        show();
        return;
    }
    TrayIcon1->SetIconVisible(true);
    if (!TrayIcon1->HideMainWindow())
        SetStatusText(Text(texts::NoSystemTray));
}

bool TForm1::WMAskLogin(const QString& host, QString& user, QString& password)
{
    return AskForRun([&] {
        return loginPrompt_ ? loginPrompt_(host, user, password) : ShowLoginPrompt(this, host, user, password);
    });
}

bool TForm1::AskForRun(const std::function<bool()>& ask)
{
    runPromptOpen_ = true;
    const bool answer = ask();
    runPromptOpen_ = false;
    if (closeAfterRunPrompt_) {
        closeAfterRunPrompt_ = false;
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return false;
    }
    return answer;
}

}  // namespace brevio
