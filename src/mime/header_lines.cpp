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

namespace {

// SplitHeaderLines; with `share`, each line points into the bytes of `block` rather than holding
// a copy of its own, and so may only be used while `block` lives unchanged.
QList<QByteArray> HeaderLines(const QByteArray& block, bool share)
{
    THeaderLineCollector lines;
    lines.Reserve(block.count('\n') + 1);
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype lf = block.indexOf('\n', start);
        if (lf < 0)
            lf = block.size();
        qsizetype end = lf;
        if (end > start && block[end - 1] == '\r')
            --end;
        lines.Add(share ? QByteArray::fromRawData(block.constData() + start, end - start)
                        : block.mid(start, end - start));
        start = lf + 1;
    }
    return lines.Take();
}

}  // namespace

QList<QByteArray> SplitHeaderLines(const QByteArray& block)
{
    return HeaderLines(block, false);
}

TListedHeader ParseListedHeaderBlock(const QByteArray& block, QByteArrayView trustedAuthServId)
{
    // The parsed header holds texts and numbers of its own, none of the lines: they need not be
    // copied out of the block (a listing of 50,000 headers saves half a million allocations).
    return ParseListedHeader(HeaderLines(block, true), trustedAuthServId);
}

}  // namespace brevio
