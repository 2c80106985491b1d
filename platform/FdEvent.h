#pragma once
// An event that poll() can wait on: a Linux eventfd. The thread managers wait
// on these; a port driver can hand one to its reader thread and set it when
// data may be read.
#include <cstdint>

namespace vo {

class TFdEvent {
public:
    TFdEvent(); // not set; raises vo::Exception when the system refuses
    ~TFdEvent();
    TFdEvent(const TFdEvent&) = delete;
    TFdEvent& operator=(const TFdEvent&) = delete;

    // Sets the event (any thread). Setting a set event keeps it set once.
    void SetEvent();
    // Resets the event; true when it was set.
    bool ResetEvent();
    // Waits until the event is set or Milliseconds have passed (-1: no limit);
    // does not reset it. True when set.
    bool WaitFor(int64_t Milliseconds) const;
    // The descriptor to poll for POLLIN.
    int Handle() const { return FFd; }

private:
    int FFd = -1;
};

} // namespace vo
