#pragma once
// The program's help: HTML topics in the folder "help" beside the executable, opened in the
// user's browser.

#include <QString>
#include <functional>

class QWidget;

namespace brevio {

// Opens a help topic for a window; the dialogs take one so tests can watch the requests.
using THelpLauncher = std::function<void(QWidget* parent, const QString& topic)>;

// The file of `topic` ("Options.htm").
QString HelpTopicPath(const QString& topic);

// Opens the topic in the browser. A missing topic file, or a browser that cannot be started, is
// told to the user in a message box that names the file.
void ShowHelpTopic(QWidget* parent, const QString& topic);

}  // namespace brevio
