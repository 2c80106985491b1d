#pragma once
// SimRunner: one simulated drive at work. It owns the protocol engine (and so
// the drive), the fault plan and the transcript, and runs the simulator's own
// thread: frames come in from any medium (SimMedium), the drive answers, the
// fault plan shapes the answer, and each frame goes out on its medium at its
// due time. Media with a file descriptor (the pseudo-terminal) are served on
// the same thread.
//
// Media stay independent of the drive: RS232, the in-process link of the tests
// and later UDP or CAN differ only in their SimMedium.
#include "tools/drivesim/SimClock.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimFaults.h"
#include "tools/drivesim/SimProtocol.h"
#include "tools/drivesim/SimTranscript.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vo {

class SimRunner;

// A medium through which masters reach the drive. The runner calls the virtual
// operations on its own thread, one at a time.
class SimMedium {
public:
    virtual ~SimMedium() = default;
    virtual std::string Name() const = 0;
    // A byte stream (RS232) takes its framing faults and byte-wise writes.
    virtual bool IsStream() const { return false; }
    // The bytes on the medium for one frame; throws when the frame cannot be
    // carried (it is then withheld and noted in the transcript).
    virtual SimBytes Encode(std::string_view frame, const SimWireEffects& effects) const {
        return SimBytes(frame);
    }
    // Sends bytes to a master.
    virtual void Write(std::string_view wire, const std::string& master) = 0;
    // A medium with a file descriptor is polled by the runner.
    virtual int PollFd() const { return -1; }
    virtual short PollEvents() const { return 0; }
    virtual void OnPoll(short revents) {}
    // Ends the link as a broken cable or a drive switched off would.
    virtual void HangUp() {}
};

class SimRunner {
public:
    explicit SimRunner(SimDrive drive = SimDrive(), std::shared_ptr<SimClock> clock = nullptr);
    // A described drive with its processing times and fault rules.
    explicit SimRunner(SimDriveDescription description, std::shared_ptr<SimClock> clock = nullptr);
    ~SimRunner();
    SimRunner(const SimRunner&) = delete;
    SimRunner& operator=(const SimRunner&) = delete;

    void Start();
    void Stop(); // joins the thread; answers not yet due are dropped
    bool Running() const;

    // Media register themselves (media must go before their runner); Detach waits until the runner no longer uses
    // the medium. Not to be called from inside the medium's own Write/OnPoll.
    void Attach(SimMedium& medium);
    void Detach(SimMedium& medium);

    // A frame from a master (any thread). `wire` are the bytes it came in as
    // (RS232: with header), `note` marks a frame worth a remark.
    void FrameIn(SimMedium& medium, std::string master, SimBytes frame, SimBytes wire = {},
                 std::string note = {});
    // Received bytes that made no frame (bad check sum, garbage): transcript only.
    void Reject(SimMedium& medium, std::string master, SimBytes wire, std::string note);
    // A frame the drive sends on its own, delayMs from now (any thread).
    void SendUnsolicited(SimMedium& medium, std::string master, SimBytes frame, int64_t delayMs = 0);

    // Exclusive access to the engine and the drive (any thread).
    template <class F>
    auto WithProtocol(F&& f) {
        std::lock_guard lock(mutex_);
        return f(protocol_);
    }
    template <class F>
    auto WithDrive(F&& f) {
        std::lock_guard lock(mutex_);
        return f(protocol_.Drive());
    }

    SimFaultPlan& Faults() { return faults_; }
    SimTranscript& Transcript() { return transcript_; }
    SimClock& Clock() { return *clock_; }
    int64_t NowMs() const { return clock_->NowMs(); }

private:
    struct Inbound {
        SimMedium* medium;
        std::string master;
        SimBytes frame;
        SimBytes wire;
        std::string note;
        int64_t timeMs;
    };
    struct Outbound {
        int64_t dueMs;
        uint64_t seq;
        SimMedium* medium;
        std::string master;
        SimBytes frame;
        SimBytes wire; // the bytes to write now
        SimBytes recordWire; // all bytes of the frame, for the transcript
        std::string note;
        bool record; // the first piece of a frame carries the transcript entry
    };

    void Loop();
    void Wake();
    void Process(const Inbound& in); // under mutex_
    void Schedule(SimMedium& medium, const std::string& master, int64_t dueMs, const SimEmission& e); // under mutex_
    std::vector<Outbound> TakeDue(int64_t nowMs, int64_t& nextDue); // under mutex_

    std::shared_ptr<SimClock> clock_;
    int wakeFd_ = -1;
    int wakerId_ = 0;

    mutable std::mutex mutex_; // protocol, queues, media list
    std::mutex ioMutex_; // held while the runner is inside a medium
    SimProtocol protocol_;
    std::deque<Inbound> inbound_;
    std::vector<Outbound> outbound_;
    uint64_t seq_ = 0;
    std::vector<SimMedium*> media_;

    SimFaultPlan faults_;
    SimTranscript transcript_;

    std::thread thread_;
    bool stop_ = false;
};

// The in-process medium: frames are handed over as they are, without framing.
// The master side sends with Send (any thread) and receives through its sink,
// which the runner calls on the simulator's thread. This is what a test-side
// port driver of the communication server wraps.
class SimFrameLink : public SimMedium {
public:
    using Sink = std::function<void(std::string_view frame)>;

    explicit SimFrameLink(SimRunner& runner, std::string name = "inproc", std::string master = "inproc");
    ~SimFrameLink() override;

    // Frames from the drive. The sink must not call SetSink or destroy the link.
    void SetSink(Sink sink);
    void Send(std::string_view frame);
    const std::string& Master() const { return master_; }

    std::string Name() const override { return name_; }
    void Write(std::string_view wire, const std::string& master) override;

private:
    SimRunner& runner_;
    std::string name_;
    std::string master_;
    std::mutex sinkMutex_;
    Sink sink_;
};

} // namespace vo
