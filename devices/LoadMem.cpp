#include "devices/LoadMem.h"

#include "devices/ExeRdBlk.h"
#include "devices/Exewrblk.h"
#include "devices/QsBasic.h"
#include "platform/Exception.h"

#include <algorithm>

namespace vo {

TBlockLoaderPlugin::TBlockLoaderPlugin(int32_t ADataWordSize, int32_t AAddrIncrement)
    : DataWordSize(std::max(ADataWordSize, 1)), AddrIncrement(AAddrIncrement) {}

void TBlockLoaderPlugin::Fail(const char* What) const { throw Exception(MyAnsiString(ClassName()) + What); }

void TBlockLoaderPlugin::Respond() {
    if (FRespProc)
        FRespProc(*this);
}

void TBlockLoaderPlugin::Open(TLoaderPluginResponse RespProc) {
    if (FOpenFlag || FBusyFlag)
        Fail(".Open: plugin state error");
    FRespProc = std::move(RespProc);
    FOpenFlag = true;
    FBusyFlag = false;
    FErrorFlag = false;
    FErrorMsg.clear();
    FlushRequest = false;
    FCurrentCount = 0;
    FCurrentSize = 0;
}

void TBlockLoaderPlugin::Close(bool Abort) {
    if (FBusyFlag)
        Fail(".Close: plugin state error");
    FOpenFlag = false;
    FCurrentSize = 0;
    if (FCurrentCount > 0 && !Abort)
        MoveBlock();
    FCurrentCount = 0;
    Respond();
}

void TBlockLoaderPlugin::MoveBlock() {
    FBusyFlag = true;
    FCurrentCount = 0;
    ExecuteBlock();
}

void TBlockLoaderPlugin::CopyDataToBlock() {
    const int32_t n = std::min(FCurrentSize, MaxBlockSize - FCurrentCount);
    if (n <= 0)
        return;
    if (FCurrentCount == 0)
        SetBlockAddr(FCurrentAddress);
    BlockData(FCurrentPointer, n);
    FCurrentCount += n;
    FCurrentPointer += n;
    FCurrentSize -= n;
    FCurrentAddress += n / DataWordSize * AddrIncrement;
}

void TBlockLoaderPlugin::Data(int32_t Address, void* DataPtr, int32_t Size, bool Flush) {
    if (FBusyFlag || !FOpenFlag)
        Fail(".PutData: plugin state error");
    if (Address != FCurrentAddress && FCurrentCount > 0)
        MoveBlock();
    FCurrentAddress = Address;
    FCurrentPointer = static_cast<char*>(DataPtr);
    FCurrentSize = std::max(Size, 0);
    FlushRequest = Flush;
    if (!FBusyFlag) {
        CopyDataToBlock();
        if (FCurrentCount >= MaxBlockSize || (Flush && FCurrentCount > 0)) {
            FlushRequest = true;
            MoveBlock();
        }
    }
    Respond();
}

void TBlockLoaderPlugin::BlockLoaderReady() {
    FBusyFlag = false;
    CopyDataToBlock();
    if (FCurrentCount >= MaxBlockSize || (FlushRequest && FCurrentCount > 0)) {
        MoveBlock();
        return;
    }
    if (FlushRequest) {
        Close(true);
        return;
    }
    Respond();
}

void TBlockLoaderPlugin::BlockLoaderError() {
    FBusyFlag = false;
    FErrorFlag = true;
    Close(true);
}

// ------------------------------------------------------------------ writer

TMemoryWriterPlugin::TMemoryWriterPlugin(TBasicOvraService& AOvraService, bool Flash, bool Encrypted)
    : TBlockLoaderPlugin(AOvraService.DataFieldSize(), AOvraService.AddrIncrement()), FOvraService(AOvraService),
      BlockWriter(std::make_unique<TBlockWriter>()), FFlash(Flash), FEncrypted(Encrypted) {
    BlockWriter->SetOnResponse([this](TBlockWriter& W) {
        if (W.Result() != 0) {
            FErrorMsg = "block write failed";
            BlockLoaderError();
        } else {
            BlockLoaderReady();
        }
    });
}

TMemoryWriterPlugin::~TMemoryWriterPlugin() = default;

void TMemoryWriterPlugin::SetBlockAddr(int32_t Address) {
    if (FEncrypted)
        BlockWriter->PutEnc(FOvraService, Address);
    else
        BlockWriter->Put(FOvraService, Address, FFlash);
}

void TMemoryWriterPlugin::BlockData(void* DataPtr, int32_t Size) { BlockWriter->PutDataBuf(DataPtr, Size); }

void TMemoryWriterPlugin::ExecuteBlock() { BlockWriter->Execute(); }

// ------------------------------------------------------------------ reader

TMemoryReaderPlugin::TMemoryReaderPlugin(TBasicOvraService& AOvraService)
    : TBlockLoaderPlugin(AOvraService.DataFieldSize(), AOvraService.AddrIncrement()), FOvraService(AOvraService),
      BlockReader(std::make_unique<TBlockReader>()) {
    BlockReader->SetOnResponse([this](TBlockReader& R) {
        if (R.Result() != 0) {
            FErrorMsg = "block read failed";
            BlockLoaderError();
        } else {
            R.GetDataBuf(FDataPtr, FSize);
            BlockLoaderReady();
        }
    });
}

TMemoryReaderPlugin::~TMemoryReaderPlugin() = default;

void TMemoryReaderPlugin::SetBlockAddr(int32_t Address) { FAddress = Address; }

void TMemoryReaderPlugin::BlockData(void* DataPtr, int32_t Size) {
    FSize = Size;
    FDataPtr = DataPtr;
    BlockReader->Put(FOvraService, FAddress, Size);
}

void TMemoryReaderPlugin::ExecuteBlock() { BlockReader->Execute(); }

} // namespace vo
