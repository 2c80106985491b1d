#include "platform/FdEvent.h"

#include "platform/Exception.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vo {

TFdEvent::TFdEvent() {
    FFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FFd < 0)
        throw Exception(std::string("TFdEvent.Create: eventfd failed: ") + std::strerror(errno));
}

TFdEvent::~TFdEvent() {
    if (FFd >= 0)
        ::close(FFd);
}

void TFdEvent::SetEvent() {
    const uint64_t one = 1;
    // EAGAIN only when the counter would overflow: it is set then anyway.
    while (::write(FFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

bool TFdEvent::ResetEvent() {
    uint64_t value = 0;
    for (;;) {
        ssize_t n = ::read(FFd, &value, sizeof value);
        if (n == sizeof value)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false; // EAGAIN: was not set
    }
}

bool TFdEvent::WaitFor(int64_t Milliseconds) const {
    pollfd p{FFd, POLLIN, 0};
    int timeout = Milliseconds < 0 ? -1 : (Milliseconds > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(Milliseconds));
    for (;;) {
        int r = ::poll(&p, 1, timeout);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p.revents & POLLIN);
    }
}

} // namespace vo
