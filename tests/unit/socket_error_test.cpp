#include "net/errors.h"

#include <gtest/gtest.h>

using namespace brevio;

TEST(SocketError, MessageNamesCodeAndText)
{
    struct Case {
        int code;
        const char* message;
    };
    const Case cases[] = {
        {10061, "Socket Error # 10061\r\nConnection refused."},
        {11001, "Socket Error # 11001\r\nHost not found."},
        {10035, "Socket Error # 10035\r\nOperation would block. "},
        {12345, "Socket Error # 12345\r\n"},
    };
    for (const auto& c : cases) {
        ESocketError e(c.code);
        EXPECT_EQ(e.Message(), QString::fromUtf8(c.message)) << c.code;
        EXPECT_EQ(e.LastError(), c.code);
    }
}
