#include "ui/help_topic.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "support/program_folders.h"
#include "support/string_table.h"
#include "support/text_format.h"
#include "localization/localizator.h"
#include "ui/form_localizer.h"
#include "ui/main_window.h"

namespace brevio {

QString HelpTopicPath(const QString& topic)
{
    return QDir(ProgramFolder(QStringLiteral("help"))).filePath(topic);
}

QString OpenHelpTopic(const QString& topic, const TStringTable& strings)
{
    const QString path = HelpTopicPath(topic);
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile())
        return FormatText(strings.Text(texts::HelpTopicMissing), {shown});
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return FormatText(strings.Text(texts::HelpTopicNotOpened), {shown});
    return {};
}

void ShowHelpTopic(QWidget* parent, const QString& topic)
{
    for (QWidget* w = parent; w; w = w->parentWidget()) {
        if (auto* form = qobject_cast<TForm1*>(w)) {
            form->ShowHelp(topic);
            return;
        }
    }
    // Outside the main window the texts are those of the language windows are made in.
    const TWindowLanguage* language = TWindowLanguage::Current();
    const TStringTable strings = language ? language->Localizator().Strings : TStringTable();
    const QString problem = OpenHelpTopic(topic, strings);
    if (!problem.isEmpty())
        QMessageBox::warning(parent, strings.Text(texts::HelpTitle), problem);
}

}  // namespace brevio
