// The settings store's reading and writing rules, on files in a temporary folder.
#include "settings/ini_file.h"
#include "support/temp_files.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <gtest/gtest.h>

namespace brevio {
namespace {

using test::TempFolder;

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

TEST(IniFileRead, ReadingRules)
{
    const ReadCase cases[] = {
        {"names ignore case", "[MAIN]\nFoo=bar\n", "main", "FOO", "bar"},
        {"blanks around value", "[s]\nk =  v w \t\n", "s", "k", "v w"},
        {"blanks around key and section", "  [ s ]  \n  k  = v\n", "s", "k", "v"},
        {"double quotes removed", "[s]\nk=\"a b\"\n", "s", "k", "a b"},
        {"single quotes removed", "[s]\nk='x'\n", "s", "k", "x"},
        {"quotes inside blanks removed", "[s]\nk=  \" x \"  \n", "s", "k", " x "},
        {"unmatched quotes kept", "[s]\nk=\"x'\n", "s", "k", "\"x'"},
        {"one pair of quotes only", "[s]\nk=\"\"x\"\"\n", "s", "k", "\"x\""},
        {"lone quote kept", "[s]\nk=\"\n", "s", "k", "\""},
        {"empty value is not the default", "[s]\nk=\n", "s", "k", ""},
        {"equals sign inside value", "[s]\nk=a=b\n", "s", "k", "a=b"},
        {"first of duplicate keys", "[s]\nk=1\nK=2\n", "s", "k", "1"},
        {"first of duplicate sections", "[s]\nk=1\n[S]\nk=2\n", "s", "k", "1"},
        {"CR LF lines", "[s]\r\nk=v\r\nj=w\r\n", "s", "k", "v"},
        {"no line break at end", "[s]\nk=v", "s", "k", "v"},
        {"key of another section", "[a]\nk=1\n[b]\nj=2\n", "b", "k", "<default>"},
        {"key before any section", "k=1\n[s]\n", "s", "k", "<default>"},
        {"comment line is no key", "[s]\n;k=1\n", "s", ";k", "<default>"},
        {"missing section", "[s]\nk=1\n", "t", "k", "<default>"},
        {"UTF-8 text", "[s]\nk=Пароль ü\n", "s", "k", QString::fromUtf8("Пароль ü")},
        {"byte order mark", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
        {"Windows-1251 file", "[s]\nk=\xCF\xF0\xE8\xE2\xE5\xF2\n", "s", "k", QString::fromUtf8("Привет")},
    };
    for (const ReadCase& c : cases) {
        TempFolder folder;
        TveqIniFile ini(folder.Write("a.ini", c.file));
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.expected) << c.name;
    }
}

TEST(IniFileRead, MissingFileGivesDefaultsAndCreatesNothing)
{
    TempFolder folder;
    TveqIniFile ini(folder.Path("none.ini"));
    EXPECT_EQ(ini.ReadString("Main", "k", "d"), "d");
    EXPECT_EQ(ini.ReadInteger("Main", "k", 7), 7);
    EXPECT_TRUE(ini.ReadBool("Main", "k", true));
    EXPECT_FALSE(QFileInfo::exists(folder.Path("none.ini")));
}

TEST(IniFileRead, LongValueIsCut)
{
    TempFolder folder;
    const QByteArray value(3000, 'x');
    TveqIniFile ini(folder.Write("a.ini", "[s]\nk=" + value + "\n"));
    EXPECT_EQ(ini.ReadString("s", "k", {}).size(), TveqIniFile::MaxValueLength);
}

TEST(IniFileRead, Integers)
{
    struct Case {
        QByteArray text;
        int expected;
    } cases[] = {
        {"-12", -12},
        {"+7", 7},
        {"0x1F", 31},
        {"0X1f", 31},
        {"0xFFFFFFFF", -1},
        {"  42  ", 42},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"2147483648", 99},
        {"0x100000000", 99},
        {"0x", 99},
        {"0xG", 99},
        {"12abc", 99},
        {"1 2", 99},
        {"", 99},
        {"yes", 99},
        {"-", 99},
        {"1.5", 99},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        TveqIniFile ini(folder.Write("a.ini", "[s]\nk=" + c.text + "\n"));
        EXPECT_EQ(ini.ReadInteger("s", "k", 99), c.expected) << c.text.constData();
    }
}

TEST(IniFileRead, Int64AndBooleans)
{
    TempFolder folder;
    TveqIniFile ini(folder.Write("a.ini", "[s]\nbig=9000000000\none=1\ntwo=2\nzero=0\nyes=yes\ntrue=true\nhex=0x0\n"));
    EXPECT_EQ(ini.ReadInt64("s", "big", 0), Q_INT64_C(9000000000));
    EXPECT_EQ(ini.ReadInteger("s", "big", -1), -1);
    EXPECT_TRUE(ini.ReadBool("s", "one", false));
    EXPECT_TRUE(ini.ReadBool("s", "two", false));
    EXPECT_FALSE(ini.ReadBool("s", "zero", true));
    EXPECT_FALSE(ini.ReadBool("s", "hex", true));
    // Words are no integers: the default stands.
    EXPECT_FALSE(ini.ReadBool("s", "yes", false));
    EXPECT_TRUE(ini.ReadBool("s", "true", true));
    EXPECT_FALSE(ini.ReadBool("s", "true", false));
}

class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(saved_); }

