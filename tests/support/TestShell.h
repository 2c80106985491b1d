#pragma once
// A test implementation of the shell services: settable answers, counters of
// the calls, and RAII installation as the program-wide instance.
#include <map>
#include <vector>

#include "kernel/ShellServices.h"

namespace vo::test {

class TestShell : public TShellServices {
public:
    TestShell();
    ~TestShell() override; // uninstalls itself and restores the previous instance

    MyAnsiString lang = "English";
    std::map<MyAnsiString, MyAnsiString> productInfo{{"ProgramName", "Velkor-Ovra"}};
    std::map<MyAnsiString, MyAnsiString> companyInfo;
    MD5Digest developerDigest{};
    TImageList* imageList = nullptr;
    bool loginAbort = false;
    std::uint8_t programType = 0;
    TConnectionLostAnswer connectionLostAnswer = TConnectionLostAnswer::GoOffline;

    int productInfoCalls = 0;
    int scans = 0;
    int ethScans = 0;
    std::vector<std::int32_t> blinks;
    std::vector<TShellWindow*> windows;
    std::vector<MyAnsiString> connectionLostMessages;
    MyAnsiString openDialogAnswer; // "" cancels
    std::vector<TOpenDialogRequest> openDialogs;
    MyAnsiString saveDialogAnswer; // stored path; "" cancels
    std::vector<TSaveDialogRequest> saveDialogs;

    MyAnsiString InfoSysLang() const override { return lang; }
    MyAnsiString GetProductInfoStr(const MyAnsiString& InfoName) const override;
    MyAnsiString GetCompanyInfoStr(const MyAnsiString& InfoName) const override;
    MD5Digest pswDeveloper() const override { return developerDigest; }
    TImageList* ImageList() const override { return imageList; }
    bool LoginAbortRequest() const override { return loginAbort; }
    void SetLoginAbortRequest(bool Value) override { loginAbort = Value; }
    void StartScanning() override { ++scans; }
    void StartETHScanning() override { ++ethScans; }
    void BlinkETH(std::int32_t AIPAddress) override { blinks.push_back(AIPAddress); }
    void RegisterWindow(TShellWindow& AForm) override;
    void UnregisterWindow(TShellWindow& AForm) override;
    std::uint8_t OvraProgramType() const override { return programType; }
    TConnectionLostAnswer ShowConnectionLost(const MyAnsiString& AMessage) override;
    bool OpenDialog(TOpenDialogRequest& Request) override {
        openDialogs.push_back(Request);
        Request.FileName = openDialogAnswer;
        return !openDialogAnswer.empty();
    }
    bool SaveDialog(TSaveDialogRequest& Request) override {
        saveDialogs.push_back(Request);
        Request.FileName = saveDialogAnswer;
        return !saveDialogAnswer.empty();
    }

private:
    TShellServices* previous_;
};

} // namespace vo::test
