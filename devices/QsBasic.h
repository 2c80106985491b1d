#pragma once
// The basic connection service: the class registered as "OvraService". It
// adds to the connection service one telegram pattern object per drive
// operation, each binding a pattern class to the command code of the drive's
// protocol generation. Every drive operation of the program goes through these
// objects (<the device's OvraService>.<Operation>()->Put(...)), never through a
// command code, so a newer protocol changes codes in this one place.
//
// Command codes (0x2x and 0x3x / 0x4x):
//   DeviceLogin 01  DeviceLogout 02  GetStatus 03  BlinkDevice 05
//   GetMemoryWord 10  SetMemoryWord 11  SetFlashWord 12 (0x4x keeps it)
//   MaskMemoryWord 13  GetBlockUPID - / 15  SetBlockUPID - / 16
//   StartProgram 20  OldStartProgram 20 with address (0x4x keeps it)
//   StopProgram 21  ResetDevice 22  RebootDevice 22 with option byte
//   EraseFlash 23  FindInfoNode 25  GetFirstEmptyAddr 26  EraseFlashAll 27
//   GetMemoryBlock 30  SetMemoryBlock 31  SetFlashBlock 32
//   CopyRamToFlash 33 (0x4x keeps it)  GetMemoryString 34, SetMemoryString
//   35 (0x4x keeps them)  GetFlashMemoryBlock 36  SetEncFlashBlock 37
//   GetParWithUPID 88  SetParWithUPID 89
//   ClearInstancePar 89/06  UpdateUPIDList 89/07  SetInstanceDefPar 89/08
//   ClearInstanceAll 89/09  GetInstanceTreeName 88/10  EraseMemory 89/0A
//   CurveSaveRamToFlash 90/0D, CTSaveRamToFlash 94/08 (0x4x keeps them)
//   SaveROMPar: none.
// "Keeps it": the 0x4x table does not bind the operation; it stays bound as
// the service was created (0x2x). GetBlockUPID and SetBlockUPID exist only
// on 0x4x drives (nullptr otherwise); callers check before use.
//
// A new service binds the 0x2x table. Init binds the table of a login's
// protocol version (high nibble 2 or 3: the first, 4: the second, anything
// else: nothing changes); each call replaces the pattern objects of its
// table, which frees the ones before.
#include "comm/QpBytePar.h"
#include "comm/QpCopyBlock.h"
#include "comm/QpCurve.h"
#include "comm/QpCustom.h"
#include "comm/QpEraseMem.h"
#include "comm/QpFndInf.h"
#include "comm/QpGetBlk.h"
#include "comm/QpGetFirstEmpty.h"
#include "comm/QpGetStat.h"
#include "comm/QpGetStr.h"
#include "comm/QpGetWrd.h"
#include "comm/QpInstance.h"
#include "comm/QpLogin.h"
#include "comm/QpOneAdr.h"
#include "comm/QpSetBit.h"
#include "comm/QpSetBlk.h"
#include "comm/QpSetStr.h"
#include "comm/QpSetWrd.h"
#include "comm/QpSimple.h"
#include "devices/OvraConn.h"

#include <memory>

namespace vo {

class TBasicOvraService : public TOvraConnectionService {
public:
    // The connection service, the login and logout patterns, then Init(0x20).
    TBasicOvraService(TDevice& AOwner, TSLDictionary* AProfDict);
    ~TBasicOvraService() override;

    const char* ClassName() const override { return "TBasicOvraService"; }

    void Init(int32_t ProtocolVersion) override;

