// A raw header block as a server sends it, split into lines and read into the message record,
// and its spam verdict read as a row keeps it, trusting the topmost or a named server's results;
// then read as a listing reads it, from lines that share the block's bytes.
#include "mime/mail_message.h"
#include "mime/spam_verdict.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray block = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    brevio::TMailMessage message;
    message.RawHeaders = brevio::SplitHeaderLines(block);
    message.ParseHeaders();
    // The texts the message list shows.
    (void)message.From.Text();
    for (const brevio::TEmailAddress& address : message.Recipients)
        (void)address.Text();
    const brevio::TSpamVerdict verdict = brevio::ReadSpamVerdict(message.RawHeaders, "mx.example.org");
    if (verdict.HasScore)
        (void)brevio::SpamScoreText(verdict.Score);
    (void)brevio::AuthResultKeyword(verdict.Dmarc);
    // A copy of its own, so reading past the block's end shows as such.
    const QByteArray owned(block.constData(), block.size());
    (void)brevio::ParseListedHeaderBlock(owned, "mx.example.org").From.Text();
    return 0;
}
