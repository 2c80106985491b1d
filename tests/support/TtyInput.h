#pragma once
// The input queue of a terminal device, as a test sees it from outside the
// port under test: bytes that reached the device and that nobody read yet.
#include <chrono>
#include <cstddef>
#include <string>

namespace vo::test {

// The number of bytes waiting to be read on the terminal device at Path;
// raises std::runtime_error when it cannot be opened.
std::size_t TtyInputPending(const std::string& Path);

// Waits until at least N bytes wait on the device at Path; false after the
// time-out.
bool WaitForTtyInput(const std::string& Path, std::size_t N, std::chrono::milliseconds Timeout = std::chrono::seconds(5));

} // namespace vo::test
