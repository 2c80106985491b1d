#include "tests/support/TtyInput.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vo::test {

std::size_t TtyInputPending(const std::string& Path) {
    // A descriptor of its own: the queue belongs to the device, not to the
    // descriptor, and opening it without reading takes nothing away.
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("TtyInputPending: " + Path + ": " + std::strerror(errno));
    int n = 0;
    const int rc = ::ioctl(fd, FIONREAD, &n);
    const int err = errno;
    ::close(fd);
    if (rc != 0)
        throw std::runtime_error("TtyInputPending: " + Path + ": " + std::strerror(err));
    return n > 0 ? static_cast<std::size_t>(n) : 0u;
}

bool WaitForTtyInput(const std::string& Path, std::size_t N, std::chrono::milliseconds Timeout) {
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (TtyInputPending(Path) < N) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace vo::test
