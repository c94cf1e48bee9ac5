#include "net/failure.h"

#include "support/text_format.h"

#include <array>
#include <utility>

namespace brevio {

namespace {

using K = TFailureKind;

// The text of each kind, in the order of TFailureKind (Verbatim has none).
constexpr std::array<texts::TTextId, kFailureKindCount - 1> kKindTexts{
    texts::ConnectionClosedGracefully,
    texts::AlreadyConnected,
    texts::Disconnected,
    texts::ReadTimeout,
    texts::MaxLineLengthExceeded,
    texts::NotConnected,
    texts::CannotAllocateSocket,
    texts::CannotBindSocket,
    texts::SocketErrorNumber,
    texts::TlsAlreadyActive,
    texts::TlsExtraCertificatesUnreadable,
    texts::TlsCannotSetUp,
    texts::TlsCannotCheckHostName,
    texts::TlsHandshakeFailed,
    texts::TlsHandshakeOldProtocol,
    texts::TlsHandshakeWeakKey,
    texts::TlsHandshakeWeakKeyExchange,
    texts::TlsHandshakeNotTls,
    texts::TlsHandshakeNoSharedCipher,
    texts::TlsHandshakeServerClosed,
    texts::TlsHandshakeFailed,  // the classic error's words take the library's place
    texts::TlsNoCertificate,
    texts::TlsErrorFrom,
    texts::Pop3UnrecognizedReply,
    texts::Pop3NoStls,
    texts::Pop3StlsRefused,
    texts::CredentialsLineBreak,
    texts::ApopNoTimestamp,
    texts::ApopNoMd5,
    texts::Pop3UnreadableCount,
    texts::ImapUnrecognizedReply,
    texts::ImapWrongState,
    texts::ImapPreauthNoStarttls,
    texts::ImapNoStarttls,
    texts::ImapStarttlsRefused,
    texts::ImapLoginDisabled,
    texts::ImapNulByte,
    texts::ImapUnreadableCount,
    texts::NumberBelowOne,
    texts::UidBelowOne,
    texts::UidNotDigits,
    texts::UidEmpty,
    texts::SequenceSetInvalid,
    texts::TokenNeedsTls,
    texts::TokenMissing,
    texts::TokenUnsendable,
    texts::TokenNotOffered,
    texts::TokenAcceptedEarly,
    texts::TokenSecondChallenge,
};

// The classic socket error numbers that have words, from 10004 on.
constexpr std::array<std::pair<int, texts::TTextId>, 39> kSocketErrorTexts{{
    {10004, texts::SocketError10004}, {10009, texts::SocketError10009}, {10013, texts::SocketError10013},
    {10014, texts::SocketError10014}, {10022, texts::SocketError10022}, {10024, texts::SocketError10024},
    {10035, texts::SocketError10035}, {10036, texts::SocketError10036}, {10037, texts::SocketError10037},
    {10038, texts::SocketError10038}, {10039, texts::SocketError10039}, {10040, texts::SocketError10040},
    {10041, texts::SocketError10041}, {10042, texts::SocketError10042}, {10043, texts::SocketError10043},
    {10044, texts::SocketError10044}, {10045, texts::SocketError10045}, {10046, texts::SocketError10046},
    {10047, texts::SocketError10047}, {10048, texts::SocketError10048}, {10049, texts::SocketError10049},
    {10050, texts::SocketError10050}, {10051, texts::SocketError10051}, {10052, texts::SocketError10052},
    {10053, texts::SocketError10053}, {10054, texts::SocketError10054}, {10055, texts::SocketError10055},
    {10056, texts::SocketError10056}, {10057, texts::SocketError10057}, {10058, texts::SocketError10058},
    {10059, texts::SocketError10059}, {10060, texts::SocketError10060}, {10061, texts::SocketError10061},
    {10062, texts::SocketError10062}, {10063, texts::SocketError10063}, {10064, texts::SocketError10064},
    {10065, texts::SocketError10065}, {10066, texts::SocketError10066}, {11001, texts::SocketError11001},
}};

QString SocketErrorWords(const QString& code, const TStringTable& strings)
{
    const std::optional<texts::TTextId> id = SocketErrorTextId(code.toInt());
    return id ? strings.Text(*id) : QString();
}

}  // namespace

std::optional<texts::TTextId> FailureTextId(TFailureKind kind)
{
    const int index = int(kind) - 1;
    if (index < 0 || index >= int(kKindTexts.size()))
        return std::nullopt;
    return kKindTexts[std::size_t(index)];
}

std::optional<texts::TTextId> SocketErrorTextId(int code)
{
    for (const auto& [number, id] : kSocketErrorTexts)
        if (number == code)
            return id;
    return std::nullopt;
}

QString FailureWords(const TFailure& failure, const TStringTable& strings)
{
    const std::optional<texts::TTextId> id = FailureTextId(failure.Kind);
    if (!id)
        return failure.Args.value(0);
    const QString text = strings.Text(*id);
    const QStringList& args = failure.Args;
    switch (failure.Kind) {
    case K::SocketError: {
        // The number on a line of its own, then the system's words or the number's own.
        const QString detail = args.value(1).isEmpty() ? SocketErrorWords(args.value(0), strings) : args.value(1);
        return FormatTextList(text, {args.value(0)}) + QStringLiteral("\r\n") + detail;
    }
    case K::TlsHandshakeSocketError:
        return FormatTextList(text, {args.value(0), SocketErrorWords(args.value(1), strings)});
    case K::Pop3UnrecognizedReply:
        // The reply in quotes on the next line, as it came.
        return text + QStringLiteral("\n\"") + args.value(0) + u'"';
    default:
        return FormatTextList(text, args);
    }
}

}  // namespace brevio
