// A raw header block as a server sends it, split into lines and read into the message record,
// and its spam verdict read as a row keeps it, trusting the topmost or a named server's results.
#include "mime/mail_message.h"
#include "mime/spam_verdict.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    brevio::TMailMessage message;
    message.RawHeaders =
        brevio::SplitHeaderLines(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    message.ParseHeaders();
    // The texts the message list shows.
    (void)message.From.Text();
    for (const brevio::TEmailAddress& address : message.Recipients)
        (void)address.Text();
    const brevio::TSpamVerdict verdict = brevio::ReadSpamVerdict(message.RawHeaders, "mx.example.org");
    if (verdict.HasScore)
        (void)brevio::SpamScoreText(verdict.Score);
    (void)brevio::AuthResultKeyword(verdict.Dmarc);
    return 0;
}
