// The window program's arguments: which print and exit, which start it hidden.
#include <gtest/gtest.h>

#include "ui/command_line.h"

namespace brevio {
namespace {

TEST(CommandLine, InformationOrStart)
{
    const struct {
        QStringList Arguments;
        const char* Prints;  // the start of what is printed; null: the program starts
        bool Hidden;
    } cases[] = {
        {{"--help"}, "Usage: brevio", false},
        {{"-h"}, "Usage: brevio", false},
        {{"--version"}, "brevio " BREVIO_VERSION "\n", false},
        {{"-v"}, "brevio " BREVIO_VERSION "\n", false},
        {{}, nullptr, false},
        {{"/minimize"}, nullptr, true},
        {{"--minimize"}, nullptr, true},
        {{"-help"}, nullptr, true},
        // Help only as the one argument; two arguments start the window as usual.
        {{"--help", "x"}, nullptr, false},
    };
    for (const auto& c : cases) {
        const std::optional<QString> printed = InformationRequested(c.Arguments);
        if (c.Prints)
            EXPECT_TRUE(printed && printed->startsWith(QLatin1String(c.Prints))) << c.Arguments.join(' ').toStdString();
        else
            EXPECT_FALSE(printed) << c.Arguments.join(' ').toStdString();
        EXPECT_EQ(StartsHidden(c.Arguments), c.Hidden) << c.Arguments.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace brevio
