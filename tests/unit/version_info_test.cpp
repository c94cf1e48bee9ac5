#include <gtest/gtest.h>

#include "support/app_version.h"
#include "support/temp_files.h"
#include "support/version_info.h"

namespace brevio {
namespace {

TVersionBlockContents ProgramContents()
{
    TVersionBlockContents contents;
    contents.Fixed = FixedInfoForVersion(QStringLiteral("1.1.1.18"));
    contents.Translations = {0x04E30419};
    contents.Strings = {{"FileVersion", "1.1.1.18"},
                        {"ProductName", "Brevio"},
                        {"Comments", ""},
                        {"LegalCopyright", "Copyright © VEQ labs"}};
    return contents;
}

TVersionInfoReader ReaderOf(const QByteArray& block)
{
    TVersionInfoReader reader(QStringLiteral("/nonexistent"));
    reader.ReadBlock(block);
    return reader;
}

TEST(VersionInfo, StringsOfTheFirstTranslation)
{
    const TVersionInfoReader reader = ReaderOf(WriteVersionBlock(ProgramContents()));
    ASSERT_TRUE(reader.HaveInfo());
    EXPECT_EQ(reader.TranslationCount(), 1);
    EXPECT_EQ(reader.CurrentTranslation(), 0);
    EXPECT_EQ(reader.Translation(0), 0x04E30419u);
    EXPECT_EQ(reader.FixedInfo().FileVersionMS, 0x00010001u);
    EXPECT_EQ(reader.FixedInfo().FileVersionLS, 0x00010012u);
    const struct {
        QString name;
        QString expected;
    } cases[] = {
        {"FileVersion", "1.1.1.18"},
        {"fileversion", "1.1.1.18"},  // keys without regard to case
        {"ProductName", "Brevio"},
        {"LegalCopyright", "Copyright © VEQ labs"},
        {"Comments", ""},
        {"SpecialBuild", ""},  // not in the block
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(reader.StringValue(c.name), c.expected) << c.name.toStdString();
    EXPECT_EQ(reader.StringValue(3), "1.1.1.18");
    EXPECT_EQ(reader.StringValue(9), "Brevio");
    EXPECT_EQ(reader.StringValue(12), "");
    EXPECT_EQ(reader.StringValue(-1), "");
}

TEST(VersionInfo, TranslationSelection)
{
    TVersionBlockContents contents = ProgramContents();
    contents.Translations.append(0x04B00409);
    TVersionInfoReader reader = ReaderOf(WriteVersionBlock(contents));
    EXPECT_EQ(reader.TranslationCount(), 2);
    // The strings lie under the first translation only.
    reader.SetCurrentTranslation(1);
    EXPECT_EQ(reader.StringValue("FileVersion"), "");
    for (int outside : {2, -1, 99}) {
        reader.SetCurrentTranslation(outside);
        EXPECT_EQ(reader.CurrentTranslation(), -1);
        EXPECT_EQ(reader.StringValue("FileVersion"), "");
    }
    reader.SetCurrentTranslation(0);
    EXPECT_EQ(reader.StringValue("FileVersion"), "1.1.1.18");
}

TEST(VersionInfo, BlockWithoutTranslationTableAnswersNothing)
{
    TVersionBlockContents contents = ProgramContents();
    contents.Translations.clear();
    const TVersionInfoReader reader = ReaderOf(WriteVersionBlock(contents));
    EXPECT_TRUE(reader.HaveInfo());
    EXPECT_EQ(reader.CurrentTranslation(), -1);
    for (int i = 0; i < TVersionInfoReader::StandardNames().size(); ++i)
        EXPECT_EQ(reader.StringValue(i), "");
}

TEST(VersionInfo, DamagedBlocksNeverGiveWrongValues)
{
    const QByteArray block = WriteVersionBlock(ProgramContents());
    // Every cut of the block answers the true value or nothing; with any one byte changed the
    // answer still comes from inside the block (the sanitizer builds check the reads).
    for (qsizetype size = 0; size < block.size(); ++size) {
        const TVersionInfoReader reader = ReaderOf(block.left(size));
        const QString version = reader.StringValue("FileVersion");
        EXPECT_TRUE(version.isEmpty() || version == "1.1.1.18") << size;
    }
    for (qsizetype at = 0; at < block.size(); ++at) {
        for (char value : {'\0', '\x7F', '\xFF'}) {
            QByteArray damaged = block;
            damaged[at] = value;
            const QString version = ReaderOf(damaged).StringValue("FileVersion");
            EXPECT_LE(version.size(), block.size() / 2) << at;
        }
    }
}

TEST(VersionInfo, FoundInsideAFile)
{
    test::TempFolder folder;
    const QByteArray block = WriteVersionBlock(ProgramContents());
    // The key alone, without a well-formed block around it, is passed over.
    const QByteArray decoy = block.mid(6, 32);
    const QString file = folder.Write("program", QByteArray(1001, 'x') + decoy + QByteArray(3, 'y') + block + "tail");
    TVersionInfoReader reader(file);
    EXPECT_TRUE(reader.HaveInfo());
    EXPECT_EQ(reader.StringValue("FileVersion"), "1.1.1.18");

    for (const QString& without :
         {folder.Write("plain", "no version here"), folder.Write("empty", ""), folder.Path("missing")}) {
        reader.SetFileName(without);
        EXPECT_FALSE(reader.HaveInfo()) << without.toStdString();
        EXPECT_EQ(reader.StringValue("FileVersion"), "");
        EXPECT_EQ(reader.FixedInfo().Signature, 0u);
    }
}

TEST(VersionInfo, ProgramsCarryTheBuildVersion)
{
    // The window program's file, and this test program's own block, which GetAppVersion reads.
    const TVersionInfoReader program(QStringLiteral(BREVIO_PROGRAM_PATH));
    EXPECT_EQ(program.StringValue("FileVersion"), BREVIO_VERSION);
    EXPECT_EQ(program.StringValue("InternalName"), "brevio");
    EXPECT_EQ(program.StringValue("ProductName"), "Brevio");
    EXPECT_EQ(GetAppVersion(), BREVIO_VERSION);
}

}  // namespace
}  // namespace brevio
