#pragma once
// The protocol trace: where the lines of a conversation go when the user asked for a trace.

#include <QByteArray>
#include <functional>

namespace brevio {

// One line of the protocol trace, already formatted as "C: ..." or "S: ...", passwords masked.
using TTraceSink = std::function<void(const QByteArray& line)>;

}  // namespace brevio
