#pragma once
// TCANComDrv: a raw CAN port for scripts. It initialises the adapter on its
// own (accepting every frame), sends single CAN frames with extended
// identifiers and receives on the CAN manager's thread manager. Every data
// frame received is kept until the script takes it (TakeFrames); FIdent and
// FDataStr give the last one. The trigger is called once per reception that
// brought data frames, on the receiving thread.
#include "platform/AnsiString.h"
#include "platform/CanAdapter.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vo {

class TCANPort;
class TThreadManager;

class TCANComDrv {
public:
    struct TFrame {
        int32_t Ident = 0;
        MyAnsiString Data;
    };
    using TNotifyEvent = std::function<void(TCANComDrv& Sender)>;
    static constexpr size_t MaxKeptFrames = 10000;

    // Raises "Internal Error: ThreadManager not assigned" without one.
    explicit TCANComDrv(TThreadManager* AThreadManager);
    ~TCANComDrv();
    TCANComDrv(const TCANComDrv&) = delete;
    TCANComDrv& operator=(const TCANComDrv&) = delete;

    // Starts receiving and initialises the adapter; false at the first step
    // that fails (its code in LastResult).
    bool Open();
    // Stops receiving; the adapter stays initialised.
    void Close();
    // One frame with an extended identifier; true when the adapter took it.
    bool SendData(int32_t Ident, int32_t DataLength, const uint8_t* Data);

    void SetOnTrigger(TNotifyEvent Handler);
    int32_t LastResult() const;
    int32_t FIdentValue() const;
    MyAnsiString FDataStrValue() const;
    // The frames received since the last call, oldest first.
    std::vector<TFrame> TakeFrames();

    // The reception (the receive port's event).
    void Receive();

private:
    std::unique_ptr<TCANPort> FCANPort;
    TThreadManager* FThreadManager;
    TNotifyEvent FOnTrigger;
    mutable std::mutex FInitReceiverLock; // adapter, results, frames
    int32_t rtf = 0;
    CANPC_RESSOURCES cp_resources;
    PARAM_STRUCT param;
    MyAnsiString FDataStr;
    int32_t FIdent = 0;
    std::deque<TFrame> FFrames;
    std::unique_ptr<TCanAdapter> FAdapter; // after the port: goes before its event
};

} // namespace vo
