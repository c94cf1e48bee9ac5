#pragma once
// The string-table texts the engine shows or logs, each with its key and built-in text.

#include "support/check_context.h"

#include <QString>

namespace brevio {

struct TEngineText {
    const char* Key;
    const char* BuiltIn;
};

namespace texts {
inline constexpr TEngineText ConnectingToPOP3server{"ConnectingToPOP3server", "Connecting to server (%s)..."};
inline constexpr TEngineText ConnectedReceivingMessages{"ConnectedReceivingMessages", "Connected. Receiving messages..."};
inline constexpr TEngineText NewMessageInMailbox{"NewMessageInMailbox", "%d new message(s) in mailbox"};
inline constexpr TEngineText RetrievedMessageHeader{"RetrievedMessageHeader", "Retrieved message header %d from %d"};
inline constexpr TEngineText DeleteMessage{"DeleteMessage", "Delete message %d from %d"};
inline constexpr TEngineText DeleteMessagesFromFolder{"DeleteMessagesFromFolder", "Delete message(s) from folder %s"};
inline constexpr TEngineText FaildToRetriveFolderNames{"FaildToRetriveFolderNames", "Failed to retrieve folder names!"};
inline constexpr TEngineText ErrorSelecting{"ErrorSelecting", "Error selecting "};
}  // namespace texts

inline QString Text(const TCheckContext& context, const TEngineText& text)
{
    return context.Text(QString::fromLatin1(text.Key), QString::fromUtf8(text.BuiltIn));
}

}  // namespace brevio
