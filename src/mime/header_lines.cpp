#include "mime/mail_message.h"

namespace brevio {

void THeaderLineCollector::Add(QByteArray line)
{
    if (full_ || line.isEmpty())
        return;
    if (lines_.size() >= kMaxHeaderLines || bytes_ + line.size() + 2 > kMaxHeaderBytes) {
        full_ = true;
        return;
    }
    bytes_ += line.size() + 2;
    lines_.append(std::move(line));
}

QList<QByteArray> SplitHeaderLines(const QByteArray& block)
{
    THeaderLineCollector lines;
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype lf = block.indexOf('\n', start);
        if (lf < 0)
            lf = block.size();
        qsizetype end = lf;
        if (end > start && block[end - 1] == '\r')
            --end;
        lines.Add(block.mid(start, end - start));
        start = lf + 1;
    }
    return lines.Take();
}

}  // namespace brevio
