#pragma once
// The maker's addresses and the two ways of reaching them: a web page in the user's browser and
// a new message in the user's mail program.

#include <QString>

namespace brevio {

// The maker's home page, without the query the links append.
QString HomePageAddress();
// The address that feedback and support mail goes to.
QString SupportAddress();
// The home page as the program's links open it: with the query "?Brevio".
QString HomePageLink();
// The subject of a feedback mail: the product name and the version.
QString FeedbackSubject();

// Opens `url` in the user's browser; a failure is not reported.
void OpenUrl(const QString& url);
// Starts a message to `address` with `subject` in the user's mail program; a failure is not
// reported.
void SendMail(const QString& address, const QString& subject);
// The mailto link SendMail opens.
QString MailToLink(const QString& address, const QString& subject);

}  // namespace brevio
