#include "devices/QsBasic.h"

#include <type_traits>

namespace vo {

namespace {

// A code column's special values: the operation is cleared (nullptr), or the
// table does not bind it and it keeps what it had.
constexpr int kClear = -1;
constexpr int kKeep = -2;
constexpr int kNoSub = -1;

// Replaces one pattern object by a new one of its field's class bound to Code
// (and Sub for the sub-command patterns), or clears it.
template <class TPattern>
void BindField(std::unique_ptr<TPattern>& Field, TOvraService* Owner, int Code, int Sub) {
    if (Code == kClear) {
        Field.reset();
    } else if constexpr (std::is_constructible_v<TPattern, TOvraService*, uint8_t, uint8_t>) {
        Field = std::make_unique<TPattern>(Owner, static_cast<uint8_t>(Code), static_cast<uint8_t>(Sub));
    } else {
        Field = std::make_unique<TPattern>(Owner, static_cast<uint8_t>(Code));
    }
}

} // namespace

TBasicOvraService::TBasicOvraService(TDevice& AOwner, TSLDictionary* AProfDict) : TOvraConnectionService(AOwner, AProfDict) {
    BindField(FDeviceLogin, this, 0x01, kNoSub);
    BindField(FDeviceLogout, this, 0x02, kNoSub);
    Init(0x20);
}

TBasicOvraService::~TBasicOvraService() = default;

void TBasicOvraService::Init(int32_t ProtocolVersion) {
    switch (ProtocolVersion & 0xF0) {
    case 0x20:
    case 0x30: BindTable(false); break;
    case 0x40: BindTable(true); break;
    default: break; // an unknown generation binds nothing
    }
}

void TBasicOvraService::BindTable(bool FourX) {
    // One row per operation: the binding of its field, its command code on
    // 0x2x/0x3x and on 0x4x drives, and its sub-command. Block reads and
    // writes by UPID do not exist before 0x4x, so a service object that
    // talked to a 0x4x drive before must not keep them. FSaveROMPar is bound
    // by no generation.
    struct TBinding {
        void (*Bind)(TBasicOvraService& S, int Code, int Sub);
        int Code2x;
        int Code4x;
        int Sub;
    };
#define VO_BIND(Field) [](TBasicOvraService& S, int Code, int Sub) { BindField(S.Field, &S, Code, Sub); }
    static constexpr TBinding Table[] = {
        {VO_BIND(FDeviceLogin), 0x01, 0x01, kNoSub},
        {VO_BIND(FDeviceLogout), 0x02, 0x02, kNoSub},
        {VO_BIND(FGetStatus), 0x03, 0x03, kNoSub},
        {VO_BIND(FGetMemoryWord), 0x10, 0x10, kNoSub},
        {VO_BIND(FSetMemoryWord), 0x11, 0x11, kNoSub},
        {VO_BIND(FSetFlashWord), 0x12, kKeep, kNoSub},
        {VO_BIND(FStartProgram), 0x20, 0x20, kNoSub},
        {VO_BIND(FStopProgram), 0x21, 0x21, kNoSub},
        {VO_BIND(FOldStartProgram), 0x20, kKeep, kNoSub},
        {VO_BIND(FBlinkDevice), 0x05, 0x05, kNoSub},
        {VO_BIND(FResetDevice), 0x22, 0x22, kNoSub},
        {VO_BIND(FRebootDevice), 0x22, 0x22, kNoSub},
        {VO_BIND(FEraseFlash), 0x23, 0x23, kNoSub},
        {VO_BIND(FEraseFlashAll), 0x27, 0x27, kNoSub},
        {VO_BIND(FFindInfoNode), 0x25, 0x25, kNoSub},
        {VO_BIND(FGetMemoryBlock), 0x30, 0x30, kNoSub},
        {VO_BIND(FGetFlashMemoryBlock), 0x36, 0x36, kNoSub},
        {VO_BIND(FSetMemoryBlock), 0x31, 0x31, kNoSub},
        {VO_BIND(FSetFlashBlock), 0x32, 0x32, kNoSub},
        {VO_BIND(FSetEncFlashBlock), 0x37, 0x37, kNoSub},
        {VO_BIND(FGetMemoryString), 0x34, kKeep, kNoSub},
        {VO_BIND(FSetMemoryString), 0x35, kKeep, kNoSub},
        {VO_BIND(FMaskMemoryWord), 0x13, 0x13, kNoSub},
        {VO_BIND(FCopyRamToFlash), 0x33, kKeep, kNoSub},
        {VO_BIND(FGetFirstEmptyAddr), 0x26, 0x26, kNoSub},
        {VO_BIND(FSetParWithUPID), 0x89, 0x89, kNoSub},
        {VO_BIND(FGetParWithUPID), 0x88, 0x88, kNoSub},
        {VO_BIND(FSetBlockUPID), kClear, 0x16, kNoSub},
        {VO_BIND(FGetBlockUPID), kClear, 0x15, kNoSub},
        {VO_BIND(FClearInstancePar), 0x89, 0x89, 0x06},
        {VO_BIND(FClearInstanceAll), 0x89, 0x89, 0x09},
        {VO_BIND(FSetInstanceDefPar), 0x89, 0x89, 0x08},
        {VO_BIND(FGetInstanceTreeName), 0x88, 0x88, 0x10},
        {VO_BIND(FUpdateUPIDList), 0x89, 0x89, 0x07},
        {VO_BIND(FEraseMemory), 0x89, 0x89, 0x0A},
        {VO_BIND(FCurveSaveRamToFlash), 0x90, kKeep, 0x0D},
        {VO_BIND(FCTSaveRamToFlash), 0x94, kKeep, 0x08},
    };
#undef VO_BIND
    for (const TBinding& b : Table) {
        const int code = FourX ? b.Code4x : b.Code2x;
        if (code != kKeep)
            b.Bind(*this, code, b.Sub);
    }
}

} // namespace vo
