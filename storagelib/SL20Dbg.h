#pragma once
// Debug records: where a token of a stored text stood, attached by the reader
// to the values it makes when it reads in debug mode.
#include <cstdint>

#include "storagelib/SL20Pool.h"

namespace vo {

// The abstract debug record; every operation is refused here.
class TDbgInfo {
public:
    virtual ~TDbgInfo() = default;
    virtual const char* ClassName() const noexcept { return "TDbgInfo"; }

    virtual int32_t GetTokPos() const;
    virtual void SetTokPos(int32_t Value);
    virtual int32_t GetTokLength() const;
    virtual void SetTokLength(int32_t Value);
    virtual int32_t GetTokLine() const;
    virtual void SetTokLine(int32_t Value);
    virtual bool GetBreakpoint() const;
    virtual void SetBreakpoint(bool Value);
    virtual uint16_t GetStorageID() const;
    virtual void SetStorageID(uint16_t Value);

protected:
    [[noreturn]] void NotImplemented(const char* Method) const;
};

class TElmDbgInfo final : public TDbgInfo {
    // A record per value read in debug mode: from the small-value pool.
    VO_SL_POOLED
public:
    TElmDbgInfo() = default;
    TElmDbgInfo(int32_t TokPos, int32_t TokLength, int32_t TokLine, uint16_t StorageID)
        : FTokPos(TokPos), FTokLength(TokLength), FTokLine(TokLine), FStorageID(StorageID) {}
    const char* ClassName() const noexcept override { return "TElmDbgInfo"; }

    int32_t GetTokPos() const override { return FTokPos; }
    void SetTokPos(int32_t Value) override { FTokPos = Value; }
    int32_t GetTokLength() const override { return FTokLength; }
    void SetTokLength(int32_t Value) override { FTokLength = Value; }
    int32_t GetTokLine() const override { return FTokLine; }
    void SetTokLine(int32_t Value) override { FTokLine = Value; }
    bool GetBreakpoint() const override { return FBreak; }
    void SetBreakpoint(bool Value) override { FBreak = Value; }
    uint16_t GetStorageID() const override { return FStorageID; }
    void SetStorageID(uint16_t Value) override { FStorageID = Value; }

private:
    int32_t FTokPos = 0;
    int32_t FTokLength = 0;
    int32_t FTokLine = 0;
    bool FBreak = false;
    uint16_t FStorageID = 0;
};

} // namespace vo
