#include "ui/help_topic.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace brevio {

QString HelpTopicPath(const QString& topic)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help/") + topic);
}

void ShowHelpTopic(QWidget* parent, const QString& topic)
{
    const QString path = HelpTopicPath(topic);
    if (!QFileInfo(path).isFile()) {
        QMessageBox::warning(parent, QStringLiteral("Help"),
                             QStringLiteral("The help topic cannot be shown: the file %1 is missing.")
                                 .arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(parent, QStringLiteral("Help"),
                             QStringLiteral("The help topic %1 cannot be opened: no program to show web pages was found.")
                                 .arg(QDir::toNativeSeparators(path)));
}

}  // namespace brevio
