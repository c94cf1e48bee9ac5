#pragma once
// Bounds on what a server may make the clients hold in memory. Whatever a server sends, a client
// never keeps more than these; going past one ends the operation with ELineTooLong or a clear
// protocol error.

#include <QtGlobal>

namespace brevio {

// The most bytes that may come before a line's LF (a CR before the LF counts).
inline constexpr qsizetype kMaxLineLength = 16384;

// The most bytes one reply, one literal or one message header block may hold.
inline constexpr qsizetype kMaxReplyBytes = qsizetype{4} * 1024 * 1024;

// The most bytes a single multi-message fetch may collect before it gives up.
inline constexpr qsizetype kMaxFetchTotalBytes = qsizetype{256} * 1024 * 1024;

// The most messages a mailbox or folder may claim to hold; a larger count is taken as garbage.
inline constexpr qint64 kMaxMessageCount = 10'000'000;

// Bytes asked of the transport in one receive.
inline constexpr qsizetype kRecvBufferSize = 32768;

}  // namespace brevio
