#include "child_groups.h"

#include <signal.h>

#include <atomic>

namespace platform {

namespace {

// Lock-free slots rather than a container: a signal handler may read them at any moment.
constexpr int kSlots = 64;
std::atomic<long> groups[kSlots];
static_assert(std::atomic<long>::is_always_lock_free);

}  // namespace

void registerChildGroup(long group) {
    if (group <= 0) {
        return;
    }
    for (auto& slot : groups) {
        long expected = 0;
        if (slot.compare_exchange_strong(expected, group)) {
            return;
        }
    }
}

void unregisterChildGroup(long group) {
    if (group <= 0) {
        return;
    }
    for (auto& slot : groups) {
        long expected = group;
        if (slot.compare_exchange_strong(expected, 0)) {
            return;
        }
    }
}

void signalChildGroups(int signal) {
    for (auto& slot : groups) {
        const long group = slot.load();
        if (group > 0) {
            ::kill(static_cast<pid_t>(-group), signal);
        }
    }
}

}  // namespace platform
