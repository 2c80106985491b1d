#include "devices/QsBasic.h"

namespace vo {

namespace {

template <class TPattern, class... A>
void Bind(std::unique_ptr<TPattern>& Field, TOvraService* Owner, A... Args) {
    Field = std::make_unique<TPattern>(Owner, static_cast<uint8_t>(Args)...);
}

} // namespace

TBasicOvraService::TBasicOvraService(TDevice& AOwner, TSLDictionary* AProfDict) : TOvraConnectionService(AOwner, AProfDict) {
    Bind(FDeviceLogin, this, 0x01);
    Bind(FDeviceLogout, this, 0x02);
    Init(0x20);
}

TBasicOvraService::~TBasicOvraService() = default;

void TBasicOvraService::Init(int32_t ProtocolVersion) {
    switch (ProtocolVersion & 0xF0) {
    case 0x20:
    case 0x30: BindTable2x(); break;
    case 0x40: BindTable4x(); break;
    default: break; // an unknown generation binds nothing
    }
}

void TBasicOvraService::BindTable2x() {
    Bind(FDeviceLogin, this, 0x01);
    Bind(FDeviceLogout, this, 0x02);
    Bind(FGetStatus, this, 0x03);
    Bind(FGetMemoryWord, this, 0x10);
    Bind(FSetMemoryWord, this, 0x11);
    Bind(FSetFlashWord, this, 0x12);
    Bind(FStartProgram, this, 0x20);
    Bind(FStopProgram, this, 0x21);
    Bind(FOldStartProgram, this, 0x20);
    Bind(FBlinkDevice, this, 0x05);
    Bind(FResetDevice, this, 0x22);
    Bind(FRebootDevice, this, 0x22);
    Bind(FEraseFlash, this, 0x23);
    Bind(FEraseFlashAll, this, 0x27);
    Bind(FFindInfoNode, this, 0x25);
    Bind(FGetMemoryBlock, this, 0x30);
    Bind(FGetFlashMemoryBlock, this, 0x36);
    Bind(FSetMemoryBlock, this, 0x31);
    Bind(FSetFlashBlock, this, 0x32);
    Bind(FSetEncFlashBlock, this, 0x37);
    Bind(FGetMemoryString, this, 0x34);
    Bind(FSetMemoryString, this, 0x35);
    Bind(FMaskMemoryWord, this, 0x13);
    Bind(FCopyRamToFlash, this, 0x33);
    Bind(FGetFirstEmptyAddr, this, 0x26);
    Bind(FSetParWithUPID, this, 0x89);
    Bind(FGetParWithUPID, this, 0x88);
    // Block reads and writes by UPID do not exist before 0x4x: a service
    // object that talked to a 0x4x drive before must not keep them.
    FSetBlockUPID.reset();
    FGetBlockUPID.reset();
    Bind(FClearInstancePar, this, 0x89, 0x06);
    Bind(FClearInstanceAll, this, 0x89, 0x09);
    Bind(FSetInstanceDefPar, this, 0x89, 0x08);
    Bind(FGetInstanceTreeName, this, 0x88, 0x10);
    Bind(FUpdateUPIDList, this, 0x89, 0x07);
    Bind(FEraseMemory, this, 0x89, 0x0A);
    Bind(FCurveSaveRamToFlash, this, 0x90, 0x0D);
    Bind(FCTSaveRamToFlash, this, 0x94, 0x08);
}

void TBasicOvraService::BindTable4x() {
    Bind(FDeviceLogin, this, 0x01);
    Bind(FDeviceLogout, this, 0x02);
    Bind(FGetStatus, this, 0x03);
    Bind(FGetMemoryWord, this, 0x10);
    Bind(FSetMemoryWord, this, 0x11);
    Bind(FStartProgram, this, 0x20);
    Bind(FStopProgram, this, 0x21);
    Bind(FBlinkDevice, this, 0x05);
    Bind(FResetDevice, this, 0x22);
    Bind(FRebootDevice, this, 0x22);
    Bind(FEraseFlash, this, 0x23);
    Bind(FEraseFlashAll, this, 0x27);
    Bind(FFindInfoNode, this, 0x25);
    Bind(FGetMemoryBlock, this, 0x30);
    Bind(FGetFlashMemoryBlock, this, 0x36);
    Bind(FSetMemoryBlock, this, 0x31);
    Bind(FSetFlashBlock, this, 0x32);
    Bind(FSetEncFlashBlock, this, 0x37);
    Bind(FMaskMemoryWord, this, 0x13);
    Bind(FGetFirstEmptyAddr, this, 0x26);
    Bind(FSetParWithUPID, this, 0x89);
    Bind(FGetParWithUPID, this, 0x88);
    Bind(FSetBlockUPID, this, 0x16);
    Bind(FGetBlockUPID, this, 0x15);
    Bind(FClearInstancePar, this, 0x89, 0x06);
    Bind(FClearInstanceAll, this, 0x89, 0x09);
    Bind(FSetInstanceDefPar, this, 0x89, 0x08);
    Bind(FGetInstanceTreeName, this, 0x88, 0x10);
    Bind(FUpdateUPIDList, this, 0x89, 0x07);
    Bind(FEraseMemory, this, 0x89, 0x0A);
    // FSetFlashWord, FOldStartProgram, FGetMemoryString, FSetMemoryString,
    // FCopyRamToFlash, FCurveSaveRamToFlash and FCTSaveRamToFlash keep their
    // binding.
}

} // namespace vo
