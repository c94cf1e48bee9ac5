#include "support/abort_signal.h"

#include "support/exception.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace brevio {

// A self-pipe: one byte sits in the pipe while the signal is triggered, so the read end is
// readable exactly then and can be polled beside a socket.
TAbortSignal::TAbortSignal()
{
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) {
        // Without a pipe an abort is still seen at the start of the next operation.
        fds_[0] = fds_[1] = -1;
    }
}

TAbortSignal::~TAbortSignal()
{
    for (int fd : fds_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void TAbortSignal::TriggerAndHold()
{
    held_ = true;
    Trigger();
}

void TAbortSignal::Release()
{
    std::lock_guard lock(mutex_);
    held_ = false;
    ResetLocked();
}

void TAbortSignal::Trigger()
{
    std::lock_guard lock(mutex_);
    if (triggered_.exchange(true))
        return;
    if (fds_[1] >= 0) {
        const char byte = 1;
        while (::write(fds_[1], &byte, 1) < 0 && errno == EINTR) {
        }
    }
}

void TAbortSignal::Reset()
{
    std::lock_guard lock(mutex_);
    if (!held_)
        ResetLocked();
}

void TAbortSignal::ResetLocked()
{
    triggered_ = false;
    if (fds_[0] < 0)
        return;
    char drain[16];
    for (;;) {
        const ssize_t n = ::read(fds_[0], drain, sizeof drain);
        if (n > 0 || (n < 0 && errno == EINTR))
            continue;
        break;
    }
}

void TAbortSignal::ThrowIfTriggered() const
{
    if (triggered_.load())
        throw EUserAbort();
}

}  // namespace brevio
