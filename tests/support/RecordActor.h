#pragma once
// An actor without a server: it only holds records, so that a test can fill
// them and walk them like a response handler does.
#include "comm/OvraClnt.h"
#include "platform/Exception.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vo::test {

class TRecordActor final : public TOvraActor {
public:
    using TOvraActor::TOvraActor;
    TOvraService* GetOvraService() override { return CurrentRecord() ? CurrentRecord()->Header.OvraSrv.Get() : nullptr; }
    void Clear() override {
        FRecords.clear();
        FIndex = 0;
    }
    void Execute() override {}
    void Reset() override { FIndex = 0; }
    void Next() override {
        if (FIndex >= FRecords.size())
            throw Exception("TRecordActor.Next: end of data set");
        ++FIndex;
    }
    uint8_t GetResult() override { return GetHeader().OvraRes; }
    int32_t GetUser() override { return GetHeader().OvraUsr; }
    uint8_t GetService() override { return GetHeader().OvraIdt; }
    bool GetBusy() const override { return false; }
    int32_t GetIndex() const override { return static_cast<int32_t>(FIndex); }
    int32_t GetCount() const override { return static_cast<int32_t>(FRecords.size()); }
    void AddData(std::unique_ptr<TActorRecord> Rec) override {
        FRecords.push_back(std::move(Rec));
        FIndex = FRecords.size() - 1;
    }

protected:
    TActorRecord* CurrentRecord() override { return FIndex < FRecords.size() ? FRecords[FIndex].get() : nullptr; }

private:
    std::vector<std::unique_ptr<TActorRecord>> FRecords;
    size_t FIndex = 0;
};

} // namespace vo::test
