#pragma once
// The QApplication of a GUI test program: created before the first test and
// destroyed after the last one (before the program exits, so that Qt's own
// objects go while Qt is still there). Include it in the test source.
#include <QApplication>

#include <gtest/gtest.h>

namespace vo::test {

class TQtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { FApp = new QApplication(FArgc, FArgv); }
    void TearDown() override {
        delete FApp;
        FApp = nullptr;
    }

private:
    int FArgc = 1;
    char FArg0[16] = "gui_test";
    char* FArgv[2] = {FArg0, nullptr};
    QApplication* FApp = nullptr;
};

inline ::testing::Environment* const QtAppEnvironment = ::testing::AddGlobalTestEnvironment(new TQtAppEnvironment);

} // namespace vo::test
