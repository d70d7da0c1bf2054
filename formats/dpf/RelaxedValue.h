// A value two threads write: the patched VST3 and CLAP wrappers' copies of the
// parameter values, written by a state load on the main thread and by the
// block's changes on the audio thread. Each read and write is a relaxed
// atomic, lock-free, so neither thread waits; which write lands last is as
// it was with a plain value. Starts at zero (false).
#pragma once

#include <atomic>

template <typename T>
class RelaxedValue {
public:
    operator T() const noexcept { return value.load(std::memory_order_relaxed); }
    RelaxedValue& operator=(const T v) noexcept {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    static_assert(std::atomic<T>::is_always_lock_free, "the audio thread never waits");
    std::atomic<T> value{};
};