    // The pattern object bound to each drive operation (nullptr where none is
    // bound).
    TLoginPattern* DeviceLogin() const { return FDeviceLogin.get(); }
    TSimplePattern* DeviceLogout() const { return FDeviceLogout.get(); }
    TGetStatusPattern* GetStatus() const { return FGetStatus.get(); }
    TGetWordPattern* GetMemoryWord() const { return FGetMemoryWord.get(); }
    TSetWordPattern* SetMemoryWord() const { return FSetMemoryWord.get(); }
    TSetWordPattern* SetFlashWord() const { return FSetFlashWord.get(); }
    TSimplePattern* StartProgram() const { return FStartProgram.get(); }
    TSimplePattern* StopProgram() const { return FStopProgram.get(); }
    TAddrActionPattern* OldStartProgram() const { return FOldStartProgram.get(); }
    TCustomPattern* BlinkDevice() const { return FBlinkDevice.get(); }
    TSimplePattern* ResetDevice() const { return FResetDevice.get(); }
    TByteActionPattern* RebootDevice() const { return FRebootDevice.get(); }
    TAddrActionPattern* EraseFlash() const { return FEraseFlash.get(); }
    TSimplePattern* EraseFlashAll() const { return FEraseFlashAll.get(); }
    TFindInfoPattern* FindInfoNode() const { return FFindInfoNode.get(); }
    TGetBlockPattern* GetMemoryBlock() const { return FGetMemoryBlock.get(); }
    TGetBlockPattern* GetFlashMemoryBlock() const { return FGetFlashMemoryBlock.get(); }
    TSetBlockPattern* SetMemoryBlock() const { return FSetMemoryBlock.get(); }
    TSetBlockPattern* SetFlashBlock() const { return FSetFlashBlock.get(); }
    TSetBlockPattern* SetEncFlashBlock() const { return FSetEncFlashBlock.get(); }
    TGetStringPattern* GetMemoryString() const { return FGetMemoryString.get(); }
    TSetStringPattern* SetMemoryString() const { return FSetMemoryString.get(); }
    TSetBitPattern* MaskMemoryWord() const { return FMaskMemoryWord.get(); }
    TSimplePattern* SaveROMPar() const { return FSaveROMPar.get(); } // bound by no table
    TCopyBlockPattern* CopyRamToFlash() const { return FCopyRamToFlash.get(); }
    TGetFirstEmptyPattern* GetFirstEmptyAddr() const { return FGetFirstEmptyAddr.get(); }
    TCustomPattern* SetParWithUPID() const { return FSetParWithUPID.get(); }
    TCustomPattern* GetParWithUPID() const { return FGetParWithUPID.get(); }
    TCustomPattern* SetBlockUPID() const { return FSetBlockUPID.get(); } // 0x4x only
    TCustomPattern* GetBlockUPID() const { return FGetBlockUPID.get(); } // 0x4x only
    TInstancePattern* ClearInstancePar() const { return FClearInstancePar.get(); }
    TInstancePattern* ClearInstanceAll() const { return FClearInstanceAll.get(); }
    TInstancePattern* SetInstanceDefPar() const { return FSetInstanceDefPar.get(); }
    TInstancePattern* GetInstanceTreeName() const { return FGetInstanceTreeName.get(); }
    TInstancePattern* UpdateUPIDList() const { return FUpdateUPIDList.get(); }
    TEraseMemPattern* EraseMemory() const { return FEraseMemory.get(); }
    TCurvePattern* CurveSaveRamToFlash() const { return FCurveSaveRamToFlash.get(); }
    TCurvePattern* CTSaveRamToFlash() const { return FCTSaveRamToFlash.get(); }

private:
    // Binds the command codes of one protocol generation (the table in QsBasic.cpp).
    void BindTable(bool FourX);

    std::unique_ptr<TLoginPattern> FDeviceLogin;
    std::unique_ptr<TSimplePattern> FDeviceLogout;
    std::unique_ptr<TGetStatusPattern> FGetStatus;
    std::unique_ptr<TGetWordPattern> FGetMemoryWord;
    std::unique_ptr<TSetWordPattern> FSetMemoryWord;
    std::unique_ptr<TSetWordPattern> FSetFlashWord;
    std::unique_ptr<TSimplePattern> FStartProgram;
    std::unique_ptr<TSimplePattern> FStopProgram;
    std::unique_ptr<TAddrActionPattern> FOldStartProgram;
    std::unique_ptr<TCustomPattern> FBlinkDevice;
    std::unique_ptr<TSimplePattern> FResetDevice;
    std::unique_ptr<TByteActionPattern> FRebootDevice;
    std::unique_ptr<TAddrActionPattern> FEraseFlash;
    std::unique_ptr<TSimplePattern> FEraseFlashAll;
    std::unique_ptr<TFindInfoPattern> FFindInfoNode;
    std::unique_ptr<TGetBlockPattern> FGetMemoryBlock;
    std::unique_ptr<TGetBlockPattern> FGetFlashMemoryBlock;
    std::unique_ptr<TSetBlockPattern> FSetMemoryBlock;
    std::unique_ptr<TSetBlockPattern> FSetFlashBlock;
    std::unique_ptr<TSetBlockPattern> FSetEncFlashBlock;
    std::unique_ptr<TGetStringPattern> FGetMemoryString;
    std::unique_ptr<TSetStringPattern> FSetMemoryString;
    std::unique_ptr<TSetBitPattern> FMaskMemoryWord;
    std::unique_ptr<TSimplePattern> FSaveROMPar; // bound by no table
    std::unique_ptr<TCopyBlockPattern> FCopyRamToFlash;
    std::unique_ptr<TGetFirstEmptyPattern> FGetFirstEmptyAddr;
    std::unique_ptr<TCustomPattern> FSetParWithUPID;
    std::unique_ptr<TCustomPattern> FGetParWithUPID;
    std::unique_ptr<TCustomPattern> FSetBlockUPID; // 0x4x only
    std::unique_ptr<TCustomPattern> FGetBlockUPID; // 0x4x only
    std::unique_ptr<TInstancePattern> FClearInstancePar;
    std::unique_ptr<TInstancePattern> FClearInstanceAll;
    std::unique_ptr<TInstancePattern> FSetInstanceDefPar;
    std::unique_ptr<TInstancePattern> FGetInstanceTreeName;
    std::unique_ptr<TInstancePattern> FUpdateUPIDList;
    std::unique_ptr<TEraseMemPattern> FEraseMemory;
    std::unique_ptr<TCurvePattern> FCurveSaveRamToFlash;
    std::unique_ptr<TCurvePattern> FCTSaveRamToFlash;
};

} // namespace vo
