#pragma once
// A transport for the protocol fuzz targets: the server's side of the conversation is the fuzz
// input, handed out in pieces of varying size; whatever the client sends is dropped. The end of
// the input is the server closing the connection, so no conversation can wait forever.

#include "net/errors.h"
#include "net/line_channel.h"
#include "net/transport.h"

#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <memory>

namespace brevio::fuzz {

class TFuzzTransport : public TTransport {
public:
    explicit TFuzzTransport(QByteArrayView input) : input_(input) {}

    void Open(const QString&, int) override { open_ = true; }
    bool IsOpen() const override { return open_; }
    qsizetype Receive(char* buffer, qsizetype capacity) override
    {
        if (!open_)
            throw ESocketClosed();
        // Piece sizes cycle through small primes, so lines and literals arrive split in every
        // way a socket could split them.
        static constexpr qsizetype kPieces[] = {7, 1, 113, 3, 4096, 29};
        const qsizetype n = std::min({capacity, input_.size() - offset_, kPieces[reads_++ % 6]});
        std::memcpy(buffer, input_.data() + offset_, size_t(n));
        offset_ += n;
        return n;
    }
    void Send(const char*, qsizetype) override
    {
        if (!open_)
            throw ESocketClosed();
    }
    void StartTls(const TTlsOptions&) override { throw ETlsError(QStringLiteral("no TLS here")); }
    void Close() override { open_ = false; }

private:
    QByteArrayView input_;
    qsizetype offset_ = 0;
    int reads_ = 0;
    bool open_ = false;
};

// The clients of the targets connect once, so each transport starts at the input's beginning.
inline TTransportFactory FuzzFactory(QByteArrayView input)
{
    return [input]() { return std::make_unique<TFuzzTransport>(input); };
}

}  // namespace brevio::fuzz
