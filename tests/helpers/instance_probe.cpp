// A stand-in for a start of the window program, for the one-running-copy tests:
//   instance_probe SETTINGS-FILE show|hidden
// Prints "running" when it became the running copy (then prints "show" for every request to
// show the window, until killed), or "handed over" when another copy runs, and ends then.
#include "ui/single_instance.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    brevio::TSingleInstance instance(QString::fromLocal8Bit(argv[1]));
    const auto say = [](const char* text) {
        std::printf("%s\n", text);
        std::fflush(stdout);
    };
    if (!instance.Claim(qstrcmp(argv[2], "show") == 0)) {
        say("handed over");
        return 0;
    }
    QObject::connect(&instance, &brevio::TSingleInstance::ShowRequested, [&] { say("show"); });
    say("running");
    return app.exec();
}
