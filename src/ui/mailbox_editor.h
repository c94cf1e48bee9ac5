#pragma once
// The dialog in which the user adds, removes, copies and edits the configured mailboxes. It works
// on a copy of the program's list: every keystroke changes the selected mailbox of the copy at
// once, and only OK hands the copy back. Its "Test" button tries the edited settings against the
// server on a worker thread, without changing any list.

#include <QDialog>
#include <QPointer>
#include <memory>

#include "engine/mailbox_list.h"
#include "support/string_table.h"
#include "ui/help_topic.h"
#include "ui/oauth_sign_in.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QThread;
class QToolBar;
class QTreeWidget;
class QVBoxLayout;
class QWidget;

namespace brevio {

class TAbortSignal;
class TSecretStore;
class TOAuthTokenKeeper;
class TFooter;
class TFooterBtn;
struct TProbeResult;

class TfrmMailBoxes : public QDialog {
    Q_OBJECT
    // Texts the dialog composes; the language file's section sets them like any caption.
    Q_PROPERTY(QString PortInvalidText MEMBER PortInvalidText)
    Q_PROPERTY(QString TestRunningText MEMBER TestRunningText)
    Q_PROPERTY(QString TestWorksOneText MEMBER TestWorksOneText)
    Q_PROPERTY(QString TestWorksText MEMBER TestWorksText)
    Q_PROPERTY(QString TestLoginRefusedText MEMBER TestLoginRefusedText)
    Q_PROPERTY(QString TestStoppedText MEMBER TestStoppedText)
    Q_PROPERTY(QString TestFailedText MEMBER TestFailedText)
    Q_PROPERTY(QString TestCertificateText MEMBER TestCertificateText)
    Q_PROPERTY(QString TestNoIdleText MEMBER TestNoIdleText)
    Q_PROPERTY(QString SecretsNotReadText MEMBER SecretsNotReadText)
    Q_PROPERTY(QString SecretsNotSavedText MEMBER SecretsNotSavedText)
public:
    // Copies `source` into the working copy; `strings` gives the name of new mailboxes; `help`
    // opens the help topic (ShowHelpTopic unless a test watches it).
    TfrmMailBoxes(const TMailBoxList& source, const TStringTable& strings, QWidget* parent = nullptr,
                  THelpLauncher help = ShowHelpTopic);
    ~TfrmMailBoxes() override;

    // Shows the dialog modally; on OK replaces `list` by the working copy and returns true. On
    // Cancel `list` stays exactly as it was.
    bool Execute(TMailBoxList& list);

    // The edited list (hand it to TMailBoxList::Assign after OK).
    const TMailBoxList& WorkingCopy() const { return working_; }

    // The index of the selected mailbox in the working copy; -1 when none is selected.
    int SelectedIndex() const;
    void SelectRow(int index);

    // Keeps the passwords in `store` (the option FUseSecretStore): the passwords of the working
    // copy are read from it now, and OK writes the changed ones back, reading each back, before
    // the dialog closes; a failure keeps the dialog open and says why. Cancel writes nothing.
    void SetSecretStore(std::shared_ptr<TSecretStore> store);
    // After OK with a store: the secrets of mailboxes that are gone or renamed. The caller removes
    // them once the list is saved.
    const QStringList& StaleSecretKeys() const { return staleKeys_; }

    // Where "Sign in…" keeps the tokens it gets, and how it opens the browser
    // (mailbox_editor_oauth.cpp). Without a keeper the button stays disabled.
    void SetTokenKeeper(std::shared_ptr<TOAuthTokenKeeper> keeper, TBrowserOpener browser = OpenInSystemBrowser);

    // Seconds the "Test" connection may wait on the network.
    void SetTestTimeout(int seconds) { testTimeout_ = seconds; }
    bool TestRunning() const;

    // Refuses OK while a port is missing or out of range.
    void done(int result) override;
    // The standard port of a protocol and security (110, 995, 143, 993), shown in an empty port
    // field: switching the protocol never writes a port, so the user types the one the server uses.
    static int StandardPort(TMailProtocol protocol, TSecurity security);