private:
    QLocale saved_;
};

TEST(IniFileFloat, UsesTheLocaleDecimalSeparator)
{
    struct Case {
        QLocale::Language language;
        double value;
        QByteArray stored;
    } cases[] = {
        {QLocale::German, 1.5, "1,5"},
        {QLocale::English, 1.5, "1.5"},
        {QLocale::German, 1234567.25, "1234567,25"},  // no group separators
        {QLocale::English, 0.1, "0.1"},
    };
    for (const Case& c : cases) {
        DefaultLocale locale{QLocale(c.language)};
        TempFolder folder;
        {
            TveqIniFile ini(folder.Path("a.ini"));
            ini.WriteFloat("s", "f", c.value);
        }
        EXPECT_EQ(folder.Read("a.ini").trimmed(), "[s]\nf=" + c.stored) << c.stored.constData();
        TveqIniFile ini(folder.Path("a.ini"));
        EXPECT_DOUBLE_EQ(ini.ReadFloat("s", "f", -1), c.value);
    }
    DefaultLocale german{QLocale(QLocale::German)};
    TempFolder folder;
    TveqIniFile ini(folder.Write("a.ini", "[s]\nbad=abc\nthird=0,333333333333333\n"));
    EXPECT_EQ(ini.ReadFloat("s", "bad", 2.5), 2.5);
    EXPECT_NEAR(ini.ReadFloat("s", "third", 0), 1.0 / 3, 1e-14);
}

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* section;
    const char* key;
    QString value;
    QByteArray after;
};

