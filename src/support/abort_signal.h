#pragma once
// A thread-safe abort request. The UI thread calls Trigger(); the worker's blocked socket waits
// poll WaitHandle() beside the socket, so a blocked connect, read or write wakes at once.

#include <atomic>
#include <mutex>

namespace brevio {

class TAbortSignal {
public:
    TAbortSignal();
    ~TAbortSignal();
    TAbortSignal(const TAbortSignal&) = delete;
    TAbortSignal& operator=(const TAbortSignal&) = delete;

    void Trigger();  // any thread
    void Reset();    // worker, before the next mailbox; no effect while held
    // Triggers and keeps the signal triggered through every Reset until Release: ends a whole
    // run (every later mailbox too), as when the window closes. Any thread.
    void TriggerAndHold();
    bool IsHeld() const { return held_.load(); }
    void Release();  // clears the hold and the signal
    bool IsTriggered() const { return triggered_.load(); }
    void ThrowIfTriggered() const;              // raises EUserAbort
    int WaitHandle() const { return fds_[0]; }  // readable while triggered

private:
    void ResetLocked();

    std::atomic<bool> triggered_{false};
    std::atomic<bool> held_{false};
    std::mutex mutex_;  // keeps the flag and the pipe's contents in step
    int fds_[2]{-1, -1};
};

}  // namespace brevio
