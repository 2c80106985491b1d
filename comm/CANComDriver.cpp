#include "comm/CANComDriver.h"

#include "comm/CANPort.h"
#include "comm/CANdrv.h"
#include "kernel/Debug.h"
#include "kernel/ThrdMan.h"
#include "platform/Exception.h"

#include <cstdio>

namespace vo {

TCANComDrv::TCANComDrv(TThreadManager* AThreadManager) : FThreadManager(AThreadManager) {
    if (!AThreadManager)
        throw Exception("Internal Error: ThreadManager not assigned");
    FCANPort = std::make_unique<TCANPort>();
    FCANPort->SetOnReceive([this] { Receive(); });
    cp_resources.uSocket = -1;
}

TCANComDrv::~TCANComDrv() {
    FCANPort->ClosePort();
    std::lock_guard lock(FInitReceiverLock);
    if (FAdapter) {
        FAdapter->CANPC_set_interrupt_event(nullptr);
        FAdapter->INIPC_close_board();
        FAdapter.reset();
    }
}

void TCANComDrv::SetOnTrigger(TNotifyEvent Handler) {
    std::lock_guard lock(FInitReceiverLock);
    FOnTrigger = std::move(Handler);
}

int32_t TCANComDrv::LastResult() const {
    std::lock_guard lock(FInitReceiverLock);
    return rtf;
}

int32_t TCANComDrv::FIdentValue() const {
    std::lock_guard lock(FInitReceiverLock);
    return FIdent;
}

MyAnsiString TCANComDrv::FDataStrValue() const {
    std::lock_guard lock(FInitReceiverLock);
    return FDataStr;
}

std::vector<TCANComDrv::TFrame> TCANComDrv::TakeFrames() {
    std::lock_guard lock(FInitReceiverLock);
    std::vector<TFrame> out(FFrames.begin(), FFrames.end());
    FFrames.clear();
    return out;
}

bool TCANComDrv::Open() {
    FCANPort->OpenPort(*FThreadManager);
    std::lock_guard lock(FInitReceiverLock);
    if (!FAdapter) {
        std::string reason;
        FAdapter = CanLoadAdapter(CANInterfaceDataArray[0].InterfaceDLL, &reason);
        if (!FAdapter) {
            LogInfo("CANComPort: " + reason);
            rtf = CanResNoDevice;
            return false;
        }
    }
    TCanAdapter& a = *FAdapter;
    const TCANTimingData& t = CANTimingDataArray[2];
    const std::function<int32_t()> steps[] = {
        [&] { return a.INIPC_initialize_board(&cp_resources); },
        [&] { return a.CANPC_reset_board(); },
        [&] { return a.CANPC_reset_chip(); },
        [&] { return a.CANPC_initialize_chip(t.presc, t.sjw, t.tseg1, t.tseg2, t.sam); },
        [&] { return a.CANPC_initialize_chip2(t.presc, t.sjw, t.tseg1, t.tseg2, t.sam); },
        [&] { return a.CANPC_set_mode(0, 0); },
        [&] { return a.CANPC_set_mode2(0, 0); },
        [&] { return a.CANPC_set_output_control(-1); },
        [&] { return a.CANPC_set_output_control2(-1); },
        [&] { return a.CANPC_set_acceptance(0, 0, 0, 0); },
        [&] { return a.CANPC_set_acceptance2(0, 0, 0, 0); },
        [&] { return a.CANPC_enable_fifo(); },
        [&] { return a.CANPC_start_chip(); },
        [&] { return a.CANPC_set_interrupt_event(FCANPort->GetInterruptEventHandle()); },
    };
    for (const auto& step : steps) {
        rtf = step();
        if (rtf != 0)
            return false;
    }
    return true;
}

void TCANComDrv::Close() {
    FCANPort->ClosePort();
}

bool TCANComDrv::SendData(int32_t Ident, int32_t DataLength, const uint8_t* Data) {
    bool ok = false;
    {
        std::lock_guard lock(FInitReceiverLock);
        if (FAdapter && DataLength >= 0 && DataLength <= 8) {
            rtf = FAdapter->CANPC_send_data(static_cast<uint32_t>(Ident), 1, DataLength, Data);
            ok = rtf == 0;
        }
    }
    const MyAnsiString data(reinterpret_cast<const char*>(Data), Data ? static_cast<size_t>(std::clamp(DataLength, 0, 8)) : 0);
    LogInfo(CanSendText(static_cast<uint32_t>(Ident), data, ok));
    return ok;
}

void TCANComDrv::Receive() {
    TNotifyEvent trigger;
    MyAnsiString last;
    bool any = false;
    {
        std::lock_guard lock(FInitReceiverLock);
        if (!FAdapter)
            return;
        for (;;) {
            const int32_t kind = FAdapter->CANPC_read_ac(&param);
            if (kind <= 0)
                break;
            if (kind != CanItemStdData && kind != CanItemXtdData)
                continue;
            FIdent = param.Ident;
            FDataStr.assign(reinterpret_cast<const char*>(param.RcvData), static_cast<size_t>(std::clamp(param.DataLength, 0, 8)));
            if (FFrames.size() >= MaxKeptFrames)
                FFrames.pop_front();
            FFrames.push_back({FIdent, FDataStr});
            any = true;
        }
        last = FDataStr;
        trigger = FOnTrigger;
    }
    LogInfo("RESPONSE:" + last);
    if (any && trigger)
        trigger(*this);
}

} // namespace vo
