// Entry point of the window tests: a widget application on the offscreen platform (unless the
// caller chose another), so the tests run without a display.
#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Caches and other per-user files go to a test folder, never the user's own.
    QStandardPaths::setTestModeEnabled(true);
    Q_INIT_RESOURCE(brevio);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
