#pragma once
// The basic connection service: the class registered as "OvraService". It
// adds to the connection service one telegram pattern object per drive
// operation, each binding a pattern class to the command code of the drive's
// protocol generation. Every drive operation of the program goes through these
// objects (<the device's OvraService>.F<Operation>->Put(...)), never through a
// command code, so a newer protocol changes codes in this one place.
//
// Command codes (0x2x and 0x3x / 0x4x):
//   FDeviceLogin 01  FDeviceLogout 02  FGetStatus 03  FBlinkDevice 05
//   FGetMemoryWord 10  FSetMemoryWord 11  FSetFlashWord 12 (0x4x keeps it)
//   FMaskMemoryWord 13  FGetBlockUPID - / 15  FSetBlockUPID - / 16
//   FStartProgram 20  FOldStartProgram 20 with address (0x4x keeps it)
//   FStopProgram 21  FResetDevice 22  FRebootDevice 22 with option byte
//   FEraseFlash 23  FFindInfoNode 25  FGetFirstEmptyAddr 26  FEraseFlashAll 27
//   FGetMemoryBlock 30  FSetMemoryBlock 31  FSetFlashBlock 32
//   FCopyRamToFlash 33 (0x4x keeps it)  FGetMemoryString 34, FSetMemoryString
//   35 (0x4x keeps them)  FGetFlashMemoryBlock 36  FSetEncFlashBlock 37
//   FGetParWithUPID 88  FSetParWithUPID 89
//   FClearInstancePar 89/06  FUpdateUPIDList 89/07  FSetInstanceDefPar 89/08
//   FClearInstanceAll 89/09  FGetInstanceTreeName 88/10  FEraseMemory 89/0A
//   FCurveSaveRamToFlash 90/0D, FCTSaveRamToFlash 94/08 (0x4x keeps them)
//   FSaveROMPar: none.
// "Keeps it": the 0x4x table does not bind the operation; it stays bound as
// the service was created (0x2x). FGetBlockUPID and FSetBlockUPID exist only
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

private:
    void BindTable2x();
    void BindTable4x();
};

} // namespace vo