TEST(IniFileWrite, ChangesInPlaceAndKeepsOtherLines)
{
    const WriteCase cases[] = {
        {"new file", "", "Main", "k", "v", "[Main]\nk=v\n"},
        {"replace in place", "[A]\nx=1\n; note\ny=2\n[B]\nz=3\n", "a", "X", "9", "[A]\nx=9\n; note\ny=2\n[B]\nz=3\n"},
        {"new key after last key of section", "[A]\nx=1\n\n[B]\nz=3\n", "A", "n", "5", "[A]\nx=1\nn=5\n\n[B]\nz=3\n"},
        {"new section at end", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n[B]\nk=v\n"},
        {"key keeps its spelling", "[Main]\nNAME0=a\n", "main", "Name0", "b", "[Main]\nNAME0=b\n"},
        {"CR LF file stays CR LF", "[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
        {"line breaks become blanks", "", "s", "k", "a\r\nb\nc\rd", "[s]\nk=a b c d\n"},
        {"blanks kept by quoting", "", "s", "k", " pad ", "[s]\nk=\" pad \"\n"},
        {"quoted value kept by quoting", "", "s", "k", "'q'", "[s]\nk=\"'q'\"\n"},
        {"Windows-1251 file is rewritten as UTF-8", "[s]\nk=\xCF\xF0\xE8\n", "s", "j", "ж", "[s]\nk=При\nj=ж\n"},
    };
    for (const WriteCase& c : cases) {
        TempFolder folder;
        const QString path = c.before.isEmpty() ? folder.Path("a.ini") : folder.Write("a.ini", c.before);
        {
            TveqIniFile ini(path);
            ini.WriteString(c.section, c.key, c.value);
        }
        EXPECT_EQ(folder.Read("a.ini"), c.after) << c.name;
    }
}

TEST(IniFileWrite, ValuesReadBackExactly)
{
    const QString values[] = {
        "plain",
        "",
        " leading",
        "trailing ",
        "\"quoted\"",
        "'single'",
        "\"",
        "a=b=c",
        QString::fromUtf8("Пароль с пробелами"),
        "#;[x]",
        "  \"both\"  ",
    };
    for (const QString& value : values) {
        TempFolder folder;
        TveqIniFile(folder.Path("a.ini")).WriteString("s", "k", value);
        TveqIniFile ini(folder.Path("a.ini"));
        EXPECT_EQ(ini.ReadString("s", "k", "<default>"), value) << value.toStdString();
    }
}

TEST(IniFileWrite, LineBreakCannotInjectAKey)
{
    TempFolder folder;
    TveqIniFile(folder.Path("a.ini")).WriteString("Main", "Name0", "x\nNumMailbox=99\r\n[Other]");
    TveqIniFile ini(folder.Path("a.ini"));
    EXPECT_FALSE(ini.ValueExists("Main", "NumMailbox"));
    EXPECT_FALSE(ini.SectionExists("Other"));
    EXPECT_EQ(ini.ReadString("Main", "Name0", {}), "x NumMailbox=99 [Other]");
}

TEST(IniFileWrite, EveryWriteReachesTheFileAtOnce)
{
    TempFolder folder;
    TveqIniFile writer(folder.Path("a.ini"));
    writer.WriteInteger("s", "a", 1);
    EXPECT_EQ(TveqIniFile(folder.Path("a.ini")).ReadInteger("s", "a", 0), 1);
    writer.WriteBool("s", "b", true);
    EXPECT_EQ(folder.Read("a.ini"), "[s]\na=1\nb=1\n");
}

TEST(IniFileWrite, BatchWritesOnceAtTheEnd)
{
    TempFolder folder;
    folder.Write("a.ini", "[s]\nold=1\n");
    TveqIniFile ini(folder.Path("a.ini"));
    ini.BeginUpdate();
    ini.WriteInteger("s", "a", 1);
    ini.WriteInteger("s", "b", 2);
    EXPECT_EQ(folder.Read("a.ini"), "[s]\nold=1\n");
    ini.EndUpdate();
    EXPECT_EQ(folder.Read("a.ini"), "[s]\nold=1\na=1\nb=2\n");
}

TEST(IniFileWrite, PendingBatchIsWrittenWhenTheObjectGoes)
{
    TempFolder folder;
    {
        TveqIniFile ini(folder.Path("a.ini"));
        ini.BeginUpdate();
        ini.WriteString("s", "k", "v");
    }
    EXPECT_EQ(folder.Read("a.ini"), "[s]\nk=v\n");
}

TEST(IniFileWrite, DeleteKeyAndEraseSection)
{
    TempFolder folder;
    TveqIniFile ini(folder.Write("a.ini", "[a]\nx=1\ny=2\n[b]\nz=3\n[A]\nw=4\n"));
    ini.DeleteKey("A", "X");
    ini.EraseSection("b");
    EXPECT_EQ(folder.Read("a.ini"), "[a]\ny=2\n[A]\nw=4\n");
    EXPECT_EQ(ini.ReadSection("a"), QStringList{"y"});
    ini.EraseSection("a");
    EXPECT_EQ(folder.Read("a.ini"), "");
    EXPECT_FALSE(ini.SectionExists("a"));
}

TEST(IniFileWrite, FailedWriteRaisesAndLeavesNothingBroken)
{
    TempFolder folder;
    // A folder that does not exist: nothing can be written.
    const QString missing = folder.Path("no/such/a.ini");
    TveqIniFile ini(missing);
    try {
        ini.WriteString("s", "k", "v");
        FAIL() << "no error raised";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(e.FileName(), missing);
    }
    EXPECT_FALSE(QFileInfo::exists(missing));

    // The settings path names a folder: the folder stays as it was.
    QDir(folder.Root()).mkdir("dir.ini");
    TveqIniFile onFolder(folder.Path("dir.ini"));
    EXPECT_THROW(onFolder.WriteString("s", "k", "v"), EIniWriteError);
    EXPECT_TRUE(QFileInfo(folder.Path("dir.ini")).isDir());
}

TEST(IniFileWrite, UnwritableFolderKeepsTheOldFile)
{
    TempFolder folder;
    QDir(folder.Root()).mkdir("ro");
    const QString path = folder.Write("ro/a.ini", "[s]\nk=old\n");
    QFile::setPermissions(folder.Path("ro"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (QFileInfo(folder.Path("ro")).isWritable()) {
        QFile::setPermissions(folder.Path("ro"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        GTEST_SKIP() << "permissions are not enforced for this user";
    }
    {
        TveqIniFile ini(path);
        EXPECT_THROW(ini.WriteString("s", "k", "new"), EIniWriteError);
    }
    QFile::setPermissions(folder.Path("ro"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(TveqIniFile(path).ReadString("s", "k", {}), "old");
}

TEST(IniFileWrite, NewFileIsPrivate)
{
    TempFolder folder;
    TveqIniFile(folder.Path("a.ini")).WriteString("Main", "Password0", "secret");
    const auto permissions = QFileInfo(folder.Path("a.ini")).permissions();
    EXPECT_FALSE(permissions & (QFileDevice::ReadOther | QFileDevice::ReadGroup));
}

}  // namespace
}  // namespace brevio
