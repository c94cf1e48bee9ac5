// The options in section "Main" and the language codes of locales.
#include "settings/language_table.h"
#include "settings/options.h"
#include "support/temp_files.h"

#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

TEST(Options, DefaultsWithoutAFile)
{
    TempFolder folder;
    TOptions options;
    options.FCheckMailInterval = 1;
    options.Load(folder.Path("none.ini"));
    EXPECT_EQ(options.FCurrentLanguage, GetDefaultLanguage());
    EXPECT_TRUE(options.FAutomaticCheckMail);
    EXPECT_EQ(options.FCheckMailInterval, 15);
    EXPECT_EQ(options.CheckIntervalMilliseconds(), 900000);
    EXPECT_TRUE(options.FEmailClientPath.isEmpty());
    EXPECT_FALSE(options.FLoadOnWindowsStart);
    EXPECT_EQ(options.FNetworkTimeout, 60);
    EXPECT_TRUE(options.FPipelining);
    EXPECT_TRUE(options.FHeaderCache);
    EXPECT_TRUE(options.FShowSpamColumn);
}

TEST(Options, StoredValues)
{
    struct Case {
        const char* name;
        QByteArray main;
        bool automatic;
        int interval;
        bool autorun;
    } cases[] = {
        {"scheduled checking off", "FAutomaticCheckMail=0\nFCheckMailInterval=5\n", false, 5, false},
        {"interval 0 never fires", "FCheckMailInterval=0\n", true, 0, false},
        {"autorun yes is no integer", "FLoadOnWindowsStart=yes\n", true, 15, false},
        {"autorun 1", "FLoadOnWindowsStart=1\n", true, 15, true},
        {"malformed interval", "FCheckMailInterval=ten\n", true, 15, false},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        TOptions options;
        options.Load(folder.Write("s.ini", "[Main]\n" + c.main));
        EXPECT_EQ(options.FAutomaticCheckMail, c.automatic) << c.name;
        EXPECT_EQ(options.FCheckMailInterval, c.interval) << c.name;
        EXPECT_EQ(options.FLoadOnWindowsStart, c.autorun) << c.name;
        if (c.interval == 0) {
            EXPECT_EQ(options.CheckIntervalMilliseconds(), 0) << c.name;
        }
    }
}

TEST(Options, SaveWritesEveryKeyInOrderAndReadsBack)
{
    TempFolder folder;
    folder.Write("s.ini", "[Main]\nNumMailbox=1\nName0=A\n");
    TOptions options;
    options.FCurrentLanguage = "RUS";
    options.FListViewSunjectSize = 7;
    options.FListViewMailBoxSizeSize = 8;
    options.FAutomaticCheckMail = false;
    options.FCheckMailInterval = 30;
    options.FEmailClientPath = "/usr/bin/mail client";
    options.FEmailClientParameters = "-x \"quoted\"";
    options.FLoadOnWindowsStart = true;
    options.FNetworkTimeout = 20;
    options.FPipelining = false;
    options.Save(folder.Path("s.ini"));
    EXPECT_EQ(folder.Read("s.ini"),
              "[Main]\nNumMailbox=1\nName0=A\nFCurrentLanguage=RUS\nFEmailClientPath=/usr/bin/mail client\n"
              "FEmailClientParameters=-x \"quoted\"\nFListViewNumberSize=0\nFListViewSunjectSize=7\n"
              "FListViewFromSize=0\nFListViewMailboxSize=0\nFListViewMailBoxSizeSize=8\n"
              "FListViewDateSize=0\nFListViewTimeSize=0\nFCheckMailInterval=30\nFAutomaticCheckMail=0\n"
              "FLoadOnWindowsStart=1\nFNetworkTimeout=20\nFPipelining=0\nFHeaderCache=1\nFUseSecretStore=0\n"
              "FShowSpamColumn=1\n");
    TOptions loaded;
    loaded.Load(folder.Path("s.ini"));
    EXPECT_EQ(loaded.FCurrentLanguage, "RUS");
    EXPECT_EQ(loaded.FEmailClientParameters, "-x \"quoted\"");
    EXPECT_EQ(loaded.FListViewMailBoxSizeSize, 8);
    EXPECT_FALSE(loaded.FAutomaticCheckMail);
    EXPECT_EQ(loaded.FNetworkTimeout, 20);
    EXPECT_FALSE(loaded.FPipelining);
    EXPECT_TRUE(loaded.FHeaderCache);
}

TEST(LanguageTable, CodesOfLocales)
{
    struct Case {
        QLocale locale;
        const char* code;
    } cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "ENG"},
        {QLocale(QLocale::English, QLocale::UnitedKingdom), "ENG"},
        {QLocale(QLocale::Russian, QLocale::Russia), "RUS"},
        {QLocale(QLocale::German, QLocale::Austria), "DEU"},
        {QLocale(QLocale::Portuguese, QLocale::Brazil), "PTB"},
        {QLocale(QLocale::Portuguese, QLocale::Portugal), "PTG"},
        {QLocale(QLocale::Swahili, QLocale::Kenya), "ENG"},  // not in the table
        {QLocale::c(), "ENG"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageCodeFor(c.locale), c.code) << c.locale.name().toStdString();
    EXPECT_EQ(FindLanguage("rus"), FindLanguage("RUS"));
    EXPECT_GE(FindLanguage("RUS"), 0);
    EXPECT_EQ(FindLanguage("XYZ"), -1);
    EXPECT_EQ(SystemLanguages()[FindLanguage("RUS")].Name(), QString::fromUtf8("Русский"));
}

}  // namespace
}  // namespace brevio
