#pragma once
// Pty: a pseudo-terminal pair for tests of serial code. The slave side looks
// like a serial device (slavePath(), e.g. "/dev/pts/7"); the test plays the
// other end of the line on the master side. The slave is set to raw mode at
// once, so nothing written before the port under test opens is echoed or
// translated.
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace vo::test {

class Pty {
public:
    Pty(); // raises std::runtime_error when no pseudo-terminal can be had
    ~Pty(); // closes the master
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const noexcept { return FSlavePath; }
    int masterFd() const noexcept { return FMaster; }

    // Writes all bytes to the master; raises when the pty does not take them
    // within the time-out.
    void write(std::string_view bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads until n bytes arrived or the time-out passed; returns what came.
    std::string read(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Returns what arrives until the line stays quiet for `quiet` (or `timeout`
    // passed in all).
    std::string readQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Drops everything that waits on the master side.
    void drain();
    // Closes the master: the slave side hangs up.
    void closeMaster();

private:
    int FMaster = -1;
    std::string FSlavePath;
};

} // namespace vo::test
