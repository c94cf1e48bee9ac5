// Build tool: writes the version block of one program.
//   brevio_version_block OUTPUT VERSION INTERNAL-NAME DESCRIPTION
#include <QFile>

#include "support/version_info.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fputs("usage: brevio_version_block OUTPUT VERSION INTERNAL-NAME DESCRIPTION\n", stderr);
        return 2;
    }
    const QString version = QString::fromUtf8(argv[2]);
    const QString name = QString::fromUtf8(argv[3]);
    brevio::TVersionBlockContents contents;
    contents.Fixed = brevio::FixedInfoForVersion(version);
    // One translation: Russian in the Windows-1251 code page, as the program has always carried.
    contents.Translations = {0x04E30419};
    contents.Strings = {
        {QStringLiteral("CompanyName"), QStringLiteral("VEQ labs")},
        {QStringLiteral("FileDescription"), QString::fromUtf8(argv[4])},
        {QStringLiteral("FileVersion"), version},
        {QStringLiteral("InternalName"), name},
        {QStringLiteral("LegalCopyright"), QStringLiteral("Copyright © VEQ labs")},
        {QStringLiteral("OriginalFileName"), name},
        {QStringLiteral("ProductName"), QStringLiteral("Brevio")},
        {QStringLiteral("ProductVersion"), version},
    };
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(brevio::WriteVersionBlock(contents)) < 0) {
        std::fprintf(stderr, "brevio_version_block: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
