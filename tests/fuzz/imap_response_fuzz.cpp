// The IMAP4 client reading a server's side of a whole check: greeting, login, CAPABILITY, LIST,
// SELECT (with QRESYNC enabled, the UID FETCH that names the vanished UIDs), then the fetches a
// check sends ahead of their replies by default (two chunks of headers and sizes, a size pass,
// headers by UID), the search for messages marked deleted and the delete burst of a server with
// UIDPLUS, then the older one-message-at-a-time calls, STORE and EXPUNGE, LOGOUT. Commands are
// tagged C1, C2, ... in order, which the seed corpus follows (the seed "pipelined" answers each
// command in turn). Afterwards every response of the input goes through the pure readers on its
// own.
#include "fuzz_transport.h"
#include "imap/imap_client.h"
#include "imap/imap_response_parser.h"
#include "imap/imap_search.h"
#include "imap/imap_vanished.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace brevio;
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        TImap4Client client(fuzz::FuzzFactory(input));
        client.Host = QStringLiteral("fuzz.invalid");
        try {
            client.Connect();
            if (!client.Login(QStringLiteral("user"), QStringLiteral("secret")).LoggedIn()) {
                client.QuitAfterRefusal();
            } else {
                (void)client.HasCapability("UIDPLUS");
                QList<TImapListEntry> folders;
                client.ListFolders(folders);
                client.SelectFolder(folders.isEmpty() ? QByteArray("INBOX") : folders.first().Name);
                if (client.QresyncEnabled())
                    client.UidFetchVanished("1:4", client.SelectedMailBox().HighestModSeq + 1, [](const auto&) {});
                qsizetype listed = 0;
                const auto count = [&listed](QList<TImapListedMessage>& records) { listed += records.size(); };
                client.FetchPipelined({"1:2", "3:4"}, {.ByUid = false, .WithHeader = true, .InFlight = 2}, count);
                client.FetchPipelined({"1:4"}, {.ByUid = false, .WithHeader = false, .InFlight = 2}, count);
                client.FetchPipelined({"1", "2"}, {.ByUid = true, .WithHeader = true, .InFlight = 1}, count);
                QList<quint32> marked;
                client.UidSearchDeleted(marked);
                client.UidDeleteBurst({1, 2});
                QList<TImapFetchedMessage> messages;
                client.FetchMessages("1:*", messages);
                QByteArray uid;
                if (client.MessageUid(1, uid)) {
                    TMessageFlags flags;
                    client.FetchFlagsByUid(uid, flags);
                    TMailMessage message;
                    client.FetchHeaderByUid(uid, message);
                    (void)client.FetchSizeByUid(uid);
                }
                client.MarkDeleted({1, 2});
                client.UidExpunge({1});
                client.Disconnect();
            }
        } catch (const brevio::Exception&) {
        }
    }
    // The pure readers, one response line at a time.
    for (QByteArray line : input.toByteArray().split('\n')) {
        line.chop(line.endsWith('\r') ? 1 : 0);
        if (line.startsWith("* "))
            line.remove(0, 2);
        (void)ParseImapValues(line);
        (void)ParseListResponse(line);
        (void)ParseFetchResponse(line);
        (void)ParseResponseCode(line);
        (void)ParseExpungeResponse(line);
        (void)ParseFlagList(line);
        (void)ParseCapabilityNames(line);
        (void)ParseSearchResponse(line);
        (void)ParseVanishedResponse(SplitUntagged(line).Rest);
        if (const std::optional<TImapEsearch> found = ParseEsearchResponse(line))
            (void)found->Count();
        TImapFolderInfo info;
        try {
            ApplySelectResponse(info, line);
        } catch (const brevio::Exception&) {
        }
    }
    return 0;
}
