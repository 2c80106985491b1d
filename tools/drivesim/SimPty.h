#pragma once
// SimPtyTransport: serves one simulated drive on the master side of a
// pseudo-terminal. The program opens the slave side (SlavePath(), e.g.
// "/dev/pts/7") as its serial port. Frames are checked as on RS232: frames with
// a wrong sum and bytes outside frames are noted in the transcript and not
// answered. Reads and writes may come in any pieces; what the line does not
// take at once is written when it can.
//
// The transport keeps a descriptor of the slave open itself, in raw mode, so
// the line stays usable while the program closes and reopens its port, and
// nothing written before the program sets its own mode is echoed or translated.
#include "tools/drivesim/SimRs232.h"
#include "tools/drivesim/SimRunner.h"

#include <atomic>
#include <string>

namespace vo {

class SimPtyTransport : public SimMedium {
public:
    static constexpr const char* kMaster = "rs232";

    // Opens a pseudo-terminal and attaches to the runner; throws vo::Exception
    // when none can be had.
    explicit SimPtyTransport(SimRunner& runner);
    ~SimPtyTransport() override;
    SimPtyTransport(const SimPtyTransport&) = delete;
    SimPtyTransport& operator=(const SimPtyTransport&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // A pause longer than this inside a received frame drops the frame (0: never).
    void SetResyncGapMs(int64_t ms);
    // Sends a frame the drive offers on its own (an unsolicited frame).
    void SendUnsolicited(SimBytes frame, int64_t delayMs = 0) {
        runner_.SendUnsolicited(*this, kMaster, std::move(frame), delayMs);
    }

    std::string Name() const override { return "rs232"; }
    bool IsStream() const override { return true; }
    SimBytes Encode(std::string_view frame, const SimWireEffects& effects) const override;
    void Write(std::string_view wire, const std::string& master) override;
    int PollFd() const override { return master_; }
    short PollEvents() const override;
    void OnPoll(short revents) override;
    // Closes the master side: the program's port sees the line hang up.
    void HangUp() override;

private:
    void Flush();

    SimRunner& runner_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    SimRs232Receiver receiver_;
    std::atomic<int64_t> resyncGapMs_{0};
    SimBytes pending_; // written when the line takes it
};

} // namespace vo
