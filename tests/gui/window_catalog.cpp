#include "window_catalog.h"

#include <QLineEdit>

#include "engine/mailbox_list.h"
#include "localization/localizator.h"
#include "main_window_fixture.h"
#include "settings/options.h"
#include "support/temp_files.h"
#include "stats/usage_stats.h"
#include "ui/about_dialog.h"
#include "ui/certificate_prompt.h"
#include "ui/log_window.h"
#include "ui/login_dialog.h"
#include "ui/mailbox_editor.h"
#include "ui/options_dialog.h"
#include "ui/sender_lists_dialog.h"
#include "ui/usage_statistics_dialog.h"

namespace brevio::test {

namespace {

// A window together with what it refers to, kept alive as long as the window.
template <typename TWindow, typename TKeep>
std::shared_ptr<QWidget> Holding(std::shared_ptr<TKeep> keep, TWindow* window)
{
    struct THolder {
        std::shared_ptr<TKeep> Keep;
        std::unique_ptr<TWindow> Window;
    };
    auto holder = std::make_shared<THolder>(THolder{std::move(keep), std::unique_ptr<TWindow>(window)});
    return std::shared_ptr<QWidget>(holder, holder->Window.get());
}

TCertificateInfo Certificate(bool flawed, bool changed, bool weak = false)
{
    TCertificateInfo info;
    info.Host = QStringLiteral("mail.example.org");
    info.MailBox = QStringLiteral("Work");
    info.Problem = flawed ? TCertificateProblem::NamedOtherHost : TCertificateProblem::SelfSigned;
    info.ProblemDetail = QStringLiteral("other.example.org");
    info.LibraryText = QStringLiteral("self-signed certificate");
    info.Subject = QStringLiteral("CN=mail.example.org");
    info.Issuer = QStringLiteral("CN=mail.example.org");
    info.NotBefore = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    info.NotAfter = QDateTime(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);
    info.Fingerprint = QStringLiteral("AB").repeated(32);
    info.Expired = flawed;
    info.HostMismatch = flawed;
    if (changed)
        info.PinnedFingerprint = QStringLiteral("00").repeated(32);
    if (weak) {
        info.Problem = TCertificateProblem::WeakKey;
        info.ProblemDetail = QStringLiteral("RSA 1024 bits");
    }
    return info;
}

const QStringList kCertificateData{"lblMailBox", "lblHost", "lblSubject", "lblIssuer", "lblFingerprint", "lblPinned"};

std::shared_ptr<QWidget> CertificatePrompt(bool flawed, bool changed, bool weak = false)
{
    return std::make_shared<TfrmCertificatePrompt>(Certificate(flawed, changed, weak));
}

}  // namespace

const QList<TWindowSample>& WindowCatalog()
{
    static const QList<TWindowSample> catalog{
        {"main window",
         [] {
             auto window = std::make_shared<TWindowUnderTest>("[Main]\n" + MailBoxLines({{"Home"}}));
             return std::shared_ptr<QWidget>(window, window->form.get());
         },
         // The check menu names the user's mailboxes.
         {"pmCheckMailBox"},
         true},
        {"mailbox editor with a mailbox that has no port",
         [] {
             auto list = std::make_shared<TMailBoxList>();
             auto box = std::make_unique<TMailBox>();
             box->Name = QStringLiteral("Home");
             list->Add(std::move(box));
             return Holding(list, new TfrmMailBoxes(*list, TStringTable()));
         },
         // The port field's placeholder is the standard port, a number.
         {"edtPort"}},
        {"options",
         [] {
             struct TKeep {
                 TempFolder Folder;
                 TOptions Options;
                 std::unique_ptr<TLocalizator> Localizator;
             };
             auto keep = std::make_shared<TKeep>();
             keep->Localizator = std::make_unique<TLocalizator>(keep->Options, keep->Folder.Path("langs"));
             return Holding(keep, new TfrmOptions(keep->Options, *keep->Localizator, keep->Folder.Path("brevio.ini")));
         },
         {"cbLang"}},
        {"login prompt with Caps Lock on",
         [] {
             auto prompt = std::make_shared<TfrmFTPLoginAndPassword>();
             prompt->SetHost(QStringLiteral("mail.example.org"));
             prompt->SetCapsLockState(true);
             return std::shared_ptr<QWidget>(prompt);
         },
         {}},
        {"certificate that nobody vouches for", [] { return CertificatePrompt(false, false); }, kCertificateData},
        {"expired certificate for another host", [] { return CertificatePrompt(true, false); }, kCertificateData},
        {"changed certificate", [] { return CertificatePrompt(false, true); }, kCertificateData},
        {"certificate with a weak key", [] { return CertificatePrompt(false, false, true); }, kCertificateData},
        {"error log",
         [] { return std::make_shared<TfrmLog>(QStringList{QStringLiteral("10:00 - (mail.example.org) refused")}); },
         {}},
        {"friends and spammers",
         [] {
             TSenderLists lists;
             lists.Add(TSenderList::Friends, QStringLiteral("ann@example.org"));
             return std::shared_ptr<QWidget>(std::make_shared<TfrmSenderLists>(lists));
         },
         {"memFriends", "memSpammers"}},
        {"about box",
         [] { return std::shared_ptr<QWidget>(std::make_shared<TfrmAbout>()); },
         {"lblMain", "lblEmail", "lblSite"}},
        {"usage statistics at the automatic showing",
         [] {
             struct TKeep {
                 TempFolder Folder;
                 std::unique_ptr<TUsageStats> Stats;
             };
             auto keep = std::make_shared<TKeep>();
             keep->Stats = std::make_unique<TUsageStats>(keep->Folder.Path("brevio.ini"));
             keep->Stats->RegisterStandardCounters();
             auto* dialog = new TfrmUsageStatistics;
             dialog->ShowCounters(*keep->Stats);
             return Holding(keep, dialog);
         },
         {}},
    };
    return catalog;
}

}  // namespace brevio::test
