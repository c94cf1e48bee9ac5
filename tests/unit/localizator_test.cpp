// Language files: the string table, form sections and the language list.
#include "settings/language_table.h"
#include "localization/localizator.h"
#include "settings/options.h"
#include "support/temp_files.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

TEST(FormLocalizationItem, LineGrammar)
{
    using K = TFormLocalizationItem;
    struct Case {
        QString line;
        K::TKind kind;
        QString component;
        QString property;
        int index;
        QString value;
        bool effective;
    } cases[] = {
        {"Caption=Version 1.0", K::Property, "", "Caption", 0, "Version 1.0", true},
        {"lblPath.Caption=Path:#13#10(full)", K::Property, "lblPath", "Caption", 0, "Path:\r\n(full)", true},
        {"lblPath.Hint=see a.b=c", K::Property, "lblPath", "Hint", 0, "see a.b=c", true},
        {"ListView1.Columns.[2].Caption=Size", K::ListViewColumn, "ListView1", "", 2, "Size", true},
        {"StatusBar1.Panels.(0).Text=x", K::StatusPanel, "StatusBar1", "", 0, "x", true},
        {"ListView1.Columns.0.Caption=No", K::Property, "", "", 0, "", false},
        {"ListView1.Columns.[x].Caption=No", K::Property, "", "", 0, "", false},
        {"ListView1.columns.[1].Caption=No", K::Property, "", "", 0, "", false},
        {"cbLang.Items.Text=a,,b,", K::ComboItems, "cbLang", "", 0, "a,,b,", true},
        {"pcMain.Tabs.Text=One,Two", K::Tabs, "pcMain", "", 0, "One,Two", true},
        {"x.y.z", K::Property, "", "", 0, "", false},
        {"Caption=a#13#10b#13#10", K::Property, "", "Caption", 0, "a\r\nb\r\n", true},
    };
    for (const Case& c : cases) {
        const auto item = TFormLocalizationItem::Parse(c.line);
        const std::string name = c.line.toStdString();
        EXPECT_EQ(item.Kind, c.kind) << name;
        EXPECT_EQ(item.ComponentName, c.component) << name;
        EXPECT_EQ(item.PropertyName, c.property) << name;
        EXPECT_EQ(item.ItemIndex, c.index) << name;
        EXPECT_EQ(item.Value, c.value) << name;
        EXPECT_EQ(item.IsEffective(), c.effective) << name;
    }
}

TEST(Localizator, EmptyFolderIsCreatedAndDefaultsServe)
{
    TempFolder folder;
    TOptions options;
    options.FCurrentLanguage = "RUS";
    TLocalizator localizator(options, folder.Path("langs"));
    EXPECT_TRUE(QFileInfo(folder.Path("langs")).isDir());
    EXPECT_EQ(options.FCurrentLanguage, "ENG");
    EXPECT_EQ(localizator.Strings.Text(texts::NewMailBoxName), QString::fromUtf8("Новый ящик"));
    EXPECT_EQ(localizator.Strings.Text(texts::NothingToDelete), QString::fromUtf8("Nothing to delete…"));
    EXPECT_EQ(localizator.Strings.Text(texts::ErrorSelecting), "Error selecting ");
    EXPECT_EQ(localizator.Strings.Text(texts::LastCheck), "%s v%s - last check at %s");
    EXPECT_TRUE(localizator.Forms.isEmpty());
}

