#include "ui/program_links.h"

#include <QDesktopServices>
#include <QUrl>
#include <QUrlQuery>

#include "support/app_version.h"
#include "support/text_format.h"
#include "ui/main_window_services.h"

namespace brevio {

// Both addresses come from the build, which also writes them into the package.
QString HomePageAddress()
{
    return QStringLiteral(BREVIO_HOME_PAGE);
}

QString SupportAddress()
{
    return QStringLiteral(BREVIO_SUPPORT_ADDRESS);
}

QString HomePageLink()
{
    return HomePageAddress() + QStringLiteral("?Brevio");
}

QString FeedbackSubject()
{
    return FormatText(QStringLiteral("%s v%s"), {ProductName(), GetAppVersion()});
}

void OpenUrl(const QString& url)
{
    QDesktopServices::openUrl(QUrl(url));
}

QString MailToLink(const QString& address, const QString& subject)
{
    // The subject is escaped, so blanks and an ampersand reach the mail program as they are.
    QUrl url(QStringLiteral("mailto:") + address);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QString::fromUtf8(QUrl::toPercentEncoding(subject)));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

void SendMail(const QString& address, const QString& subject)
{
    QDesktopServices::openUrl(QUrl(MailToLink(address, subject), QUrl::StrictMode));
}

}  // namespace brevio
