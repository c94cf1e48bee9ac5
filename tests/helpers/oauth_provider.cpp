// The OAuth2 provider stand-in of the tests as a program of its own, for trying the sign-in by
// hand against the test mail server:
//   oauth_provider PORT [USER]
// serves on 127.0.0.1:PORT (the test server's BREVIO_TEST_OAUTH_PORT, where it also answers the
// server's token questions) until stopped, and signs USER (default alice) in at once.
#include "support/oauth_stand_in.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int port = arguments.value(1).toInt();
    if (port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: oauth_provider PORT [USER]\n");
        return 2;
    }
    brevio::test::TOAuthStandIn provider(static_cast<quint16>(port));
    if (!provider.Listening()) {
        std::fprintf(stderr, "oauth_provider: port %d is taken\n", port);
        return 1;
    }
    provider.SetUser(arguments.value(2, QStringLiteral("alice")));
    std::printf("authorization endpoint: %s\ntoken endpoint: %s\nclient ID: %s\n",
                qPrintable(provider.AuthorizationUrl().toString()), qPrintable(provider.TokenUrl().toString()),
                brevio::test::TOAuthStandIn::kClientId);
    std::fflush(stdout);
    return app.exec();
}
