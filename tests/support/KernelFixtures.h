#pragma once
// Fixtures for tests that run tasks: a headless main loop with the main
// scheduler installed on it, and a debug manager whose trace lines are kept
// (and, through ExpectError.h, the texts of exceptions a test expects).
#include "kernel/Debug.h"
#include "kernel/MxTLib20.h"
#include "platform/Exception.h"
#include "platform/MainLoop.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <chrono>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace vo::test {

// Creates the main scheduler on a headless pump for the test's lifetime.
// Tests drive it with Pump.Step() / Pump.RunUntil(...). Tasks must be
// destroyed before the fixture (declare them inside the test body).
class MainSchedulerFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the main loop until Pred holds (default limit 5 s).
    bool RunUntil(const std::function<bool()>& Pred,
                  std::chrono::milliseconds Timeout = std::chrono::milliseconds(5000)) {
        return Pump.RunUntil(Pred, Timeout);
    }

    THeadlessPump Pump;
    TMxScheduler* Scheduler = nullptr;
};

// Installs a program-wide debug manager with debugging enabled and a line sink
// for the lifetime of the object; Lines() drains what was traced so far.
class CapturedTrace {
public:
    CapturedTrace();
    ~CapturedTrace();
    CapturedTrace(const CapturedTrace&) = delete;
    CapturedTrace& operator=(const CapturedTrace&) = delete;

    std::vector<std::string> Lines();
    bool Contains(const std::string& Part);
    TDebugManager& Manager() { return FManager; }
    TDebugLineSink& Sink() { return FSink; }

private:
    TDebugManager FManager;
    TDebugLineSink FSink;
    TDebugManager* FPrevious;
    std::vector<std::string> FKept;
};

} // namespace vo::test
