#include "mime/mail_message.h"

namespace brevio {

QList<QByteArray> SplitHeaderLines(const QByteArray& block)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype lf = block.indexOf('\n', start);
        if (lf < 0)
            lf = block.size();
        qsizetype end = lf;
        if (end > start && block[end - 1] == '\r')
            --end;
        if (end > start)
            lines.append(block.mid(start, end - start));
        start = lf + 1;
    }
    return lines;
}

}  // namespace brevio
