// The settings file survives what happens to it outside the program: a process killed in the
// middle of a save, and files edited by hand in other editors.
#include "settings/ini_file.h"
#include "stats/usage_stats.h"
#include "support/temp_files.h"

#include <QProcess>
#include <QRandomGenerator>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace brevio {
namespace {

using test::TempFolder;

// The generation every value of the saved file holds; nullopt when the values disagree (a file
// mixed from two saves) or a value is missing.
using TGenerationReader = std::optional<qint64> (*)(const QString& file);

std::optional<qint64> IniGeneration(const QString& file)
{
    const TveqIniFile ini(file);
    std::optional<qint64> generation;
    for (int k = 0; k < 250; ++k) {
        const QString value =
            ini.ReadString(QStringLiteral("Section%1").arg(k % 5), QStringLiteral("Key%1").arg(k), {});
        const qsizetype blank = value.indexOf(u' ');
        bool ok = false;
        const qint64 g = value.left(blank).toLongLong(&ok);
        if (!ok || value.mid(blank + 1) != QString(400, u'x') || (generation && *generation != g))
            return std::nullopt;
        generation = g;
    }
    return generation;
}

std::optional<qint64> StatsGeneration(const QString& file)
{
    const TUsageStats stats(file);
    if (stats.Count() != 6)
        return std::nullopt;
    const qint64 g = static_cast<TIntegerCounter*>(stats.Counter(0))->FValue;
    for (int i = 0; i < stats.Count(); ++i)
        if (static_cast<TIntegerCounter*>(stats.Counter(i))->FValue != g)
            return std::nullopt;
    return g;
}

// Starts the writer again and again and kills it (SIGKILL) at a random moment after its first
// save: the file must then hold the last save it reported or the one it was making.
void KillWhileSaving(const char* mode, TGenerationReader generationOf)
{
    TempFolder folder;
    const QString file = folder.Path("Brevio.INI");
    for (int round = 0; round < 25; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(SETTINGS_WRITER_PATH), {QString::fromLatin1(mode), file});
        ASSERT_TRUE(writer.waitForStarted());
        QByteArray output;
        while (!output.contains('\n') && writer.waitForReadyRead(30000))
            output += writer.readAllStandardOutput();
        ASSERT_TRUE(output.startsWith("saved ")) << output.constData();
        // The moment of the kill is what varies: anywhere within a few saves.
        std::this_thread::sleep_for(std::chrono::microseconds(QRandomGenerator::global()->bounded(20000)));
        writer.kill();
        writer.waitForFinished();
        output += writer.readAllStandardOutput();
        const QList<QByteArray> lines = output.trimmed().split('\n');
        const qint64 reported = lines.last().mid(6).toLongLong();
        const std::optional<qint64> saved = generationOf(file);
        ASSERT_TRUE(saved) << mode << ": round " << round << " left a file mixed from two saves";
        EXPECT_TRUE(*saved == reported || *saved == reported + 1)
            << mode << ": round " << round << " file holds save " << *saved << ", last reported " << reported;
    }
}

TEST(SettingsSurvival, KilledWhileSavingSettingsLeavesOldOrNewFile)
{
    KillWhileSaving("ini", IniGeneration);
}

TEST(SettingsSurvival, KilledWhileSavingCountersLeavesOldOrNewFile)
{
    KillWhileSaving("stats", StatsGeneration);
}

// A file edited by hand reads what it can; a save afterwards (of another key) keeps all of it.
TEST(SettingsSurvival, HandEditedFiles)
{
    const QByteArray bigValue(10 * 1024 * 1024, 'v');
    const struct {
        const char* name;
        QByteArray file;
        QList<std::array<QString, 3>> reads;  // section, key, value read before and after a save
        QByteArray keptBytes;                 // bytes the saved file still holds
    } cases[] = {
        {"byte order mark", "\xEF\xBB\xBF[Options]\r\nLang=RUS\r\n", {{"Options", "Lang", "RUS"}}, "[Options]\r\n"},
        {"CR-only line ends", "[A]\rx=1\ry=2\r[B]\rz=3\r", {{"A", "x", "1"}, {"A", "y", "2"}, {"B", "z", "3"}}, "y=2"},
        {"section repeated: the first counts, the second is kept",
         "[A]\nx=1\n[B]\nz=3\n[a]\nx=2\nw=4\n",
         {{"A", "x", "1"}, {"B", "z", "3"}, {"A", "w", "<none>"}},
         "[a]\nx=2\nw=4\n"},
        {"key repeated: the first counts, the second is kept", "[A]\nx=1\nX=2\n", {{"A", "x", "1"}}, "X=2\n"},
        {"10 MB line",
         "[A]\nbig=" + bigValue + "\nx=1\n",
         {{"A", "x", "1"}, {"A", "big", QString(TveqIniFile::MaxValueLength, u'v')}},
         "big=" + bigValue + "\n"},
        {"legacy Windows-1251 file", "[A]\nname=\xCF\xEE\xF7\xF2\xE0\n", {{"A", "name", "Почта"}}, "name=Почта\n"},
        {"UTF-8 file with one Windows-1251 line",
         "[A]\nnew=Почта\nold=\xCF\xEE\xF7\xF2\xE0\n",
         {{"A", "new", "Почта"}, {"A", "old", "Почта"}},
         "new=Почта\nold=Почта\n"},
        {"invalid UTF-8 bytes", "[A]\nx=\xFF\xFE\x80\ny=2\n", {{"A", "y", "2"}}, "y=2\n"},
        {"NUL bytes",
         QByteArray("[A]\nx=1\0\0\ny=2\n[B\0]\nz=3\n", 24),
         {{"A", "x", QString::fromLatin1("1\0\0", 3)}, {"A", "y", "2"}},
         QByteArray("[B\0]\nz=3\n", 9)},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const QString path = folder.Write("Brevio.INI", c.file);
        const auto expectReads = [&](const char* when) {
            const TveqIniFile ini(path);
            for (const auto& [section, key, value] : c.reads)
                EXPECT_EQ(ini.ReadString(section, key, "<none>"), value)
                    << c.name << ", " << when << ": " << key.toStdString();
        };
        expectReads("as edited");
        TveqIniFile(path).WriteString("Added", "k", "v");
        expectReads("after a save");
        EXPECT_EQ(TveqIniFile(path).ReadString("Added", "k", {}), "v") << c.name;
        EXPECT_TRUE(folder.Read("Brevio.INI").contains(c.keptBytes)) << c.name;
    }
}

}  // namespace
}  // namespace brevio
