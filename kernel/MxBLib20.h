#pragma once
// Message buffers: the body of every inter-task message is a byte buffer made
// of fixed 128-byte segments from one program-wide segment pool, so that
// bodies of any length are built byte by byte and recycled without heap
// traffic. A buffer pointer reads a buffer sequentially.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

class TMxBufferSegment {
public:
    static constexpr int SegmentSize = 128;
    TMxBufferSegment* Next = nullptr; // following segment of a buffer or of the free list
    std::uint8_t FData[SegmentSize];
};

// Segments circulate between buffers and the pool's free list; the pool owns
// every segment it ever created and frees them only when it is destroyed.
class TMxBufferSegmentPool {
public:
    TMxBufferSegmentPool() = default;
    ~TMxBufferSegmentPool();
    TMxBufferSegmentPool(const TMxBufferSegmentPool&) = delete;
    TMxBufferSegmentPool& operator=(const TMxBufferSegmentPool&) = delete;

    // A free segment (Next cleared, data not cleared), or a new one.
    TMxBufferSegment* GetBufferSegment();
    // Back to the free list; sets the caller's reference to nil.
    void PutBufferSegment(TMxBufferSegment*& Segment);
    // Puts a chain of Count segments linked through Next (First..Last) back at once.
    void PutBufferSegments(TMxBufferSegment* First, TMxBufferSegment* Last, int Count);

    int CountTotalSegments() const;
    int CountFreeSegments() const;

private:
    mutable std::mutex ProtectStruct;
    TMxBufferSegment* FreeSegments = nullptr;
    int FCountTotalSegments = 0;
    int FCountFreeSegments = 0;
    std::vector<std::unique_ptr<TMxBufferSegment>> FAllSegments;
};

// The program-wide pool; nil until MxCreateBufferSegmentPool. It lives until
// the process ends.
TMxBufferSegmentPool* BufferSegmentPool();
// Creates the pool; raises "MxCreateBufferSegmentPool: pool already exists".
void MxCreateBufferSegmentPool();

// A byte buffer of pooled segments. Byte i lies in segment i div 128 at index
// i mod 128; every segment but the last is full. Not locked: a buffer belongs
// to one message, which guards it.
class TMxBuffer {
public:
    TMxBuffer() = default;
    ~TMxBuffer() { Clear(); }
    TMxBuffer(const TMxBuffer&) = delete;
    TMxBuffer& operator=(const TMxBuffer&) = delete;

    void AddByte(std::uint8_t B);
    // Appends Length bytes (segment-wise; same result as AddByte for each).
    void AddData(const void* Data, std::size_t Length);
    // Returns every segment to the pool; the buffer is empty afterwards.
    void Clear();
    int GetSize() const { return FSize; }
    // The whole content as a byte string.
    MyAnsiString GetText() const;

    TMxBufferSegment* Head = nullptr;
    TMxBufferSegment* Tail = nullptr;

private:
    friend class TMxBufferPointer;
    int FSize = 0;
};

// Reads a buffer forward, one byte at a time, from its start.
class TMxBufferPointer {
public:
    void AssignBuffer(const TMxBuffer* Buffer);
    bool EndOfBuffer() const;
    // The byte at the current position. At or beyond the end it logs every
    // byte of the buffer as an info line and raises
    // "TMxBufferPointer.GetByte: Read at End of Buffer".
    std::uint8_t GetByte();
    // To the next byte; does nothing at the end.
    void Increment();
    int Position() const { return FPosition; }

private:
    void ValidateSegment();
    const TMxBuffer* FBuffer = nullptr;
    TMxBufferSegment* Segment = nullptr;
    bool SegmentValid = false;
    int FPosition = 0;
};

} // namespace vo
