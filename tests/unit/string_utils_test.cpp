// Text and file helpers.
#include "support/file_utils.h"
#include "support/string_utils.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

TEST(Split, Cases)
{
    struct Case {
        QString text;
        QString separator;
        bool keepEmpty;
        QStringList expected;
    } cases[] = {
        {"a,,b", ",", true, {"a", "", "b"}},
        {"a,,b", ",", false, {"a", "b"}},
        {"a,b,", ",", true, {"a", "b"}},
        {",a", ",", true, {"", "a"}},
        {"", ",", true, {}},
        {"abc", ",", true, {"abc"}},
        {"a::b::", "::", true, {"a", "b"}},
        {"0;[1,2];3;4", ";", true, {"0", "[1,2]", "3", "4"}},
        {"abc", "", true, {"abc"}},
    };
    for (const auto& c : cases) {
        QStringList list{"stale"};
        Split(c.text, c.separator, list, c.keepEmpty);
        EXPECT_EQ(list, c.expected) << c.text.toStdString();
    }
}

TEST(ReplaceText, Cases)
{
    struct Case {
        QString text;
        QString pattern;
        QString replacement;
        int flags;
        QString expected;
    } cases[] = {
        {"x#13#10y#13#10", "#13#10", "\r\n", 3, "x\r\ny\r\n"},
        {"aXa", "x", "-", 0, "aXa"},
        {"aXa", "x", "-", rfIgnoreCase, "a-a"},
        {"abab", "ab", "X", 0, "Xab"},
        {"abab", "ab", "X", rfReplaceAll, "XX"},
        {"aaa", "a", "aa", rfReplaceAll, "aaaaaa"},  // replaced text is not scanned again
        {"aaaa", "aa", "b", rfReplaceAll, "bb"},
        {"", "a", "b", 3, ""},
        {"abc", "", "b", 3, "abc"},
        {"ÄÖ ä", "ä", "x", 3, "ÄÖ x"},  // only A-Z fold
        {"end", "nd", "!", 0, "e!"},
    };
    for (const auto& c : cases) {
        QString text = c.text;
        ReplaceText(text, c.pattern, c.replacement, c.flags);
        EXPECT_EQ(text, c.expected) << c.text.toStdString() << " / " << c.pattern.toStdString();
    }
}

TEST(FileUtils, Folders)
{
    test::TempFolder folder;
    const QString deep = folder.Path("one/two");
    EXPECT_FALSE(FolderExists(deep));
    EXPECT_TRUE(CreateFolderPath(deep + "/"));
    EXPECT_TRUE(FolderExists(deep));
    EXPECT_TRUE(CreateFolderPath(deep));  // existing is fine

    folder.Write("one/lang.ENG", "");
    EXPECT_FALSE(FolderExists(folder.Path("one/lang.ENG")));
}

}  // namespace
}  // namespace brevio