TEST(Localizator, StringsAndFormSections)
{
    TempFolder folder;
    const QByteArray longText(3000, 'y');
    folder.Write("langs/lang.ENG",
                 "[Strings]\nClickHere=\nAbortedByUser=Stopped\nDeleteMessage=" + longText
                     + "\n\n[TForm1]\nCaption=Main\n\nListView1.Columns.[1].Caption=Subject\n"
                       "[TfrmOptions]\ncbLang.Items.Text=a,,b,\n"
                       "  [TfrmAbout] ; the about box\nCaption=About\n");
    TOptions options;
    options.FCurrentLanguage = "eng";
    TLocalizator localizator(options, folder.Path("langs"));
    EXPECT_EQ(localizator.Strings.Text(texts::ClickHere), "");  // present but empty: not the default
    EXPECT_EQ(localizator.Strings.Text(texts::AbortedByUser), "Stopped");
    EXPECT_EQ(localizator.Strings.Text(texts::DeleteMessage).size(), 2047);
    EXPECT_EQ(localizator.Strings.Text(texts::ErrorOcurres), "Some Errors occures. Click here for details.");
    ASSERT_EQ(localizator.Forms.size(), 3);
    const TFormLocalization* form = localizator.FindForm("tform1");
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->Items.size(), 2);  // empty lines make no items
    EXPECT_EQ(form->Items[1].Kind, TFormLocalizationItem::ListViewColumn);
    EXPECT_EQ(localizator.FindForm("TfrmOptions")->Items[0].Value, "a,,b,");
    // A header may be indented and followed by a comment.
    ASSERT_NE(localizator.FindForm("TfrmAbout"), nullptr);
    EXPECT_EQ(localizator.FindForm("TfrmAbout")->Items[0].Value, "About");
    EXPECT_EQ(localizator.FindForm("TfrmMailBoxes"), nullptr);
}

TEST(Localizator, FirstSectionIsNeverAFormSection)
{
    TempFolder folder;
    folder.Write("langs/lang.ENG", "[TfrmOptions]\nCaption=Ignored\n[Strings]\nAbortedByUser=Stopped\n");
    TOptions options;
    options.FCurrentLanguage = "ENG";
    TLocalizator localizator(options, folder.Path("langs"));
    EXPECT_EQ(localizator.FindForm("TfrmOptions"), nullptr);
    ASSERT_NE(localizator.FindForm("Strings"), nullptr);
    EXPECT_EQ(localizator.Strings.Text(texts::AbortedByUser), "Stopped");
}

TEST(Localizator, LanguageListAndSwitching)
{
    TempFolder folder;
    folder.Write("langs/lang.ENG", "[Strings]\nAbortedByUser=Stopped\n");
    folder.Write("langs/lang.RUS", "[Strings]\nAbortedByUser=\xCF\xF0\xE5\xF0\xE2\xE0\xED\xEE\n");  // Windows-1251
    folder.Write("langs/lang.XYZ", "");
    folder.Write("langs/readme.txt", "");
    TOptions options;
    options.FCurrentLanguage = "rus";  // finds lang.RUS whatever the case
    TLocalizator localizator(options, folder.Path("langs"));
    EXPECT_EQ(options.FCurrentLanguage, "rus");
    EXPECT_EQ(localizator.Strings.Text(texts::AbortedByUser), QString::fromUtf8("Прервано"));

    int current = -7;
    const QList<TLanguageEntry> entries = localizator.GetLanguages(current);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].SystemIndex, FindLanguage("ENG"));
    EXPECT_EQ(entries[1].SystemIndex, FindLanguage("RUS"));
    EXPECT_EQ(entries[1].Text, QString::fromUtf8("Русский"));
    EXPECT_EQ(entries[2].Text, "lang.XYZ");
    EXPECT_EQ(entries[2].SystemIndex, -1);
    EXPECT_EQ(current, FindLanguage("RUS"));

    localizator.SetLanguage(FindLanguage("ENG"));
    EXPECT_EQ(options.FCurrentLanguage, "ENG");
    EXPECT_EQ(localizator.Strings.Text(texts::AbortedByUser), "Stopped");
    localizator.SetLanguage(-1);
    EXPECT_EQ(options.FCurrentLanguage, "ENG");
    // A file whose code the table does not know is a language all the same.
    EXPECT_EQ(entries[2].Code, "XYZ");
    folder.Write("langs/lang.XYZ", "[Strings]\nAbortedByUser=Halted\n");
    localizator.SetLanguageCode(entries[2].Code);
    EXPECT_EQ(options.FCurrentLanguage, "XYZ");
    EXPECT_EQ(localizator.Strings.Text(texts::AbortedByUser), "Halted");
}

}  // namespace
}  // namespace brevio
