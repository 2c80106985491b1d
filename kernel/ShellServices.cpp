#include "kernel/ShellServices.h"

#include <atomic>

namespace vo {

namespace {

class TNeutralShellServices final : public TShellServices {
public:
    MyAnsiString InfoSysLang() const override { return "English"; }
    MyAnsiString GetProductInfoStr(const MyAnsiString&) const override { return {}; }
    MyAnsiString GetCompanyInfoStr(const MyAnsiString&) const override { return {}; }
    MD5Digest pswDeveloper() const override { return {}; }
    TImageList* ImageList() const override { return nullptr; }
    bool LoginAbortRequest() const override { return FAbort; }
    void SetLoginAbortRequest(bool Value) override { FAbort = Value; }
    void StartScanning() override {}
    void StartETHScanning() override {}
    void BlinkETH(std::int32_t) override {}
    void RegisterWindow(TShellWindow&) override {}
    void UnregisterWindow(TShellWindow&) override {}
    std::uint8_t OvraProgramType() const override { return 0; }
    TConnectionLostAnswer ShowConnectionLost(const MyAnsiString&) override { return TConnectionLostAnswer::GoOffline; }

private:
    bool FAbort = false;
};

TNeutralShellServices& Neutral() {
    static TNeutralShellServices instance;
    return instance;
}

std::atomic<TShellServices*> gInstalled{nullptr};

} // namespace

TShellServices& ShellServices() {
    TShellServices* s = gInstalled.load(std::memory_order_acquire);
    return s ? *s : Neutral();
}

TShellServices* SetShellServices(TShellServices* AServices) {
    return gInstalled.exchange(AServices, std::memory_order_acq_rel);
}

} // namespace vo
