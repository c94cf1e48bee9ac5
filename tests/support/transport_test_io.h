#pragma once
// Line-sized reads and writes on a client transport, for tests that talk to a loopback server
// directly without the protocol line layer.

#include "net/transport.h"

#include <gtest/gtest.h>

#include <QByteArray>

namespace brevio::test {

// Receives until a LF arrives; the line without its CR LF.
inline QByteArray ReceiveLine(TTransport& t)
{
    QByteArray line;
    char c = 0;
    while (!line.endsWith('\n')) {
        if (t.Receive(&c, 1) == 0) {
            ADD_FAILURE() << "closed before the end of the line";
            break;
        }
        line += c;
    }
    return line.trimmed();
}

inline void SendText(TTransport& t, const QByteArray& text)
{
    t.Send(text.constData(), text.size());
}

}  // namespace brevio::test
