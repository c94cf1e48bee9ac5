#include "support/text_format.h"

namespace brevio {

QString FormatText(const QString& format, std::initializer_list<QVariant> arguments)
{
    QStringList texts;
    texts.reserve(qsizetype(arguments.size()));
    for (const QVariant& argument : arguments)
        texts.append(argument.toString());
    return FormatTextList(format, texts);
}

QString FormatTextList(const QString& format, const QStringList& arguments)
{
    QString result;
    result.reserve(format.size() + 16);
    auto next = arguments.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != u'%' || i + 1 >= format.size()) {
            result += c;
            continue;
        }
        const QChar kind = format.at(i + 1);
        if (kind == u'%') {
            result += u'%';
            ++i;
        } else if ((kind == u's' || kind == u'd') && next != arguments.end()) {
            result += *next;
            ++next;
            ++i;
        } else {
            result += c;
        }
    }
    return result;
}

}  // namespace brevio
