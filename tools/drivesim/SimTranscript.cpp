#include "tools/drivesim/SimTranscript.h"

#include <cstdio>

namespace vo {

std::string SimTranscriptEntry::Format() const {
    char head[64];
    const char* arrow = direction == SimDirection::In ? "->" : direction == SimDirection::Out ? "<-"
                                                                                              : "xx";
    std::snprintf(head, sizeof head, "%8lld.%03lld ", static_cast<long long>(timeMs / 1000),
                  static_cast<long long>(timeMs % 1000));
    std::string s = head + medium + " " + arrow + " " + SimToHex(frame);
    if (!wire.empty() && wire != frame) s += "  wire: " + SimToHex(wire);
    if (!note.empty()) s += "  [" + note + "]";
    return s;
}

void SimTranscript::Add(SimTranscriptEntry entry) {
    std::function<void(const SimTranscriptEntry&)> listener;
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(entry);
        if (capacity_ && entries_.size() > capacity_ + capacity_ / 4) // trim in batches
            entries_.erase(entries_.begin(), entries_.end() - std::ptrdiff_t(capacity_));
        listener = listener_;
    }
    changed_.notify_all();
    if (listener) listener(entry);
}

std::vector<SimTranscriptEntry> SimTranscript::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<SimBytes> SimTranscript::Frames(SimDirection direction) const {
    std::lock_guard lock(mutex_);
    std::vector<SimBytes> out;
    for (const auto& e : entries_)
        if (e.direction == direction) out.push_back(e.frame);
    return out;
}

size_t SimTranscript::Size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void SimTranscript::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

bool SimTranscript::WaitFor(const std::function<bool(const std::vector<SimTranscriptEntry>&)>& pred,
                            std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(entries_); });
}

bool SimTranscript::WaitForFrames(SimDirection direction, size_t count, std::chrono::milliseconds timeout) const {
    return WaitFor(
        [&](const std::vector<SimTranscriptEntry>& entries) {
            size_t n = 0;
            for (const auto& e : entries)
                if (e.direction == direction) ++n;
            return n >= count;
        },
        timeout);
}

void SimTranscript::SetListener(std::function<void(const SimTranscriptEntry&)> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void SimTranscript::SetCapacity(size_t entries) {
    std::lock_guard lock(mutex_);
    capacity_ = entries;
}

std::string SimTranscript::Dump() const {
    std::string out;
    for (const auto& e : Entries()) out += e.Format() + "\n";
    return out;
}

} // namespace vo
