// The POP3 client reading a server's side of a whole check as a check makes it by default:
// greeting, login, LIST and UIDL together, the headers of the listed messages sent ahead of their
// replies, CAPA, the deletions sent ahead of theirs, QUIT. Then the older one-at-a-time calls on
// what is left of the input. Any protocol failure the client raises is a normal outcome; a
// crash, a hang or unbounded memory is not.
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
    // An odd length takes the one-command-at-a-time way of a server without PIPELINING.
    const bool pipelined = size % 2 == 0;
    try {
        client.Connect();
        if (client.Login(QStringLiteral("user"), QStringLiteral("secret")).Result != TLoginResult::LoggedIn) {
            client.QuitAfterRefusal();
            return 0;
        }
        QList<TPop3ListEntry> listed;
        QList<TPop3UidEntry> ids;
        client.ListWithUidl(pipelined, listed, ids);
        // The headers of the first listed messages, by the numbers the server gave.
        QList<qint32> numbers;
        for (const TPop3ListEntry& entry : listed) {
            if (numbers.size() == 4)
                break;
            numbers.append(entry.Number);
        }
        client.FetchHeaders(numbers, pipelined, [](qint32, TListedHeader& header) { (void)header.Subject.size(); });
        (void)client.Capabilities().Has("PIPELINING");
        client.DeletePipelined({1, 2, 3}, [](qsizetype, const QString& refusal) { (void)refusal.size(); });
        (void)client.CountMessages();
        (void)client.Uidl();
        TMailMessage message;
        client.FetchHeader(1, message);
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
