#include "tools/drivesim/SimRunner.h"

#include "platform/Exception.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace vo {

SimRunner::SimRunner(SimDrive drive, std::shared_ptr<SimClock> clock)
    : clock_(clock ? std::move(clock) : std::make_shared<SimSteadyClock>()), protocol_(std::move(drive)) {
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0)
        throw Exception(std::string("SimRunner.Create: no event descriptor: ") + std::strerror(errno));
    wakerId_ = clock_->AddWaker([this] { Wake(); });
}

SimRunner::SimRunner(SimDriveDescription description, std::shared_ptr<SimClock> clock)
    : SimRunner(std::move(description.drive), std::move(clock)) {
    protocol_.SetDefaultDelay(description.defaultDelay);
    for (const auto& [cmd, ms] : description.delays) protocol_.SetDelay(cmd, ms);
    for (auto& rule : description.faults) faults_.Add(std::move(rule));
}

SimRunner::~SimRunner() {
    Stop();
    clock_->RemoveWaker(wakerId_);
    ::close(wakeFd_);
}

void SimRunner::Start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return;
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
}

void SimRunner::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        stop_ = true;
    }
    Wake();
    thread_.join();
    std::lock_guard lock(mutex_);
    outbound_.clear();
}

bool SimRunner::Running() const {
    std::lock_guard lock(mutex_);
    return thread_.joinable() && !stop_;
}

void SimRunner::Wake() {
    uint64_t one = 1;
    ssize_t n = ::write(wakeFd_, &one, sizeof one);
    (void)n; // a full counter still wakes the loop
}

void SimRunner::Attach(SimMedium& medium) {
    {
        std::lock_guard lock(mutex_);
        if (std::find(media_.begin(), media_.end(), &medium) == media_.end()) media_.push_back(&medium);
    }
    Wake(); // the loop polls the new descriptor
}

void SimRunner::Detach(SimMedium& medium) {
    std::lock_guard io(ioMutex_);
    std::lock_guard lock(mutex_);
    media_.erase(std::remove(media_.begin(), media_.end(), &medium), media_.end());
    inbound_.erase(std::remove_if(inbound_.begin(), inbound_.end(),
                                  [&](const Inbound& i) { return i.medium == &medium; }),
                   inbound_.end());
    outbound_.erase(std::remove_if(outbound_.begin(), outbound_.end(),
                                   [&](const Outbound& o) { return o.medium == &medium; }),
                    outbound_.end());
}

void SimRunner::FrameIn(SimMedium& medium, std::string master, SimBytes frame, SimBytes wire, std::string note) {
    {
        std::lock_guard lock(mutex_);
        if (std::find(media_.begin(), media_.end(), &medium) == media_.end()) return; // not (or no more) attached
        inbound_.push_back(
            Inbound{&medium, std::move(master), std::move(frame), std::move(wire), std::move(note), clock_->NowMs()});
    }
    Wake();
}

void SimRunner::Reject(SimMedium& medium, std::string master, SimBytes wire, std::string note) {
    transcript_.Add(SimTranscriptEntry{clock_->NowMs(), medium.Name(), SimDirection::In, std::move(master), {}, std::move(wire), std::move(note)});
}

void SimRunner::SendUnsolicited(SimMedium& medium, std::string master, SimBytes frame, int64_t delayMs) {
    {
        std::lock_guard lock(mutex_);
        SimEmission e{0, std::move(frame), SimEmissionKind::Unsolicited, {}, "unsolicited"};
        Schedule(medium, master, clock_->NowMs() + delayMs, e);
    }
    Wake();
}

// ---------------------------------------------------------------- the drive at work

void SimRunner::Process(const Inbound& in) {
    const std::string mediumName = in.medium->Name();
    if (in.frame.empty()) {
        // Nothing to answer: an empty frame has no command byte.
        transcript_.Add(SimTranscriptEntry{in.timeMs, mediumName, SimDirection::In, in.master, in.frame, in.wire,
                                           in.note.empty() ? "empty frame" : in.note});
        return;
    }
    const uint8_t cmd = uint8_t(in.frame[0]);
    SimFaultPlan::Match match = faults_.Arrive(cmd, mediumName, in.frame);

    std::string note = in.note;
    for (const auto& f : match.outcome.fired) {
        if (!note.empty()) note += "; ";
        note += "fault " + f;
    }
    if (!match.outcome.execute) note += note.empty() ? "not executed" : "; not executed";
    transcript_.Add(SimTranscriptEntry{in.timeMs, mediumName, SimDirection::In, in.master, in.frame, in.wire, note});
    if (std::any_of(match.rules.begin(), match.rules.end(), [](const SimFaultRule& r) { return r.action == SimFault::HangUp; })) {
        in.medium->HangUp();
        return;
    }

    std::optional<SimBytes> answer;
    int64_t delay = protocol_.DelayOf(cmd); // a refusal takes the drive its time as well
    if (match.outcome.execute) {
        if (auto a = protocol_.Answer(in.frame, SimContext{in.master, in.timeMs})) {
            answer = std::move(a->frame);
            delay = a->delayMs;
        }
    }
    auto emissions = SimFaultPlan::Shape(match, cmd, answer, delay);
    bool answered = std::any_of(emissions.begin(), emissions.end(),
                                [](const SimEmission& e) { return e.kind == SimEmissionKind::Answer; });
    if (answer && !answered)
        transcript_.Add(SimTranscriptEntry{in.timeMs + delay, mediumName, SimDirection::Withheld, in.master, *answer, {}, "answer dropped"});
    for (const auto& e : emissions) Schedule(*in.medium, in.master, in.timeMs + e.offsetMs, e);
}

