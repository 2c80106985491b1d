#pragma once
// SerialPort: our own thin layer over a POSIX serial device (termios).
//
// - Open() takes a device path and puts the line into raw mode: no flow control
//   (neither RTS/CTS nor XON/XOFF), no echo, no translation of any byte, so 0x11,
//   0x13, 0x0D, 0x0A, 0x03 ... pass unchanged. The device is held exclusively.
// - Line settings use the coding of the program's port settings: baud rate,
//   data bits 5..8, parity 0 none / 1 odd / 2 even / 3 mark / 4 space, stop bits
//   0 one / 1 one and a half (5 data bits only) / 2 two.
// - Read() never blocks; Fd() is the descriptor to wait on for readiness
//   (POLLIN); Available() tells how many bytes wait in the input buffer.
// - Write() never blocks: what the device does not take at once stays in the
//   port's own write queue and a small writer thread hands it on in order. There
//   is never more than one write in flight per port; bytes are never reordered.
//   A failed write makes the next Write() (and WaitWritten()) raise.
// - Break on/off, purge of either direction.
//
// All failures raise SerialError (a vo::Exception) with errno in Code().
#include "platform/Exception.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace vo {

class SerialError : public Exception {
public:
    SerialError(const std::string& msg, int code) : Exception(msg), FCode(code) {}
    // errno of the failing call, 0 when the failure is not a system error.
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

struct SerialLineSettings {
    std::uint32_t Baud = 9600;
    std::uint8_t DataBits = 8;
    std::uint8_t Parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two

    friend bool operator==(const SerialLineSettings&, const SerialLineSettings&) = default;
};

class SerialPort {
public:
    // Write-queue limit: bytes the device has not taken yet. Beyond it Write()
    // raises instead of growing without bound on a line nobody reads.
    static constexpr std::size_t DefaultMaxQueued = 1 << 20;

    SerialPort();
    ~SerialPort(); // closes
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device for reading and writing, non-blocking, held exclusively,
    // raw mode with the current line settings (default 9600 8N1). portName is
    // the name the user knows the port by ("COM3"); the failure texts give it
    // with the path, "COM3 (/dev/ttyUSB0)".
    // Raises SerialAccessDenied, SerialInUse or SerialNotFound (see below),
    // SerialError for other failures to open, SerialNotCharDevice when the path
    // is no serial device (a file, a folder, /dev/null), SerialLineError when
    // the device refuses the line settings. The port stays closed after any
    // failure.
    void Open(const std::string& path, std::string_view portName = {});
    // Discards whatever is still queued or buffered in both directions and
    // closes the device. Nothing when closed.
    void Close() noexcept;
    bool IsOpen() const noexcept { return FFd >= 0; }
    const std::string& Path() const noexcept { return FPath; } // empty while closed

    // Readable descriptor of the open device (POLLIN when bytes are waiting);
    // -1 when closed.
    int Fd() const noexcept { return FFd; }

    // Line settings. On an open port they are applied at once (raises on values
    // the device refuses; the old settings stay); on a closed port they are
    // checked and kept for the next Open(). Line() returns the settings in use.
    void SetLine(const SerialLineSettings& s);
    SerialLineSettings Line() const;

    // Bytes waiting in the input buffer.
    std::size_t Available() const;
    // Reads up to max bytes that have arrived; 0 when none. Never blocks.
    std::size_t Read(void* buf, std::size_t max);
    std::string Read(std::size_t max);

    // Queues the bytes for sending and returns at once.
    void Write(const void* data, std::size_t n);
    void Write(std::string_view data) { Write(data.data(), data.size()); }
    // Bytes accepted by Write() that the device has not taken yet.
    std::size_t Queued() const;
    // Waits until the queue is empty (true) or the time-out passes (false).
    // Raises when a queued write failed.
    bool WaitWritten(std::chrono::milliseconds timeout);
    void SetMaxQueued(std::size_t bytes);

    // True when the other end is gone (a pseudo-terminal whose master closed,
    // an unplugged adapter): the descriptor then stays readable without data.
    bool HungUp() const;

    void SetBreak(bool on);
    // Drops received bytes not read yet (rx) and/or bytes not sent yet (tx),
    // including the port's own write queue.
    void Purge(bool rx, bool tx);

private:
    void StartWriter();
    void StopWriter() noexcept;
    void WriterLoop(std::stop_token st);
    void DrainLocked(); // FQueueMutex held; one non-blocking write at a time
    [[noreturn]] void Raise(const std::string& what, int err) const;

    int FFd = -1;
    std::string FPath;
    SerialLineSettings FLine;
    mutable std::mutex FLineMutex;

    // Write queue; FQueueMutex also serialises every write(2) on the device.
    mutable std::mutex FQueueMutex;
    std::condition_variable_any FQueueCv;
    std::deque<char> FQueue;
    std::size_t FMaxQueued = DefaultMaxQueued;
    int FWriteError = 0;
    std::jthread FWriter;
};

// The path exists but is not a character device (a file, a folder ...).
class SerialNotCharDevice : public SerialError {
public:
    using SerialError::SerialError;
};

// The device could not be opened for a reason the user can mend; the text
// says what to do.
class SerialOpenError : public SerialError {
public:
    using SerialError::SerialError;
};

// "<port> (<path>): permission denied - add your user to the 'dialout' group
// and log in again"
class SerialAccessDenied : public SerialOpenError {
public:
    using SerialOpenError::SerialOpenError;
};

// "<port> (<path>) is in use by another program": the device is held
// exclusively (or locked) by another holder.
class SerialInUse : public SerialOpenError {
public:
    using SerialOpenError::SerialOpenError;
};

// "<port> (<path>) does not exist - is the adapter plugged in?"
class SerialNotFound : public SerialOpenError {
public:
    using SerialOpenError::SerialOpenError;
};

// The line settings are invalid or the device refuses them.
class SerialLineError : public SerialError {
public:
    using SerialError::SerialError;
};

// Human-readable text of an errno value.
std::string SystemErrorText(int err);

} // namespace vo
