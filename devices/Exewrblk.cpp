#include "devices/Exewrblk.h"

#include "comm/OvraClnt.h"
#include "devices/QsBasic.h"
#include "platform/Exception.h"

#include <algorithm>

namespace vo {

TBlockWriter::TBlockWriter() : TBlockWriter(*OvraClient()) {}

TBlockWriter::TBlockWriter(TOvraClient& Client) : FClient(&Client), FActor(&Client.GetActor()) {
    FActor->SetName("Block Writer Actor");
    FActor->SetOnResponse([this](TOvraActor&) { ActorResponse(); });
}

TBlockWriter::~TBlockWriter() {
    FActor->SetOnResponse(nullptr);
    FClient->ReleaseActor(*FActor);
}

void TBlockWriter::Fail(const char* What) const { throw Exception(MyAnsiString(ClassName()) + What); }

bool TBlockWriter::IsBusy() const { return FActor->IsBusy(); }

TSetBlockPattern* TBlockWriter::Pattern() const {
    if (FEncrypted)
        return FOvraService->SetEncFlashBlock();
    return FFlash ? FOvraService->SetFlashBlock() : FOvraService->SetMemoryBlock();
}

void TBlockWriter::Clear() {
    if (IsBusy())
        Fail(".Clear: actor is busy");
    FActor->Clear();
    FOvraService = nullptr;
    SendBuffer.clear();
    FSize = 0;
}

void TBlockWriter::Prepare(TBasicOvraService& AOvraService, int32_t AAddress, bool AFlash, bool AEncrypted) {
    if (IsBusy())
        Fail(".Put: actor is busy");
    Clear();
    if (!AOvraService.DeviceOnline())
        Fail(".Put: device is not online");
    FOvraService = &AOvraService;
    FFlash = AFlash;
    FEncrypted = AEncrypted;
    TSetBlockPattern* pattern = Pattern();
    if (!pattern) {
        FOvraService = nullptr;
        Fail(".Put: device is not online");
    }
    FMaxBufferSize = pattern->GetMaxSize();
    FAddress = AAddress;
    FCurrentAddress = AAddress;
}

void TBlockWriter::Put(TBasicOvraService& AOvraService, int32_t AAddress, bool AFlash) {
    Prepare(AOvraService, AAddress, AFlash, false);
}

void TBlockWriter::PutEnc(TBasicOvraService& AOvraService, int32_t AAddress) {
    Prepare(AOvraService, AAddress, true, true);
}

void TBlockWriter::PutData(const MyAnsiString& S) {
    if (!S.empty())
        PutDataBuf(S.data(), static_cast<int32_t>(S.size()));
}

void TBlockWriter::PutDataBuf(const void* Buffer, int32_t Count) {
    if (!FOvraService)
        Fail(".PutData: not initialized");
    if (Count <= 0)
        return;
    if (FMaxBufferSize <= 0)
        Fail(".PutSendBuffer: data word size error");
    FSize += Count;
    const char* in = static_cast<const char*>(Buffer);
    while (Count > 0) {
        const int32_t n = std::min(Count, FMaxBufferSize - static_cast<int32_t>(SendBuffer.size()));
        SendBuffer.append(in, static_cast<size_t>(n));
        in += n;
        Count -= n;
        if (static_cast<int32_t>(SendBuffer.size()) >= FMaxBufferSize)
            PutSendBuffer();
    }
}

void TBlockWriter::PutSendBuffer() {
    const int32_t d = FOvraService->DataFieldSize();
    if (d <= 0 || SendBuffer.size() % static_cast<size_t>(d) != 0)
        Fail(".PutSendBuffer: data word size error");
    Pattern()->Put(*FActor, FCurrentAddress, SendBuffer, 0);
    FCurrentAddress += static_cast<int32_t>(SendBuffer.size()) / d * FOvraService->AddrIncrement();
    SendBuffer.clear();
}

void TBlockWriter::Execute() {
    if (IsBusy())
        Fail(".Execute: actor is busy");
    if (!FOvraService)
        Fail(".Execute: not initialized");
    if (!SendBuffer.empty())
        PutSendBuffer();
    FActor->Execute();
}

void TBlockWriter::ActorResponse() {
    FResult = 0;
    FActor->Reset();
    while (FActor->GetIndex() < FActor->GetCount()) {
        const uint8_t r = FActor->GetResult();
        if (r != 0) {
            FResult = r;
            break;
        }
        FActor->Next();
    }
    if (FOnResponse)
        FOnResponse(*this);
}

} // namespace vo
