#include "tests/support/KernelFixtures.h"

namespace vo::test {

void MainSchedulerFixture::SetUp() {
    Scheduler = &MxCreateMainScheduler(Pump);
}

void MainSchedulerFixture::TearDown() {
    MxFreeMainScheduler();
    Scheduler = nullptr;
}

CapturedTrace::CapturedTrace() : FPrevious(DebugManager()) {
    FManager.SetDebugMemo(&FSink);
    FManager.SetDebugingEnabled(true);
    SetDebugManager(&FManager);
}

CapturedTrace::~CapturedTrace() {
    SetDebugManager(FPrevious);
    FManager.SetDebugMemo(nullptr);
}

std::vector<std::string> CapturedTrace::Lines() {
    for (auto& l : FSink.Drain())
        FKept.push_back(std::move(l));
    return FKept;
}

bool CapturedTrace::Contains(const std::string& Part) {
    for (const auto& l : Lines())
        if (l.find(Part) != std::string::npos)
            return true;
    return false;
}

} // namespace vo::test
