#include "kernel/MxBLib20.h"

#include <algorithm>
#include <cstring>

#include "kernel/Debug.h"

namespace vo {

namespace {
std::atomic<TMxBufferSegmentPool*> GlobalPool{nullptr};
std::mutex CreateLock;

TMxBufferSegmentPool& Pool(const char* Operation) {
    TMxBufferSegmentPool* p = GlobalPool.load(std::memory_order_acquire);
    if (!p) throw Exception(std::string(Operation) + ": buffer segment pool not created");
    return *p;
}
} // namespace

// ---------------------------------------------------------------- pool

TMxBufferSegmentPool::~TMxBufferSegmentPool() = default;

TMxBufferSegment* TMxBufferSegmentPool::GetBufferSegment() {
    std::lock_guard lock(ProtectStruct);
    if (TMxBufferSegment* s = FreeSegments) {
        FreeSegments = s->Next;
        s->Next = nullptr;
        --FCountFreeSegments;
        return s;
    }
    FAllSegments.push_back(std::make_unique<TMxBufferSegment>());
    ++FCountTotalSegments;
    return FAllSegments.back().get();
}

void TMxBufferSegmentPool::PutBufferSegment(TMxBufferSegment*& Segment) {
    if (!Segment) return;
    std::lock_guard lock(ProtectStruct);
    Segment->Next = FreeSegments;
    FreeSegments = Segment;
    ++FCountFreeSegments;
    Segment = nullptr;
}

void TMxBufferSegmentPool::PutBufferSegments(TMxBufferSegment* First, TMxBufferSegment* Last, int Count) {
    if (!First) return;
    std::lock_guard lock(ProtectStruct);
    Last->Next = FreeSegments;
    FreeSegments = First;
    FCountFreeSegments += Count;
}

int TMxBufferSegmentPool::CountTotalSegments() const {
    std::lock_guard lock(ProtectStruct);
    return FCountTotalSegments;
}

int TMxBufferSegmentPool::CountFreeSegments() const {
    std::lock_guard lock(ProtectStruct);
    return FCountFreeSegments;
}

TMxBufferSegmentPool* BufferSegmentPool() { return GlobalPool.load(std::memory_order_acquire); }

void MxCreateBufferSegmentPool() {
    std::lock_guard lock(CreateLock);
    if (GlobalPool.load()) throw Exception("MxCreateBufferSegmentPool: pool already exists");
    // Program-wide: lives until the process ends, so that no buffer ever
    // outlives it during shutdown.
    GlobalPool.store(new TMxBufferSegmentPool, std::memory_order_release);
}

// ---------------------------------------------------------------- buffer

void TMxBuffer::AddByte(std::uint8_t B) {
    const int index = FSize % TMxBufferSegment::SegmentSize;
    if (index == 0) {
        TMxBufferSegment* s = Pool("TMxBuffer.AddByte").GetBufferSegment();
        if (!Tail)
            Head = s;
        else
            Tail->Next = s;
        Tail = s;
    }
    Tail->FData[index] = B;
    ++FSize;
}

void TMxBuffer::AddData(const void* Data, std::size_t Length) {
    const auto* p = static_cast<const std::uint8_t*>(Data);
    while (Length > 0) {
        int index = FSize % TMxBufferSegment::SegmentSize;
        if (index == 0) {
            TMxBufferSegment* s = Pool("TMxBuffer.AddData").GetBufferSegment();
            if (!Tail)
                Head = s;
            else
                Tail->Next = s;
            Tail = s;
        }
        std::size_t n = std::min<std::size_t>(Length, std::size_t(TMxBufferSegment::SegmentSize - index));
        std::memcpy(Tail->FData + index, p, n);
        FSize += static_cast<int>(n);
        p += n;
        Length -= n;
    }
}

void TMxBuffer::Clear() {
    if (Head) {
        int count = 0;
        for (TMxBufferSegment* s = Head; s; s = s->Next) ++count;
        // Segments exist only when the pool does.
        BufferSegmentPool()->PutBufferSegments(Head, Tail, count);
    }
    Head = Tail = nullptr;
    FSize = 0;
}

MyAnsiString TMxBuffer::GetText() const {
    MyAnsiString r;
    r.resize(static_cast<std::size_t>(FSize));
    std::size_t pos = 0;
    for (const TMxBufferSegment* s = Head; s && pos < r.size(); s = s->Next) {
        std::size_t n = std::min<std::size_t>(r.size() - pos, TMxBufferSegment::SegmentSize);
        std::memcpy(r.data() + pos, s->FData, n);
        pos += n;
    }
    return r;
}

// ---------------------------------------------------------------- pointer

void TMxBufferPointer::AssignBuffer(const TMxBuffer* Buffer) {
    FBuffer = Buffer;
    FPosition = 0;
    SegmentValid = false;
    Segment = nullptr;
}

bool TMxBufferPointer::EndOfBuffer() const {
    if (!FBuffer) throw Exception("TMxBufferPointer.EndOfBuffer: Invalid Buffer");
    return FPosition >= FBuffer->FSize;
}

void TMxBufferPointer::ValidateSegment() {
    if (SegmentValid) return;
    Segment = FPosition == 0 ? FBuffer->Head : Segment->Next;
    SegmentValid = true;
}

std::uint8_t TMxBufferPointer::GetByte() {
    if (!FBuffer) throw Exception("TMxBufferPointer.GetByte: Invalid Buffer");
    if (FPosition >= FBuffer->FSize) {
        static const char hex[] = "0123456789ABCDEF";
        for (const TMxBufferSegment* s = FBuffer->Head; s; s = s->Next) {
            const bool last = s == FBuffer->Tail;
            const int n = last ? FBuffer->FSize - (FBuffer->FSize - 1) / TMxBufferSegment::SegmentSize * TMxBufferSegment::SegmentSize
                               : TMxBufferSegment::SegmentSize;
            for (int i = 0; i < n; ++i) {
                const char line[3] = {hex[s->FData[i] >> 4], hex[s->FData[i] & 15], 0};
                LogInfo(line);
            }
            if (last) break;
        }
        throw Exception("TMxBufferPointer.GetByte: Read at End of Buffer");
    }
    ValidateSegment();
    return Segment->FData[FPosition % TMxBufferSegment::SegmentSize];
}

void TMxBufferPointer::Increment() {
    if (!FBuffer) throw Exception("TMxBufferPointer.Increment: Invalid Buffer");
    if (FPosition >= FBuffer->FSize) return;
    ValidateSegment();
    ++FPosition;
    if (FPosition % TMxBufferSegment::SegmentSize == 0) SegmentValid = false;
}

} // namespace vo
