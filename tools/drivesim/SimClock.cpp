#include "tools/drivesim/SimClock.h"

#include <vector>

namespace vo {

int SimClock::AddWaker(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    int id = nextId_++;
    wakers_[id] = std::move(wake);
    return id;
}

void SimClock::RemoveWaker(int id) {
    std::lock_guard lock(mutex_);
    wakers_.erase(id);
}

void SimClock::WakeAll() {
    std::lock_guard lock(mutex_);
    for (auto& [id, wake] : wakers_) wake();
}

} // namespace vo
