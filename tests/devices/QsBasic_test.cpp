// The command codes of the basic connection service by protocol generation.
#include "devices/QsBasic.h"

#include "comm/QpRegister.h"
#include "kernel/MxMLib20.h"
#include "storagelib/SL20Dec.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace vo {
namespace {

class QsBasicTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        Registry = SLDecodeString("[D /Profiles [D /Drive [D /DeviceType 'Online' ] ] /Ovra [D /Name 'OvraService' ] ]");
        auto* root = dynamic_cast<TSLDictionary*>(Registry.Get());
        Manager = std::make_unique<TDeviceManager>(root);
        Manager->RegisterServiceClass("OvraService", DeviceServiceClass<TBasicOvraService>());
        TDevice& d = Manager->CreateDevice("BOX", "Drive");
        Service = &dynamic_cast<TBasicOvraService&>(d.CreateService("OvraService", DictionaryAtPath(root, "Ovra")));
    }
    void TearDown() override {
        Manager.reset();
        MainSchedulerFixture::TearDown();
    }

    TRef<TSLObject> Registry;
    std::unique_ptr<TDeviceManager> Manager;
    TBasicOvraService* Service = nullptr;
};

// One operation: its field, the class bound to it and its codes (-1: the
// field stays nil; sub-commands as command * 256 + sub).
struct TRow {
    const char* Field;
    std::function<TOvraPattern*(TBasicOvraService&)> Get;
    const char* Class;
    int Code2x;
    int Code4x; // -2: kept from before
};

#define ROW(F, C, A, B) \
    TRow { \
#F, [](TBasicOvraService & S) -> TOvraPattern* { return S.F(); }, C, A, B \
    }

const std::vector<TRow>& Table() {
    static const std::vector<TRow> rows = {
        ROW(DeviceLogin, "TLoginPattern", 0x01, 0x01),
        ROW(DeviceLogout, "TSimplePattern", 0x02, 0x02),
        ROW(GetStatus, "TGetStatusPattern", 0x03, 0x03),
        ROW(GetMemoryWord, "TGetWordPattern", 0x10, 0x10),
        ROW(SetMemoryWord, "TSetWordPattern", 0x11, 0x11),
        ROW(SetFlashWord, "TSetWordPattern", 0x12, -2),
        ROW(StartProgram, "TSimplePattern", 0x20, 0x20),
        ROW(StopProgram, "TSimplePattern", 0x21, 0x21),
        ROW(OldStartProgram, "TAddrActionPattern", 0x20, -2),
        ROW(BlinkDevice, "TCustomPattern", 0x05, 0x05),
        ROW(ResetDevice, "TSimplePattern", 0x22, 0x22),
        ROW(RebootDevice, "TByteActionPattern", 0x22, 0x22),
        ROW(EraseFlash, "TAddrActionPattern", 0x23, 0x23),
        ROW(EraseFlashAll, "TSimplePattern", 0x27, 0x27),
        ROW(FindInfoNode, "TFindInfoPattern", 0x25, 0x25),
        ROW(GetMemoryBlock, "TGetBlockPattern", 0x30, 0x30),
        ROW(GetFlashMemoryBlock, "TGetBlockPattern", 0x36, 0x36),
        ROW(SetMemoryBlock, "TSetBlockPattern", 0x31, 0x31),
        ROW(SetFlashBlock, "TSetBlockPattern", 0x32, 0x32),
        ROW(SetEncFlashBlock, "TSetBlockPattern", 0x37, 0x37),
        ROW(GetMemoryString, "TGetStringPattern", 0x34, -2),
        ROW(SetMemoryString, "TSetStringPattern", 0x35, -2),
        ROW(MaskMemoryWord, "TSetBitPattern", 0x13, 0x13),
        ROW(SaveROMPar, "TSimplePattern", -1, -1),
        ROW(CopyRamToFlash, "TCopyBlockPattern", 0x33, -2),
        ROW(GetFirstEmptyAddr, "TGetFirstEmptyPattern", 0x26, 0x26),
        ROW(SetParWithUPID, "TCustomPattern", 0x89, 0x89),
        ROW(GetParWithUPID, "TCustomPattern", 0x88, 0x88),
        ROW(SetBlockUPID, "TCustomPattern", -1, 0x16),
        ROW(GetBlockUPID, "TCustomPattern", -1, 0x15),
        ROW(ClearInstancePar, "TInstancePattern", 0x8906, 0x8906),
        ROW(ClearInstanceAll, "TInstancePattern", 0x8909, 0x8909),
        ROW(SetInstanceDefPar, "TInstancePattern", 0x8908, 0x8908),
        ROW(GetInstanceTreeName, "TInstancePattern", 0x8810, 0x8810),
        ROW(UpdateUPIDList, "TInstancePattern", 0x8907, 0x8907),
        ROW(EraseMemory, "TEraseMemPattern", 0x890A, 0x890A),
        ROW(CurveSaveRamToFlash, "TCurvePattern", 0x900D, -2),
        ROW(CTSaveRamToFlash, "TCurvePattern", 0x9408, -2),
    };
    return rows;
}

