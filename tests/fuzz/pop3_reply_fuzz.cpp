// The POP3 client reading a server's side of a whole check: greeting, login, STAT, UIDL, the
// headers and sizes of the first messages, CAPA, a deletion and QUIT. Any protocol failure the
// client raises is a normal outcome; a crash, a hang or unbounded memory is not.
#include "fuzz_transport.h"
#include "pop3/pop3_client.h"
#include "pop3/pop3_reply_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace brevio;
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    TPop3Client client(fuzz::FuzzFactory(input));
    client.Host = QStringLiteral("fuzz.invalid");
    // Input starting with "+OK <" exercises the APOP login, as a greeting with a timestamp would.
    client.APOP = input.size() > 5 && input[4] == '<';
    try {
        client.Connect();
        if (client.Login(QStringLiteral("user"), QStringLiteral("secret")).Result != TLoginResult::LoggedIn) {
            client.QuitAfterRefusal();
            return 0;
        }
        const qint32 count = client.CountMessages();
        (void)client.Uidl();
        for (qint32 n = 1; n <= count && n <= 3; ++n) {
            TMailMessage message;
            client.FetchHeader(n, message);
        }
        (void)client.Capabilities().Has("PIPELINING");
        client.DeleteMessage(1);
        client.Disconnect();
    } catch (const brevio::Exception&) {
    }
    // The pure readers take any line.
    for (const QByteArray& line : input.toByteArray().split('\n')) {
        (void)ParsePop3StatCount(line);
        (void)ParsePop3ListSize(line);
        (void)ParsePop3UidLine(line);
        (void)ApopTimestamp(line);
    }
    return 0;
}
