// Window placement and column width texts in the settings file.
#include "settings/form_placement.h"
#include "settings/settings_file.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

TEST(StrToPoint, Forms)
{
    struct Case {
        QString text;
        QPoint expected;
    } cases[] = {
        {"[10,20]", {10, 20}},
        {"(10,20)", {10, 20}},
        {"{10,20]", {10, 20}},
        {"10,20", {10, 20}},
        {"[ -5 , 7 ]", {-5, 7}},
        {"[10 20]", {1, 2}},
        {"", {1, 2}},
        {"[x,20]", {1, 20}},
        {"[10,]", {10, 2}},
        {"[10,20", {1, 20}},                   // "[10" is no integer, "20" is
        {"[12345678901,5]", {1234567890, 5}},  // cut to ten characters
        {"[99999999999,5]", {1, 5}},           // cut, then out of range
        {"[0x10,0]", {16, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StrToPoint(c.text, QPoint(1, 2)), c.expected) << c.text.toStdString();
    EXPECT_EQ(PointToStr(QPoint(-3, 40)), "[-3,40]");
}

TEST(FormPlacement, Parsing)
{
    using P = std::optional<QPoint>;
    using I = std::optional<int>;
    struct Case {
        QString value;
        bool maximized;
        P position;
        I width;
        I height;
    } cases[] = {
        {"1;[10,10];300;200", true, QPoint(10, 10), 300, 200},
        {"1", true, {}, {}, {}},
        {"0;[120,80];672;450", false, QPoint(120, 80), 672, 450},
        {"0;[-40,15];500;400", false, QPoint(0, 15), 500, 400},
        {"0;[10,20]", false, QPoint(10, 20), {}, {}},
        {"0;10,20;500;400", false, QPoint(10, 20), 500, 400},
        {"0;[10 20];500;400", false, QPoint(0, 0), 500, 400},
        {"0;[10,20];wide;400", false, QPoint(10, 20), {}, {}},
        {"0;[10,20];500;", false, QPoint(10, 20), 500, {}},
        {"0", false, {}, {}, {}},
        {"", false, {}, {}, {}},
        {"2;[5,5];1;1", false, QPoint(5, 5), 1, 1},
    };
    for (const Case& c : cases) {
        const TFormPlacement p = ParseFormPlacement(c.value);
        const std::string name = c.value.toStdString();
        EXPECT_EQ(p.Maximized, c.maximized) << name;
        EXPECT_EQ(p.Position, c.position) << name;
        EXPECT_EQ(p.Width, c.width) << name;
        EXPECT_EQ(p.Height, c.height) << name;
    }
}

TEST(FormPlacement, StoredUnderTheWindowName)
{
    TempFolder folder;
    auto ini = OpenIniFile(folder.Path("s.ini"));
    SaveFormPlacement(*ini, "Form1", false, QRect(120, 80, 672, 450));
    EXPECT_EQ(folder.Read("s.ini"), "[Forms Placement]\nForm1=0;[120,80];672;450\n");
    const TFormPlacement p = LoadFormPlacement(*OpenIniFile(folder.Path("s.ini")), "form1");
    EXPECT_EQ(p.Position, QPoint(120, 80));
    EXPECT_EQ(p.Width, 672);
    EXPECT_EQ(p.Height, 450);
    EXPECT_FALSE(LoadFormPlacement(*ini, "Other").Position.has_value());
}

TEST(ListViewColumns, SaveAndLoad)
{
    TempFolder folder;
    auto ini = OpenIniFile(folder.Path("s.ini"));
    SaveListViewColumns(*ini, "Form1", "ListView1", {30, 200, 150});
    EXPECT_EQ(folder.Read("s.ini"),
              "[Listview Columns]\nForm1.ListView1_Count=3\nForm1.ListView10=30\n"
              "Form1.ListView11=200\nForm1.ListView12=150\n");

    struct Case {
        const char* name;
        QByteArray file;
        QList<int> current;
        QList<int> expected;
    } cases[] = {
        {"no section keeps the design", "", {1, 2, 3}, {1, 2, 3}},
        {"more stored than the list has",
         "[Listview Columns]\nForm1.ListView1_Count=10\nForm1.ListView10=5\nForm1.ListView11=6\n"
         "Form1.ListView12=7\nForm1.ListView19=9\n",
         {1, 2},
         {5, 6}},
        {"missing width keeps the current one",
         "[Listview Columns]\nForm1.ListView1_Count=3\nForm1.ListView10=5\nForm1.ListView12=x\n",
         {1, 2, 3},
         {5, 2, 3}},
        {"fewer stored than the list has",
         "[Listview Columns]\nForm1.ListView1_Count=1\nForm1.ListView10=5\nForm1.ListView11=6\n",
         {1, 2},
         {5, 2}},
    };
    for (const auto& c : cases) {
        TempFolder f;
        TveqIniFile file(f.Write("s.ini", c.file));
        EXPECT_EQ(LoadListViewColumns(file, "Form1", "ListView1", c.current), c.expected) << c.name;
    }
}

TEST(SettingsFile, OverrideAndExplicitPath)
{
    TempFolder folder;
    SetSettingsFileName(folder.Path("override.ini"));
    EXPECT_EQ(GetSettingsFileName(), folder.Path("override.ini"));
    EXPECT_EQ(OpenIniFile()->FileName(), folder.Path("override.ini"));
    EXPECT_EQ(OpenIniFile(folder.Path("x.ini"))->FileName(), folder.Path("x.ini"));
    SetSettingsFileName({});
    EXPECT_TRUE(GetSettingsFileName().endsWith(".INI"));
}

}  // namespace
}  // namespace brevio
