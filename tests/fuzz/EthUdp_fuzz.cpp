// Fuzz target of the Ethernet link's receive side: datagrams of any content
// from any of a few addresses reach the device bound to the sender's address
// and no other, whole and in order, and the driver keeps the last one.
//
// Input: records of [address index 0..3] [length] [bytes]; addresses 0 to 2
// are bound (as devices are), 3 is not.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "comm/ETHdrv.h"
#include "kernel/MxMLib20.h"
#include "kernel/ThrdMan.h"

namespace {

[[noreturn]] void Fail(const char* What) {
    std::fprintf(stderr, "fuzz check failed: %s\n", What);
    std::abort();
}

constexpr int32_t Address(int Index) {
    return static_cast<int32_t>(0x7F000010u + static_cast<uint32_t>(Index));
}

struct TSetup {
    TSetup() {
        vo::MxEnsureMessaging();
        Driver.Open(Scheduler, Threads);
        for (int a = 0; a < 3; ++a)
            if (Driver.Assign(
                    Address(a), [this, a](int32_t, const std::string& F) { Got[a].push_back(F); }, nullptr) != 0)
                Fail("binding failed");
    }
    vo::TMxScheduler Scheduler; // run by the target itself
    vo::TThreadManager Threads;
    vo::TETHDriver Driver;
    std::vector<std::string> Got[3];
};

TSetup& Setup() {
    static auto* s = new TSetup; // lives until the process ends
    return *s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TSetup& s = Setup();
    std::vector<std::string> expected[3];
    for (auto& g : s.Got)
        g.clear();
    std::string last;
    bool any = false;
    size_t i = 0;
    while (i + 2 <= Size) {
        const int a = Data[i] & 3;
        const size_t n = std::min<size_t>(Data[i + 1], Size - i - 2);
        const std::string datagram(reinterpret_cast<const char*>(Data + i + 2), n);
        i += 2 + n;
        s.Driver.UDPRead(datagram, Address(a));
        if (a < 3)
            expected[a].push_back(datagram);
        last = datagram;
        any = true;
    }
    while (s.Scheduler.TaskCount() > 0 && s.Scheduler.IsBusy() == false) {
        bool done = false;
        s.Scheduler.AppIdleExecute(done);
        if (done)
            break;
    }
    for (int a = 0; a < 3; ++a)
        if (s.Got[a] != expected[a])
            Fail("a datagram reached the wrong device, or was changed or lost");
    if (any && s.Driver.MessageStr() != last)
        Fail("the last datagram is not kept");
    return 0;
}
