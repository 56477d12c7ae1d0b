// A manual-reset event: once signalled it stays signalled, and testing it
// never consumes the signal. The GUI thread signals; the download worker
// tests it without waiting.
#pragma once

#include <atomic>

namespace flashup {

class CancelEvent {
public:
    void signal() { signalled_.store(true, std::memory_order_release); }
    [[nodiscard]] bool isSignalled() const { return signalled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> signalled_{false};
};

}  // namespace flashup