// The code of a bound pattern (with its sub-command), -1 for nil.
int CodeOf(const TOvraPattern* P) {
    if (!P)
        return -1;
    if (auto* i = dynamic_cast<const TInstancePattern*>(P))
        return P->OvraId() * 256 + i->OvraSubID;
    if (auto* e = dynamic_cast<const TEraseMemPattern*>(P))
        return P->OvraId() * 256 + e->OvraSubID;
    if (auto* c = dynamic_cast<const TCurvePattern*>(P))
        return P->OvraId() * 256 + c->OvraSubID;
    return P->OvraId();
}

void ExpectTable(TBasicOvraService& S, bool FourX) {
    for (const TRow& r : Table()) {
        SCOPED_TRACE(r.Field);
        const int expected = FourX && r.Code4x != -2 ? r.Code4x : r.Code2x;
        TOvraPattern* p = r.Get(S);
        EXPECT_EQ(CodeOf(p), expected);
        if (p) {
            EXPECT_EQ(p->ClassName(), r.Class);
            EXPECT_EQ(p->Owner(), static_cast<TOvraService*>(&S));
        }
    }
}

TEST_F(QsBasicTest, ANewServiceHoldsTheOldestTable) {
    ExpectTable(*Service, false);
    EXPECT_EQ(Service->GetMemoryString()->OvraId(), 0x34);
    EXPECT_EQ(Service->GetBlockUPID(), nullptr);
    EXPECT_EQ(Service->CurveSaveRamToFlash()->OvraSubID, 0x0D);
}

TEST_F(QsBasicTest, GenerationsBindTheirTables) {
    Service->Init(0x41);
    ExpectTable(*Service, true);
    EXPECT_EQ(Service->GetBlockUPID()->OvraId(), 0x15);
    EXPECT_EQ(Service->SetBlockUPID()->OvraId(), 0x16);
    EXPECT_EQ(Service->SetFlashWord()->OvraId(), 0x12);
    for (int version : {0x20, 0x21, 0x31, 0x3F, 0x2A}) {
        SCOPED_TRACE(version);
        Service->Init(version);
        ExpectTable(*Service, false);
    }
    Service->Init(0x40);
    ExpectTable(*Service, true);
}

TEST_F(QsBasicTest, UnknownGenerationsChangeNothing) {
    Service->Init(0x41);
    std::vector<TOvraPattern*> before;
    for (const TRow& r : Table())
        before.push_back(r.Get(*Service));
    for (int version : {0x02, 0x50, 0x10, 0x00, 0xF1, 0x1F2}) {
        SCOPED_TRACE(version);
        Service->Init(version);
        for (size_t i = 0; i < Table().size(); ++i)
            EXPECT_EQ(Table()[i].Get(*Service), before[i]) << Table()[i].Field;
    }
}

TEST_F(QsBasicTest, ANewLoginReplacesThePatternObjects) {
    Service->Init(0x41);
    TOvraPattern* word = Service->GetMemoryWord();
    TOvraPattern* flashWord = Service->SetFlashWord();
    Service->Init(0x41);
    EXPECT_NE(Service->GetMemoryWord(), word); // a new object (the old one is freed)
    EXPECT_EQ(Service->SetFlashWord(), flashWord); // not in the 0x4x table
    Service->Init(0x31);
    EXPECT_NE(Service->SetFlashWord(), flashWord);
}

TEST_F(QsBasicTest, NamedPatternsOfRegisteredClasses) {
    test::ExpectError([&] { Service->AddService<TGetWordPattern>("Word", 0x10); }, "TBasicOvraService.AddService: pattern TGetWordPattern is not registered");
    TOvraClient client;
    RegisterOvraPatterns(client);
    SetOvraClient(&client);
    TGetWordPattern& word = Service->AddService<TGetWordPattern>("Word", 0x10);
    TCurvePattern& curve = Service->AddService<TCurvePattern>("Curve", 0x90, 0x0D);
    EXPECT_EQ(Service->GetService("Word"), &word);
    EXPECT_EQ(curve.OvraSubID, 0x0D);
    EXPECT_EQ(word.Owner(), static_cast<TOvraService*>(Service));
    EXPECT_EQ(Service->GetService("Nothing"), nullptr);
    test::ExpectError([&] { Service->AddService<TSimplePattern>("Word", 0x02); }, "TBasicOvraService.AddService: service Word already exists");
    SetOvraClient(nullptr);
}

} // namespace
} // namespace vo
