#pragma once
// Reading whether Caps Lock is on. Windows asks the keyboard state; X11 asks the keyboard
// extension for its indicator lights; elsewhere the state is only known from key events.

#include <optional>

class QKeyEvent;

namespace brevio {

// The Caps Lock state as the platform reports it now; nothing when it cannot be read.
std::optional<bool> QueryCapsLock();

// Tracks the state from key events where the platform cannot be asked: on X11 every key
// event carries the lock modifier of the moment, and the Caps Lock key itself toggles it.
class TCapsLockTracker {
public:
    void Observe(const QKeyEvent& event);
    // The platform's answer when it has one, else the state last seen in key events.
    std::optional<bool> State() const;
    void SetKnown(bool on) { seen_ = on; }

private:
    std::optional<bool> seen_;
};

}  // namespace brevio