void SimRunner::Schedule(SimMedium& medium, const std::string& master, int64_t dueMs, const SimEmission& e) {
    SimBytes wire;
    try {
        wire = medium.Encode(e.frame, medium.IsStream() ? e.wire : SimWireEffects{});
    } catch (const std::exception& ex) {
        transcript_.Add(SimTranscriptEntry{dueMs, medium.Name(), SimDirection::Withheld, master, e.frame, {}, ex.what()});
        return;
    }
    if (medium.IsStream() && e.wire.byteByByte && wire.size() > 1) {
        for (size_t i = 0; i < wire.size(); ++i)
            outbound_.push_back(Outbound{dueMs + int64_t(i) * e.wire.byteGapMs, seq_++, &medium, master, e.frame,
                                         wire.substr(i, 1), i == 0 ? wire : SimBytes(), e.note, i == 0});
        return;
    }
    outbound_.push_back(Outbound{dueMs, seq_++, &medium, master, e.frame, wire, wire, e.note, true});
}

std::vector<SimRunner::Outbound> SimRunner::TakeDue(int64_t nowMs, int64_t& nextDue) {
    std::stable_sort(outbound_.begin(), outbound_.end(), [](const Outbound& a, const Outbound& b) {
        return a.dueMs != b.dueMs ? a.dueMs < b.dueMs : a.seq < b.seq;
    });
    std::vector<Outbound> due;
    size_t n = 0;
    while (n < outbound_.size() && outbound_[n].dueMs <= nowMs) ++n;
    due.assign(std::make_move_iterator(outbound_.begin()), std::make_move_iterator(outbound_.begin() + std::ptrdiff_t(n)));
    outbound_.erase(outbound_.begin(), outbound_.begin() + std::ptrdiff_t(n));
    nextDue = outbound_.empty() ? INT64_MAX : outbound_.front().dueMs;
    return due;
}

void SimRunner::Loop() {
    std::vector<pollfd> fds;
    std::vector<SimMedium*> polled;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            while (!inbound_.empty()) {
                Inbound in = std::move(inbound_.front());
                inbound_.pop_front();
                Process(in);
            }
        }

        int64_t nextDue = INT64_MAX;
        {
            std::lock_guard io(ioMutex_);
            std::vector<Outbound> due;
            {
                std::lock_guard lock(mutex_);
                due = TakeDue(clock_->NowMs(), nextDue);
            }
            for (const auto& d : due) {
                if (d.record)
                    transcript_.Add(SimTranscriptEntry{d.dueMs, d.medium->Name(), SimDirection::Out, d.master, d.frame,
                                                       d.recordWire, d.note});
                try {
                    d.medium->Write(d.wire, d.master);
                } catch (const std::exception& ex) {
                    transcript_.Add(SimTranscriptEntry{d.dueMs, d.medium->Name(), SimDirection::Withheld, d.master,
                                                       d.frame, d.wire, std::string("write failed: ") + ex.what()});
                }
            }
        }

        fds.clear();
        polled.clear();
        fds.push_back(pollfd{wakeFd_, POLLIN, 0});
        {
            std::lock_guard io(ioMutex_);
            std::lock_guard lock(mutex_);
            if (!inbound_.empty()) continue; // new frames came while writing
            for (SimMedium* m : media_) {
                int fd = m->PollFd();
                if (fd < 0) continue;
                fds.push_back(pollfd{fd, m->PollEvents(), 0});
                polled.push_back(m);
            }
        }
        int timeout = -1;
        if (nextDue != INT64_MAX && !clock_->IsManual()) {
            int64_t wait = nextDue - clock_->NowMs();
            timeout = int(std::clamp<int64_t>(wait, 0, INT_MAX));
        } else if (nextDue != INT64_MAX && nextDue <= clock_->NowMs()) {
            timeout = 0;
        }
        int rc = ::poll(fds.data(), fds.size(), timeout);
        if (rc < 0 && errno != EINTR) continue;
        if (fds[0].revents & POLLIN) {
            uint64_t v;
            while (::read(wakeFd_, &v, sizeof v) > 0) {
            }
        }
        std::lock_guard io(ioMutex_);
        for (size_t i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            SimMedium* m = polled[i - 1];
            {
                std::lock_guard lock(mutex_);
                if (std::find(media_.begin(), media_.end(), m) == media_.end()) continue;
            }
            try {
                m->OnPoll(fds[i].revents);
            } catch (const std::exception& ex) {
                transcript_.Add(SimTranscriptEntry{clock_->NowMs(), m->Name(), SimDirection::In, {}, {}, {}, std::string("medium failed: ") + ex.what()});
            }
        }
    }
}

// ---------------------------------------------------------------- in-process link

SimFrameLink::SimFrameLink(SimRunner& runner, std::string name, std::string master)
    : runner_(runner), name_(std::move(name)), master_(std::move(master)) {
    runner_.Attach(*this);
}

SimFrameLink::~SimFrameLink() { runner_.Detach(*this); }

void SimFrameLink::SetSink(Sink sink) {
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void SimFrameLink::Send(std::string_view frame) { runner_.FrameIn(*this, master_, SimBytes(frame)); }

void SimFrameLink::Write(std::string_view wire, const std::string& master) {
    std::lock_guard lock(sinkMutex_);
    if (sink_) sink_(wire);
}

} // namespace vo
