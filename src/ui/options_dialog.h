#pragma once
// The dialog in which the user sets the program's options: starting at log-in, scheduled
// checking and its interval, the e-mail client and its parameters, the language, the network
// time-out, how checks talk to the servers (pipelining, the header cache), and where the passwords
// are kept (the settings file or the desktop's secret store). OK takes the values over, switches the autostart entry
// and the language and saves; when saving fails the dialog says why and stays open with everything the user entered.

#include <QDialog>
#include <functional>

#include "ui/help_topic.h"

class QCheckBox;
class QGridLayout;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace brevio {

class TFooter;
class TFooterBtn;
class TLocalizator;
class TOptions;

class TfrmOptions : public QDialog {
    Q_OBJECT
    // Texts the dialog composes; the language file's section sets them like any caption.
    Q_PROPERTY(QString NotSavedText MEMBER NotSavedText)
    Q_PROPERTY(QString AutostartFailedText MEMBER AutostartFailedText)
public:
    // Shows the values of `options`; `localizator` lists and switches the languages; OK saves to
    // `settingsFile` (empty: the program's settings file).
    TfrmOptions(TOptions& options, TLocalizator& localizator, const QString& settingsFile = {},
                QWidget* parent = nullptr, THelpLauncher help = ShowHelpTopic);

    // Fills the controls from the options, the autostart entry and the current language.
    void LoadFromOptions();
    // Takes the controls' values over, in this order: autostart, interval, scheduled checking,
    // e-mail client, network time-out, pipelining, header cache, Spam column, language; then saves. Without a selected language the
    // current one stays. Raises Exception (the options and the autostart entry as before) when
    // the autostart entry cannot be written or the settings file cannot be saved.
    void StoreToOptions();

    // Moves the passwords when OK switches FUseSecretStore: into the store (true) or back into the
    // settings file (false). Returns why the move failed, or an empty text; a failed move leaves
    // the options as they were and the dialog open. Not set: the option is only stored.
    using TPasswordMover = std::function<QString(bool intoStore)>;
    void SetPasswordMover(TPasswordMover mover) { movePasswords_ = std::move(mover); }

    // OK runs StoreToOptions and closes only when it succeeded.
    void done(int result) override;

    // Lets the user pick the e-mail client's executable.
    void btnBrowseClick();

    QCheckBox* chkLoadOnWindowsStartUp = nullptr;
    QGroupBox* grpAutoChecking = nullptr;
    QCheckBox* chkAutoCheck = nullptr;
    QLabel* lbl1 = nullptr;
    QSpinBox* udCheckInterval = nullptr;  // its text field is named edt1
    QGroupBox* grpEmailClient = nullptr;
    QLabel* lblPath = nullptr;
    QLineEdit* edtEmailClientPath = nullptr;
    QPushButton* btnBrowse = nullptr;
    QLabel* lblParameters = nullptr;
    QLineEdit* edtParameters = nullptr;
    QLabel* lblLang = nullptr;
    QComboBox* cbLang = nullptr;
    QLabel* lblNetworkTimeout = nullptr;
    QSpinBox* udNetworkTimeout = nullptr;
    QCheckBox* chkPipelining = nullptr;
    QCheckBox* chkHeaderCache = nullptr;
    QCheckBox* chkUseSecretStore = nullptr;
    QCheckBox* chkShowSpamColumn = nullptr;
    TFooter* Footer1 = nullptr;
    TFooterBtn* FooterBtn1 = nullptr;  // OK
    TFooterBtn* FooterBtn2 = nullptr;  // Cancel
    TFooterBtn* FooterBtn3 = nullptr;  // Help

    QString NotSavedText = QStringLiteral("The options were not saved: %s");                       // the reason
    QString AutostartFailedText = QStringLiteral("The autostart entry cannot be written in %s.");  // the folder

protected:
    // The dialog opens in the middle of the desktop.
    void showEvent(QShowEvent* event) override;

private:
    void BuildAutoChecking();
    void BuildEmailClient();
    QGridLayout* BuildLanguageAndNetwork();
    void LayOut(QGridLayout* bottom);
    void ConnectHelpAndBrowse();
    TOptions& options_;
    TLocalizator& localizator_;
    QString settingsFile_;
    THelpLauncher help_;
    TPasswordMover movePasswords_;
};

}  // namespace brevio
