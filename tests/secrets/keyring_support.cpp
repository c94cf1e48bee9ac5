#include "secrets/keyring_support.h"

#include "settings/ini_file.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace brevio::test {

QString SecretToolLookup(const QString& key)
{
    QProcess tool;
    tool.start(
        QStringLiteral("secret-tool"),
        {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("Brevio"), QStringLiteral("user"), key});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

bool LockKeyring()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto call = [&bus](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.secrets"),
                                                              QStringLiteral("/org/freedesktop/secrets"),
                                                              QStringLiteral("org.freedesktop.Secret.Service"), method);
        message.setArguments(arguments);
        return bus.call(message);
    };
    const QDBusMessage alias = call(QStringLiteral("ReadAlias"), {QStringLiteral("default")});
    if (alias.type() != QDBusMessage::ReplyMessage || alias.arguments().isEmpty())
        return false;
    const QDBusObjectPath collection = alias.arguments().first().value<QDBusObjectPath>();
    const QDBusMessage locked = call(QStringLiteral("Lock"), {QVariant::fromValue(QList<QDBusObjectPath>{collection})});
    return locked.type() == QDBusMessage::ReplyMessage;
}

TCheckerRun RunChecker(const QStringList& arguments, const QProcessEnvironment& environment)
{
    static const QTemporaryDir cacheHome;
    QProcess process;
    QProcessEnvironment changed = environment;
    changed.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome.path());
    process.setProcessEnvironment(changed);
    process.start(QStringLiteral(BREVIO_CHECK_PATH), arguments);
    process.waitForFinished(120000);
    TCheckerRun run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.ErrLines = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
    return run;
}

TMailBoxSettings LoopbackBox(const QString& user, int port, const QString& password)
{
    TMailBoxSettings box;
    box.Name = user;
    box.Host = QStringLiteral("127.0.0.1");
    box.Port = port;
    box.UserName = user;
    box.Password = password;
    box.Protocol = TMailProtocol::POP3;
    return box;
}

void WriteSettings(const QString& path, const QList<TMailBoxSettings>& boxes, bool useStore)
{
    TMailBoxList list;
    for (const TMailBoxSettings& box : boxes)
        list.Add(std::make_unique<TMailBox>(box));
    list.Save(path);
    TveqIniFile(path).WriteBool(QStringLiteral("Main"), QStringLiteral("FUseSecretStore"), useStore);
}

QStringList PasswordValues(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList values;
    static const QRegularExpression line(QStringLiteral("^Password\\d+=(.*)$"), QRegularExpression::MultilineOption);
    for (auto it = line.globalMatch(QString::fromUtf8(file.readAll())); it.hasNext();)
        values.append(it.next().captured(1));
    return values;
}

}  // namespace brevio::test
