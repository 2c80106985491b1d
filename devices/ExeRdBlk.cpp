#include "devices/ExeRdBlk.h"

#include "comm/OvraClnt.h"
#include "devices/QsBasic.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cstring>

namespace vo {

TBlockReader::TBlockReader() : TBlockReader(*OvraClient()) {}

TBlockReader::TBlockReader(TOvraClient& Client) : TBlockReader(Client, "TBlockReader", "Block Reader Actor", false) {}

TBlockReader::TBlockReader(TOvraClient& Client, const char* AClassName, const char* AActorName, bool AFlash)
    : FClassName(AClassName), FFlash(AFlash), FClient(&Client), FActor(&Client.GetActor()) {
    FActor->SetName(AActorName);
    FActor->SetOnResponse([this](TOvraActor&) { ActorResponse(); });
}

TBlockReader::~TBlockReader() {
    FActor->SetOnResponse(nullptr);
    FClient->ReleaseActor(*FActor);
}

void TBlockReader::Fail(const char* What) const { throw Exception(MyAnsiString(FClassName) + What); }

TGetBlockPattern* TBlockReader::Pattern() const {
    return FFlash ? FOvraService->GetFlashMemoryBlock() : FOvraService->GetMemoryBlock();
}

bool TBlockReader::IsBusy() const { return FActor->IsBusy(); }

void TBlockReader::Clear() {
    if (IsBusy())
        Fail(".Clear: actor is busy");
    FActor->Clear();
    FOvraService = nullptr;
    ReadBuffer.clear();
    FSize = 0;
}

void TBlockReader::Put(TBasicOvraService& AOvraService, int32_t AAddress, int32_t ASize) {
    if (IsBusy())
        Fail(".Put: actor is busy");
    Clear();
    if (!AOvraService.DeviceOnline())
        Fail(".Put: device is not online");
    const int32_t d = AOvraService.DataFieldSize();
    if (d <= 0 || ASize < 0 || ASize % d != 0)
        Fail(".Put: data word size error");
    FOvraService = &AOvraService;
    FAddress = AAddress;
    FSize = ASize;
    TGetBlockPattern* pattern = Pattern();
    if (!pattern)
        Fail(".Put: device is not online");
    FMaxBufferSize = pattern->GetMaxSize();
    if (FMaxBufferSize <= 0 && ASize > 0)
        Fail(".Put: data word size error");
    int32_t address = AAddress;
    for (int32_t left = ASize; left > 0;) {
        const int32_t n = std::min(FMaxBufferSize, left);
        pattern->Put(*FActor, address, static_cast<uint8_t>(n), 0);
        address += n / d * AOvraService.AddrIncrement();
        left -= n;
    }
}

void TBlockReader::Execute() {
    if (IsBusy())
        Fail(".Execute: actor is busy");
    if (!FOvraService)
        Fail(".Execute: not initialized");
    ReadBuffer.clear();
    FActor->Execute();
}

void TBlockReader::Reset() {
    if (IsBusy())
        Fail(".Reset: actor is busy");
    FActor->Reset();
    ReadBuffer.clear();
}

void TBlockReader::ActorResponse() {
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
    FActor->Reset();
    ReadBuffer.clear();
    if (FOnResponse)
        FOnResponse(*this);
}

int32_t TBlockReader::GetDataBuf(void* Buffer, int32_t Count) {
    auto* out = static_cast<char*>(Buffer);
    int32_t copied = 0;
    while (copied < Count) {
        if (ReadBuffer.empty()) {
            if (!FOvraService || FActor->IsBusy() || FActor->GetIndex() >= FActor->GetCount())
                break;
            ReadBuffer = Pattern()->GetData(*FActor);
            FActor->Next();
            continue;
        }
        const int32_t n = std::min<int32_t>(Count - copied, static_cast<int32_t>(ReadBuffer.size()));
        std::memcpy(out + copied, ReadBuffer.data(), static_cast<size_t>(n));
        ReadBuffer.erase(0, static_cast<size_t>(n));
        copied += n;
    }
    return copied;
}

MyAnsiString TBlockReader::GetData(int32_t Count) {
    MyAnsiString s(static_cast<size_t>(std::max(Count, 0)), '\0');
    s.resize(static_cast<size_t>(GetDataBuf(s.data(), Count)));
    return s;
}

} // namespace vo
