// The autostart entry: the quoting of its command line, and writing and removing it in an
// autostart folder of the test's own.
#include "settings/autorun.h"
#include "settings/settings_file.h"
#include "support/temp_files.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace brevio;

TEST(Autorun, ExecArgumentQuoting)
{
    struct Case {
        const char* path;
        const char* quoted;
    };
    const Case cases[] = {
        {"/usr/bin/brevio", R"("/usr/bin/brevio")"},
        {"/opt/My Apps/brevio", R"("/opt/My Apps/brevio")"},
        {R"(/a"b/$HOME/`x`/c\d)", R"("/a\"b/\$HOME/\`x\`/c\\d")"},
        {"/100%/brevio", R"("/100%%/brevio")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QuoteExecArgument(QString::fromUtf8(c.path)), QString::fromUtf8(c.quoted)) << c.path;
}

TEST(Autorun, EntryWrittenAndRemoved)
{
    // The Exec line as the file holds it: a backslash is doubled once for the quoting and once
    // more for the value.
    struct Case {
        const char* xdg;  // XDG_CONFIG_HOME relative to the temporary folder; null: unset
        const char* path;
        const char* settings;  // the settings file in use; null: the one `path` finds by itself
        const char* execLine;
        const char* entryFolder;  // where the entry must appear
    };
    const Case cases[] = {
        {"config", "/opt/My Apps/brevio", nullptr, R"(Exec="/opt/My Apps/brevio" /minimize)", "config/autostart"},
        {"config", R"(/opt/back\slash/brevio)", nullptr, R"(Exec="/opt/back\\\\slash/brevio" /minimize)",
         "config/autostart"},
        {nullptr, "/usr/bin/brevio", nullptr, R"(Exec="/usr/bin/brevio" /minimize)", "home/.config/autostart"},
        // Started with --settings: the entry starts the program on that file again.
        {"config", "/usr/bin/brevio", "/srv/My Mail/100%.INI",
         R"(Exec="/usr/bin/brevio" --settings "/srv/My Mail/100%%.INI" /minimize)", "config/autostart"},
        {"config", "/usr/bin/brevio", R"(/srv/a"b$c.INI)",
         R"(Exec="/usr/bin/brevio" --settings "/srv/a\\"b\\$c.INI" /minimize)", "config/autostart"},
    };
    TStringTable strings;
    strings.Set("AutostartComment", "Проверяет почту\nи ящики");
    const test::ScopedEnvironment xdg("XDG_CONFIG_HOME", {});
    const test::ScopedEnvironment home("HOME", {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        test::TempFolder folder;
        home.Set(folder.Path(QStringLiteral("home")));
        xdg.Set(c.xdg ? folder.Path(QString::fromLatin1(c.xdg)) : QString());
        const QString entry = QString::fromLatin1(c.entryFolder) + QStringLiteral("/brevio.desktop");
        const QString path = QString::fromUtf8(c.path);
        SetSettingsFileName(c.settings ? QString::fromUtf8(c.settings) : SettingsFileNameFor(path));

        EXPECT_TRUE(SetLoadOnStart(false, QString::fromUtf8(c.path)));  // nothing there: no complaint
        EXPECT_FALSE(IsLoadOnStartSet());
        EXPECT_TRUE(SetLoadOnStart(true, QString::fromUtf8(c.path), strings));
        EXPECT_TRUE(IsLoadOnStartSet());
        const QList<QByteArray> lines = folder.Read(entry).split('\n');
        EXPECT_EQ(lines.value(0), "[Desktop Entry]");
        EXPECT_TRUE(lines.contains("Type=Application"));
        // The description in the program's language, a line break escaped as the value needs.
        EXPECT_TRUE(lines.contains("Comment=Проверяет почту\\nи ящики")) << folder.Read(entry).toStdString();
        EXPECT_TRUE(lines.contains(QByteArray(c.execLine))) << folder.Read(entry).toStdString();
        EXPECT_TRUE(SetLoadOnStart(false));
        EXPECT_FALSE(QFile::exists(folder.Path(entry)));
        EXPECT_FALSE(IsLoadOnStartSet());
        SetSettingsFileName({});
    }
}
