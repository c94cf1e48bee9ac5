#include "mime/header_lookup.h"

namespace brevio {

qsizetype FindHeaderLine(const QList<QByteArray>& lines, QByteArrayView name)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        // Cheap length check first: the colon must sit right after the name.
        if (line.size() <= name.size() || line[name.size()] != ':')
            continue;
        // The name is the text before the *first* colon, so the name itself may hold none.
        const QByteArrayView lineName(line.constData(), name.size());
        if (lineName.indexOf(':') < 0 && lineName.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QByteArray HeaderValueAt(const QList<QByteArray>& lines, qsizetype index)
{
    if (index < 0 || index >= lines.size())
        return {};
    const QByteArray& first = lines[index];
    const qsizetype colon = first.indexOf(':');
    QByteArray value = first.mid(colon + 1).trimmed();
    // RFC 5322 §2.2.3: a line starting with white space continues the previous one.
    for (qsizetype i = index + 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.isEmpty() || (line[0] != ' ' && line[0] != '\t'))
            break;
        const QByteArray part = line.trimmed();
        if (part.isEmpty())
            continue;
        value += ' ';
        value += part;
    }
    return value.trimmed();
}

QByteArray HeaderValue(const QList<QByteArray>& lines, QByteArrayView name)
{
    return HeaderValueAt(lines, FindHeaderLine(lines, name));
}

}  // namespace brevio
