#pragma once
// The in-process transport of the tests: a port driver that hands every frame
// to a simulated drive (tools/drivesim) through an in-process link, without any
// medium in between. The simulator answers on its own thread; the answers are
// queued and delivered to the device drivers by one receive task per device
// index on the server's scheduler, the way the real drivers' receive paths do.
//
// Header only: it needs the comm and drivesim libraries, which only the tests
// of the communication layer link.
#include "comm/PortDrv.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/Exception.h"
#include "tools/drivesim/SimRunner.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vo::test {

class TSimPortDriver : public TPortDriver {
public:
    // APortCount device indices; the port type decides the trace format
    // ("CAN" and "ETH" have their own, any other shows the port name).
    explicit TSimPortDriver(int32_t APortCount = 1, MyAnsiString APortType = "SIM") : TPortDriver(APortCount) {
        SetPortType(std::move(APortType));
    }
    ~TSimPortDriver() override { CloseMedium(true); }

    // Connects a device index to the drive of Runner (before or after Open).
    // The drive sees the frames as coming from Master.
    void Connect(int32_t PortIndex, SimRunner& Runner, std::string Master = "inproc", std::string Medium = "inproc") {
        std::lock_guard lock(FLinksLock);
        auto& l = FLinks[PortIndex];
        l = std::make_unique<TLink>();
        l->Link = std::make_unique<SimFrameLink>(Runner, std::move(Medium), std::move(Master));
        if (PortIsOpen())
            StartLink(PortIndex, *l);
    }

    void Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) override {
        if (PortIsOpen())
            return;
        if (FailOpen.load())
            return; // the medium did not open: the driver stays closed
        TPortDriver::Open(AScheduler, AThreadManager);
        std::lock_guard lock(FLinksLock);
        for (auto& [index, l] : FLinks)
            StartLink(index, *l);
        ++OpenCount;
    }

    // Stays open while a device index is still bound (like the CAN and
    // Ethernet drivers).
    void Close() override { CloseMedium(false); }

    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override {
        if (ThrowOnSend.load() > 0) {
            --ThrowOnSend;
            throw Exception("TSimPortDriver.Send: the medium failed");
        }
        if (FailOnSend.load() > 0) {
            --FailOnSend;
            return OvraResSendFailed;
        }
        std::lock_guard lock(FLinksLock);
        auto it = FLinks.find(PortIndex);
        if (it == FLinks.end())
            return OvraResSendFailed;
        it->second->Link->Send(Msg);
        ++Sent;
        return 0;
    }

    // The link of a device index (nullptr when not connected), e.g. to have
    // the drive send an unsolicited frame through it.
    SimFrameLink* Link(int32_t PortIndex) {
        std::lock_guard lock(FLinksLock);
        auto it = FLinks.find(PortIndex);
        return it == FLinks.end() ? nullptr : it->second->Link.get();
    }

    // Knobs of the tests.
    std::atomic<int> ThrowOnSend{0}; // the next n sends raise
    std::atomic<int> FailOnSend{0}; // the next n sends return 0x8F
    std::atomic<bool> FailOpen{false}; // Open leaves the driver closed
    std::atomic<int> Sent{0};
    std::atomic<int> OpenCount{0};
    // The drive's next n frames are held and reach the device drivers
    // together, in one delivery, as frames that arrived at once do; then
    // frames go one by one again. Makes "already queued" deterministic.
    std::atomic<int> DeliverNextFramesTogether{1};

private:
    struct TLink {
        ~TLink() {
            if (Link)
                Link->SetSink(nullptr); // no delivery into the queue below any more
        }
        std::unique_ptr<SimFrameLink> Link;
        std::unique_ptr<TMxQueue> RxQueue;
        std::unique_ptr<TMxTask> RxTask;
        std::mutex FramesLock;
        std::vector<MyAnsiString> Held; // frames of an incomplete group
        std::vector<MyAnsiString> Ready; // frames to deliver
    };

    // Under FLinksLock, with the driver open.
    void StartLink(int32_t Index, TLink& L) {
        if (L.RxTask)
            return;
        L.RxQueue = std::make_unique<TMxQueue>();
        L.RxTask = std::make_unique<TMxTask>(*Scheduler(), "SimPortDriver.Open");
        TMxQueue* rx = L.RxQueue.get();
        TLink* link = &L;
        L.RxTask->SetOnExecute([this, Index, rx, link](TMxTask& Task) {
            if (TMxMessage* msg = rx->GetMessage()) {
                TMxMessage::Free(msg);
                std::vector<MyAnsiString> frames;
                {
                    std::lock_guard lock(link->FramesLock);
                    frames.swap(link->Ready);
                }
                for (const auto& frame : frames)
                    Input(Index, frame);
            }
            Task.WaitFor(*rx, MxInfinite);
        });
        L.RxTask->Start();
        // Called on the simulator's thread.
        L.Link->SetSink([this, rx, link](std::string_view frame) {
            {
                std::lock_guard lock(link->FramesLock);
                link->Held.emplace_back(frame);
                const int together = DeliverNextFramesTogether.load();
                if (together > 1 && link->Held.size() < static_cast<size_t>(together))
                    return;
                for (auto& f : link->Held)
                    link->Ready.push_back(std::move(f));
                link->Held.clear();
                if (together > 1)
                    DeliverNextFramesTogether.store(1);
            }
            rx->PutMessage(TMxMessage::Create()); // wakes the receive task
        });
    }

    void CloseMedium(bool Always) {
        if (!PortIsOpen())
            return;
        if (!Always)
            for (int32_t i = 0; i < PortCount() && i < 4096; ++i)
                if (IsBound(i))
                    return;
        {
            std::lock_guard lock(FLinksLock);
            for (auto& [index, l] : FLinks) {
                l->Link->SetSink(nullptr); // waits for a delivery in progress
                l->RxTask.reset();
                l->RxQueue.reset();
            }
            if (Always)
                FLinks.clear();
        }
        TPortDriver::Close();
    }

    std::mutex FLinksLock;
    std::map<int32_t, std::unique_ptr<TLink>> FLinks;
};

} // namespace vo::test
