#include "net/errors.h"

#include <QHash>

namespace brevio {

QString SocketErrorText(int code)
{
    static const QHash<int, QString> texts = {
        {10004, QStringLiteral("Interrupted system call.")},
        {10009, QStringLiteral("Bad file number.")},
        {10013, QStringLiteral("Access denied.")},
        {10014, QStringLiteral("Bad address.")},
        {10022, QStringLiteral("Invalid argument.")},
        {10024, QStringLiteral("Too many open files.")},
        {10035, QStringLiteral("Operation would block. ")},
        {10036, QStringLiteral("Operation now in progress.")},
        {10037, QStringLiteral("Operation already in progress.")},
        {10038, QStringLiteral("Socket operation on non-socket.")},
        {10039, QStringLiteral("Destination address required.")},
        {10040, QStringLiteral("Message too long.")},
        {10041, QStringLiteral("Protocol wrong type for socket.")},
        {10042, QStringLiteral("Bad protocol option.")},
        {10043, QStringLiteral("Protocol not supported.")},
        {10044, QStringLiteral("Socket type not supported.")},
        {10045, QStringLiteral("Operation not supported on socket.")},
        {10046, QStringLiteral("Protocol family not supported.")},
        {10047, QStringLiteral("Address family not supported by protocol family.")},
        {10048, QStringLiteral("Address already in use.")},
        {10049, QStringLiteral("Cannot assign requested address.")},
        {10050, QStringLiteral("Network is down.")},
        {10051, QStringLiteral("Network is unreachable.")},
        {10052, QStringLiteral("Net dropped connection or reset.")},
        {10053, QStringLiteral("Software caused connection abort.")},
        {10054, QStringLiteral("Connection reset by peer.")},
        {10055, QStringLiteral("No buffer space available.")},
        {10056, QStringLiteral("Socket is already connected.")},
        {10057, QStringLiteral("Socket is not connected.")},
        {10058, QStringLiteral("Cannot send or receive after socket is closed.")},
        {10059, QStringLiteral("Too many references, cannot splice.")},
        {10060, QStringLiteral("Connection timed out.")},
        {10061, QStringLiteral("Connection refused.")},
        {10062, QStringLiteral("Too many levels of symbolic links.")},
        {10063, QStringLiteral("File name too long.")},
        {10064, QStringLiteral("Host is down.")},
        {10065, QStringLiteral("No route to host.")},
        {10066, QStringLiteral("Directory not empty")},
        {11001, QStringLiteral("Host not found.")},
    };
    return texts.value(code);
}

ESocketError::ESocketError(int lastError, const QString& detail)
    : EMailClientError(QStringLiteral("Socket Error # %1\r\n%2")
                           .arg(lastError)
                           .arg(detail.isEmpty() ? SocketErrorText(lastError) : detail)),
      lastError_(lastError)
{
}

}  // namespace brevio