    QWidget* Panel1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QAction* actNewMailBox = nullptr;
    QAction* actDelete = nullptr;
    QAction* actCopy = nullptr;
    QAction* act1 = nullptr;  // F1
    QTreeWidget* ListView1 = nullptr;
    QLabel* lblName = nullptr;
    QLineEdit* edtName = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edtHost = nullptr;
    QLabel* lblPort = nullptr;
    QLineEdit* edtPort = nullptr;
    QLabel* lblPortStatus = nullptr;
    QGroupBox* grpProtocol = nullptr;
    QRadioButton* rbPop3 = nullptr;
    QRadioButton* rbIMAP4 = nullptr;
    QLabel* lblSecurity = nullptr;
    QComboBox* cbSecurity = nullptr;
    QLabel* lblUserName = nullptr;
    QLineEdit* edtUserName = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* edtPassword = nullptr;
    QCheckBox* chkIgnorCheckAllCommand = nullptr;
    QCheckBox* chkIgnoreCheckOnIgnoreSchedule = nullptr;
    QCheckBox* chkIdle = nullptr;  // IMAP4 only
    QLabel* lblCertificate = nullptr;
    QLineEdit* edtCertFingerprint = nullptr;
    QPushButton* btnForgetCertificate = nullptr;
    QGroupBox* grpSignIn = nullptr;
    QLabel* lblSignIn = nullptr;
    QComboBox* cbSignIn = nullptr;  // Password, OAuth2
    QLabel* lblOAuthProvider = nullptr;
    QComboBox* cbOAuthProvider = nullptr;  // Custom, Google, Microsoft
    QLabel* lblOAuthClientId = nullptr;
    QLineEdit* edtOAuthClientId = nullptr;
    QLabel* lblOAuthClientSecret = nullptr;
    QLineEdit* edtOAuthClientSecret = nullptr;
    QLabel* lblOAuthAuthorizationUrl = nullptr;
    QLineEdit* edtOAuthAuthorizationUrl = nullptr;
    QLabel* lblOAuthTokenUrl = nullptr;
    QLineEdit* edtOAuthTokenUrl = nullptr;
    QLabel* lblOAuthScope = nullptr;
    QLineEdit* edtOAuthScope = nullptr;
    QPushButton* btnSignIn = nullptr;
    QLabel* lblSignInStatus = nullptr;
    QPushButton* btnTest = nullptr;
    QLabel* lblTestResult = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* FooterBtn1 = nullptr;  // OK
    TFooterBtn* FooterBtn2 = nullptr;  // Cancel
    TFooterBtn* FooterBtn3 = nullptr;  // Help

    QString PortInvalidText = QStringLiteral("Port must be 1–65535");
    QString TestRunningText = QStringLiteral("Testing…");
    QString TestWorksOneText = QStringLiteral("Works: 1 message in the inbox.");
    QString TestWorksText = QStringLiteral("Works: %d messages in the inbox.");                 // the count
    QString TestLoginRefusedText = QStringLiteral("Connected, but the login was refused: %s");  // the server's words
    QString TestStoppedText = QStringLiteral("Test stopped.");
    QString TestFailedText = QStringLiteral("Failed: %s");  // what failed
    QString TestCertificateText = QStringLiteral("A check asks whether to trust this certificate.");
    QString TestNoIdleText = QStringLiteral("The server does not offer IDLE: this inbox cannot be watched, and the "
                                            "mailbox is checked on the schedule.");
    QString SecretsNotReadText = QStringLiteral("The passwords cannot be read from the secret store: %s");
    QString SecretsNotSavedText = QStringLiteral("The passwords were not saved in the secret store: %s");

    void actNewMailBoxExecute();
    void actDeleteExecute();
    void actCopyExecute();
    void btnTestClick();

signals:
    // A "Test" run ended and its result is on show.
    void TestFinished();

protected:
    // Escape while Test runs ends the test, not the dialog, as it ends a check in the main window.
    void keyPressEvent(QKeyEvent* event) override;
    // The dialog opens in the middle of the desktop.
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    // The list panel, the fields and the layout (mailbox_editor_fields.cpp).
    void BuildListPanel();
    void BuildFields();
    void BuildServerFields();
    void BuildAccountFields();
    void BuildCertificateAndTest();
    QLineEdit* MakeWideEdit(const char* name);
    // The sign-in group (mailbox_editor_oauth.cpp): built, connected, and refilled whenever the
    // selection changes.
    void BuildSignInFields();
    void ConnectSignInEdits();
    void ShowSignIn();
    // Shows or hides the OAuth2 rows and fills the endpoints of a preset.
    void UpdateSignInRows();
    void btnSignInClick();
    void LayOut();
    QVBoxLayout* LayOutFields();
    void ConnectCommands();
    // Live editing: each field writes into the selected mailbox of the working copy.
    void ConnectEdits();
    void UpdatePortPlaceholder();
    TMailBox* Selected() const;
    void ShowSelected();
    void ClearFields();
    void UpdatePortState();
    void UpdateCertificate();
    void StopTest();
    // OK with a store: the changed passwords go into it; false (and said) when that failed.
    bool StorePasswords();
    void TestDone(const TProbeResult& result, quint64 generation);
    // The result as one line for the user ("Works: 3 messages in the inbox.").
    QString ProbeResultText(const TProbeResult& result) const;
    // "Watch the inbox" (mailbox_editor_idle.cpp): the box, its state for the selected mailbox
    // (open to IMAP4 only), and what a Test adds about it.
    void BuildIdleOption();
    void ShowIdleOption();
    QString IdleTestNote(const TProbeResult& result) const;

    TMailBoxList working_;
    std::shared_ptr<TSecretStore> secrets_;
    QList<TMailBoxSettings> before_;  // the list as it came, its passwords read from the store
    QStringList staleKeys_;
    TStringTable strings_;
    THelpLauncher help_;
    QButtonGroup* protocolGroup_ = nullptr;
    bool loading_ = false;
    int testTimeout_ = 60;
    quint64 selectionGeneration_ = 0;
    std::shared_ptr<TAbortSignal> testAbort_;
    std::unique_ptr<QThread> testThread_;
    std::shared_ptr<TOAuthTokenKeeper> tokens_;
    TBrowserOpener browser_;
    QPointer<TOAuthSignIn> signIn_;
    bool loadingSignIn_ = false;
};

}  // namespace brevio
