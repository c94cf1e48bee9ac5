#include "imap/imap_folder_name.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

using namespace brevio;

TEST(ImapFolderName, Decodes)
{
    const struct {
        const char* wire;
        const char* name;  // UTF-8
    } cases[] = {
        {"INBOX", "INBOX"},
        {"&BBIERQQ+BDQETwRJBDgENQ-", "Входящие"},
        {"&ZeVnLIqe-", "日本語"},
        {"&-", "&"},
        {"Tom &- Jerry", "Tom & Jerry"},
        {"~peter/mail/&U,BTFw-/&ZeVnLIqe-", "~peter/mail/台北/日本語"},
        {"Sent &BB4EQgQ,BEAEMAQyBDsENQQ9BD0ESwQ1-", "Sent Отправленные"},
        {"&2D3eAA-", "\xf0\x9f\x98\x80"},  // a character outside the BMP
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeImapFolderName(c.wire), QString::fromUtf8(c.name)) << c.wire;
    }
}

TEST(ImapFolderName, BrokenNamesAreKept)
{
    const struct {
        const char* wire;
        const char* name;
    } cases[] = {
        {"a&b", "a&b"},        // no "-": kept
        {"&!!!-x", "&!!!-x"},  // not base64
        {"&AGE-", "a"},
        {"&AG-", "&AG-"},                                       // odd byte count
        {"\xd0\x9f\xd0\xb0\xd0\xbf\xd0\xba\xd0\xb0", "Папка"},  // server speaking UTF-8
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeImapFolderName(c.wire), QString::fromUtf8(c.name)) << c.wire;
}
