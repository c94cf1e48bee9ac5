#pragma once
// The program's help: HTML topics in the program's folder "help", opened in the user's browser.

#include <QString>
#include <functional>

class QWidget;

namespace brevio {

class TStringTable;

// Opens a help topic for a window; the dialogs take one so tests can watch the requests.
using THelpLauncher = std::function<void(QWidget* parent, const QString& topic)>;

// The file of `topic` ("Options.htm").
QString HelpTopicPath(const QString& topic);

// Opens the topic in the browser. Returns what went wrong, in the texts of `strings` (a missing
// file, or no program to show it), or an empty text.
QString OpenHelpTopic(const QString& topic, const TStringTable& strings);

// Opens the topic for a window. A problem is reported on the status line of the main window the
// window belongs to, or in a message box when it belongs to none (in the texts of the language
// in force, TWindowLanguage).
void ShowHelpTopic(QWidget* parent, const QString& topic);

}  // namespace brevio
