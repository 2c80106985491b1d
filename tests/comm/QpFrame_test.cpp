// Telegram patterns, all 19 kinds: the request bytes for address sizes 3 and
// 4 and several data sizes, and the decoded answer for success, drive
// statuses below 0x80, 0xA4 with data, errors with bit 7 set and answers too
// short for their fields. Records go the client's way: the request frame is
// read back out of the request message, the answer is handed in as a reply
// message record, so what is checked is what the server would see and give.
// Also: GetMaxSize, Put limits, and the record-header checks of the getters.
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
#include "comm/QpRegister.h"
#include "comm/QpSetBit.h"
#include "comm/QpSetBlk.h"
#include "comm/QpSetStr.h"
#include "comm/QpSetWrd.h"
#include "comm/QpSimple.h"
#include "tests/support/RecordActor.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace vo;

namespace {

// Bytes from "10 34 12 00".
MyAnsiString Hex(const std::string& Text) {
    MyAnsiString out;
    std::string digits;
    for (char c : Text)
        if (c != ' ')
            digits.push_back(c);
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

std::string ToHex(const MyAnsiString& Bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : Bytes) {
        if (!out.empty())
            out.push_back(' ');
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

using vo::test::TRecordActor;

class PatternTest : public ::testing::Test {
protected:
    void SetUp() override {
        MxEnsureMessaging();
        RegisterOvraPatterns(*Client);
        Service.SetPortHandle(3);
        SetFacts(4, 2);
    }

    void SetFacts(uint8_t A, uint8_t D, uint8_t MaxBuffer = 255, uint8_t Increment = 1) {
        TOvraLoginFacts f;
        f.ProtocolVersion = 0x41;
        f.AddrFieldSize = A;
        f.DataFieldSize = D;
        f.AddrIncrement = Increment;
        f.MaxBufferSize = MaxBuffer;
        Service.SetLoginFacts(f);
        Service.SetDeviceOnline(true);
    }

    // The frame the server would send for the current record (command byte
    // first), read back out of the request message.
    MyAnsiString Request() {
        TMessageWriter w;
        w.CreateMessage();
        Client->PutRequestData(Actor, w);
        TMxMessagePtr m(w.GetItem());
        TMessageReader r;
        r.SetItem(m.get());
        EXPECT_EQ(MsgTextToInt(r.GetCommand()), Actor.GetHeader().OvraPat);
        EXPECT_EQ(MsgGetInt(r), Service.PortHandle());
        MyAnsiString frame = MsgGetStr(r);
        r.SetItem(nullptr);
        return frame;
    }

    // Hands Answer to the current record as the server's reply record does:
    // the result is the answer's second byte (or Result when given), and the
    // frame comes along for results below 0x80 and for 0xA4. Returns the
    // record's result.
    uint8_t Answer(const MyAnsiString& Frame, int Result = -1) {
        if (Result < 0)
            Result = Frame.size() >= 2 ? static_cast<uint8_t>(Frame[1]) : 0;
        TMessageWriter w;
        w.CreateMessage();
        w.PutCommand(MsgIntToText(Actor.GetHeader().OvraPat));
        MsgPutInt(w, Result);
        if (Result < 0x80 || Result == 0xA4)
            MsgPutStr(w, Frame);
        TMxMessagePtr m(w.GetItem());
        TMessageReader r;
        r.SetItem(m.get());
        Client->GetResponseData(r, Actor);
        r.SetItem(nullptr);
        return Actor.GetResult();
    }

    std::unique_ptr<TOvraClient> Client = std::make_unique<TOvraClient>();
    TOvraService Service;
    TRecordActor Actor{*Client};
};

// ------------------------------------------------------------------ words

TEST_F(PatternTest, GetWordRequestAndAnswer) {
    struct {
        uint8_t A, D;
        int32_t Address;
        const char* Request;
        const char* Answer;
        uint8_t Result;
        int32_t Data; // after the answer (0 = as put)
    } cases[] = {
        {3, 2, 0x1234, "10 34 12 00", "10 00 78 56", 0, 0x5678},
        {4, 2, 0x1234, "10 34 12 00 00", "10 00 78 56", 0, 0x5678},
        {4, 2, static_cast<int32_t>(0x89ABCDEF), "10 EF CD AB 89", "10 00 FF FF", 0, 0xFFFF},
        {3, 4, 0x00ABCDEF, "10 EF CD AB", "10 00 01 02 03 04", 0, 0x04030201},
        {4, 1, 7, "10 07 00 00 00", "10 00 9A", 0, 0x9A},
        {3, 2, 0x10, "10 10 00 00", "10 05 78 56", 0x05, 0}, // drive status: no data taken
        {3, 2, 0x10, "10 10 00 00", "10 A4 78 56", 0xA4, 0}, // 0xA4: only the custom kind takes data
        {3, 2, 0x10, "10 10 00 00", "10 C3", 0xC3, 0}, // error, no frame
        {3, 2, 0x10, "10 10 00 00", "10 00 78", OvraResBadReply, 0}, // one byte of a word
        {4, 4, 0x10, "10 10 00 00 00", "10 00 01 02 03", OvraResBadReply, 0},
        {3, 2, 0x10, "10 10 00 00", "10 00", OvraResBadReply, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Request) + " / " + c.Answer);
        SetFacts(c.A, c.D);
        TGetWordPattern p(&Service, 0x10);
        Actor.Clear();
        p.Put(Actor, c.Address, 77);
        EXPECT_EQ(ToHex(Request()), c.Request);
        EXPECT_EQ(Answer(Hex(c.Answer)), c.Result);
        EXPECT_EQ(p.GetData(Actor), c.Data);
        EXPECT_EQ(p.GetAddress(Actor), c.Address);
        EXPECT_EQ(Actor.GetUser(), 77);
    }
}

TEST_F(PatternTest, SetWordAndSetBitRequests) {
    struct {
        uint8_t A, D;
        const char* SetWord; // address 0x100, data 0x0001
        const char* SetBit; // address 0x100, data 0x0001, mask 0x0003
    } cases[] = {
        {4, 2, "11 00 01 00 00 01 00", "13 00 01 00 00 03 00 01 00"},
        {3, 2, "11 00 01 00 01 00", "13 00 01 00 03 00 01 00"},
        {3, 4, "11 00 01 00 01 00 00 00", "13 00 01 00 03 00 00 00 01 00 00 00"},
        {4, 1, "11 00 01 00 00 01", "13 00 01 00 00 03 01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.SetWord);
        SetFacts(c.A, c.D);
        TSetWordPattern w(&Service, 0x11);
        TSetBitPattern b(&Service, 0x13);
        Actor.Clear();
        w.Put(Actor, 0x100, 0x0001, 0);
        EXPECT_EQ(ToHex(Request()), c.SetWord);
        EXPECT_EQ(Answer(Hex("11 00")), 0);
        EXPECT_EQ(w.GetData(Actor), 1);
        Actor.Clear();
        b.Put(Actor, 0x100, 0x0001, 0x0003, 0);
        EXPECT_EQ(ToHex(Request()), c.SetBit);
        EXPECT_EQ(Answer(Hex("13 C3")), 0xC3);
        EXPECT_EQ(b.GetMask(Actor), 3);
        EXPECT_EQ(b.GetData(Actor), 1);
        EXPECT_EQ(b.GetAddress(Actor), 0x100);
    }
    // A word wider than D is sent as its low D bytes; a status below 0x80
    // comes back as the result.
    SetFacts(3, 2);
    TSetWordPattern flash(&Service, 0x12);
    Actor.Clear();
    flash.Put(Actor, 0x200, 0x12345678, 0);
    EXPECT_EQ(ToHex(Request()), "12 00 02 00 78 56");
    EXPECT_EQ(Answer(Hex("12 04")), 0x04);
    // A status answer without its result byte is refused.
    EXPECT_EQ(Answer(Hex("12"), 0), OvraResBadReply);
}

// ------------------------------------------------------------------ blocks

TEST_F(PatternTest, GetBlockTakesExactlyItsSize) {
    struct {
        uint8_t A;
        uint8_t Size;
        const char* Request;
        const char* Answer;
        uint8_t Result;
        const char* Data;
    } cases[] = {
        {3, 4, "30 00 20 00 04", "30 00 01 02 03 04", 0, "01 02 03 04"},
        {4, 4, "30 00 20 00 00 04", "30 00 01 02 03 04", 0, "01 02 03 04"},
        {4, 0, "30 00 20 00 00 00", "30 00", 0, ""},
        {3, 4, "30 00 20 00 04", "30 00 01 02 03", OvraResBadReply, ""}, // a short block is no block
        {3, 4, "30 00 20 00 04", "30 05 01 02 03 04", 0x05, ""},
        {3, 4, "30 00 20 00 04", "30 A4 01 02 03 04", 0xA4, ""},
        {3, 4, "30 00 20 00 04", "30 C2", 0xC2, ""},
        // Bytes after the block are not part of it.
        {3, 2, "30 00 20 00 02", "30 00 01 02 03 04", 0, "01 02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Request) + " / " + c.Answer);
        SetFacts(c.A, 2);
        TGetBlockPattern p(&Service, 0x30);
        Actor.Clear();
        p.Put(Actor, 0x2000, c.Size, 0);
        EXPECT_EQ(ToHex(Request()), c.Request);
        EXPECT_EQ(Answer(Hex(c.Answer)), c.Result);
        EXPECT_EQ(ToHex(p.GetData(Actor)), c.Data);
        EXPECT_EQ(p.GetSize(Actor), c.Size);
    }
    // 252 bytes, the largest block of a 255-byte buffer.
    SetFacts(4, 2);
    TGetBlockPattern p(&Service, 0x36);
    MyAnsiString big;
    for (int i = 0; i < 252; ++i)
        big.push_back(static_cast<char>(i * 7));
    Actor.Clear();
    p.Put(Actor, 0x01000000, 252, 0);
    EXPECT_EQ(ToHex(Request()), "36 00 00 00 01 FC");
    EXPECT_EQ(Answer(Hex("36 00") + big), 0);
    EXPECT_EQ(p.GetData(Actor), big);
}

TEST_F(PatternTest, SetBlockSendsTheBytesAfterTheAddress) {
    SetFacts(3, 2);
    TSetBlockPattern p(&Service, 0x31);
    p.Put(Actor, 0x123456, Hex("AA BB 00 CC"), 5);
    EXPECT_EQ(ToHex(Request()), "31 56 34 12 AA BB 00 CC");
    EXPECT_EQ(p.GetSize(Actor), 4);
    EXPECT_EQ(Answer(Hex("31 00")), 0);
    EXPECT_EQ(ToHex(p.GetData(Actor)), "AA BB 00 CC");

    SetFacts(4, 2);
    TSetBlockPattern enc(&Service, 0x37);
    Actor.Clear();
    enc.Put(Actor, 0x01000010, Hex("01 02"), 0);
    EXPECT_EQ(ToHex(Request()), "37 10 00 00 01 01 02");
    EXPECT_EQ(Answer(Hex("37 C4")), 0xC4);

    // 255 bytes are a short string; 256 are refused, nothing is cut off.
    Actor.Clear();
    enc.Put(Actor, 0, MyAnsiString(255, 'x'), 0);
    EXPECT_EQ(enc.GetSize(Actor), 255);
    test::ExpectError([&] { enc.Put(Actor, 0, MyAnsiString(256, 'x'), 0); }, "TSetBlockPattern.Put: data of 256 bytes is longer than 255 bytes");
    EXPECT_EQ(Actor.GetCount(), 1);
}

TEST_F(PatternTest, GetMaxSizeFromTheLoginFacts) {
    struct {
        uint8_t MaxBuffer, A, D;
        int32_t Get, Set;
    } cases[] = {
        {64, 3, 2, 62, 60},
        {64, 3, 4, 60, 60},
        {255, 3, 2, 252, 250},
        {255, 4, 2, 252, 250},
        {255, 4, 4, 252, 248},
        {255, 3, 4, 252, 248},
        {255, 3, 1, 253, 251},
        {128, 3, 2, 126, 124},
        {255, 4, 0, 0, 0}, // a data size of 0 from a malformed login answer
        {0, 4, 2, 0, 0},
        {2, 4, 2, 0, 0},
        {5, 4, 2, 2, 0},
        {6, 4, 2, 4, 0},
    };
    TGetBlockPattern get(&Service, 0x30);
    TSetBlockPattern set(&Service, 0x31);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.MaxBuffer) + " " + std::to_string(c.A) + " " + std::to_string(c.D));
        SetFacts(c.A, c.D, c.MaxBuffer);
        EXPECT_EQ(get.GetMaxSize(), c.Get);
        EXPECT_EQ(set.GetMaxSize(), c.Set);
    }
    Service.SetDeviceOnline(false);
    test::ExpectError([&] { get.GetMaxSize(); }, "TGetBlockPattern.GetMaxSize: service is not online");
    EXPECT_THROW(set.GetMaxSize(), Exception);
    TSetBlockPattern orphan(nullptr, 0x31);
    EXPECT_THROW(orphan.GetMaxSize(), Exception);
}

TEST_F(PatternTest, CopyBlockAndFirstEmpty) {
    struct {
        uint8_t A;
        const char* Copy; // RAM 0x1000, flash 0x01000200, 300 bytes
        const char* FirstEmpty; // 0x01000000 .. 0x01040000
        const char* Answer;
        int32_t Data;
    } cases[] = {
        {4, "33 00 10 00 00 00 02 00 01 2C 01", "26 00 00 00 01 00 00 04 01", "26 00 00 08 00 01", 0x01000800},
        {3, "33 00 10 00 00 02 00 2C 01", "26 00 00 00 00 00 04", "26 00 00 08 00", 0x000800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Copy);
        SetFacts(c.A, 2);
        TCopyBlockPattern copy(&Service, 0x33);
        TGetFirstEmptyPattern first(&Service, 0x26);
        Actor.Clear();
        copy.Put(Actor, 0x1000, 0x01000200, 300, 0);
        EXPECT_EQ(ToHex(Request()), c.Copy);
        EXPECT_EQ(Answer(Hex("33 00")), 0);
        EXPECT_EQ(copy.GetSize(Actor), 300);
        Actor.Clear();
        first.Put(Actor, 0x01000000, 0x01040000, 0);
        EXPECT_EQ(ToHex(Request()), c.FirstEmpty);
        EXPECT_EQ(Answer(Hex(c.Answer)), 0);
        EXPECT_EQ(first.GetData(Actor), c.Data);
        EXPECT_EQ(first.GetEndAddr(Actor), 0x01040000);
        // Answers too short for the address, and an error.
        EXPECT_EQ(Answer(Hex("26 00 00 08")), OvraResBadReply);
        EXPECT_EQ(first.GetData(Actor), c.Data);
        EXPECT_EQ(Answer(Hex("26 C3")), 0xC3);
    }
    // Sizes that two bytes cannot carry are refused.
    TCopyBlockPattern copy(&Service, 0x33);
    Actor.Clear();
    EXPECT_THROW(copy.Put(Actor, 0, 0, 0x10000, 0), Exception);
    EXPECT_THROW(copy.Put(Actor, 0, 0, -1, 0), Exception);
    copy.Put(Actor, 0, 0, 0xFFFF, 0);
    EXPECT_EQ(Actor.GetCount(), 1);
}

// ------------------------------------------------------------------ strings

TEST_F(PatternTest, GetStringTakesMaxSizeBytesAsTheyCome) {
    SetFacts(3, 2);
    TGetStringPattern p(&Service, 0x34);
    p.Put(Actor, 0x2000, 32, 0);
    EXPECT_EQ(ToHex(Request()), "34 00 20 00 00 20");
    EXPECT_EQ(p.GetMaxSize(Actor), 32);
    const MyAnsiString text = MyAnsiString("AB\0CD", 5) + MyAnsiString(27, '\0');
    EXPECT_EQ(Answer(Hex("34 00") + text), 0);
    EXPECT_EQ(p.GetData(Actor), text); // no cut at the 0x00 byte

    SetFacts(4, 2);
    Actor.Clear();
    p.Put(Actor, 0x2000, 4, 0);
    EXPECT_EQ(ToHex(Request()), "34 00 20 00 00 00 04");
    EXPECT_EQ(Answer(Hex("34 00 41 42 43")), OvraResBadReply);
    EXPECT_EQ(p.GetData(Actor), "");
    EXPECT_EQ(Answer(Hex("34 A4 41 42 43 44")), 0xA4);
    EXPECT_EQ(p.GetData(Actor), "");
}

TEST_F(PatternTest, SetStringCutsToMaxSizeAndTerminates) {
    struct {
        uint8_t A, MaxSize;
        const char* Data;
        const char* Request;
    } cases[] = {
        {3, 4, "abcdef", "35 00 20 00 61 62 63 64 00"},
        {4, 4, "abcdef", "35 00 20 00 00 61 62 63 64 00"},
        {4, 10, "ab", "35 00 20 00 00 61 62 00"},
        {3, 0, "ab", "35 00 20 00 00"},
        {3, 8, "", "35 00 20 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Request);
        SetFacts(c.A, 2);
        TSetStringPattern p(&Service, 0x35);
        Actor.Clear();
        p.Put(Actor, 0x2000, c.MaxSize, c.Data, 0);
        EXPECT_EQ(ToHex(Request()), c.Request);
        EXPECT_EQ(p.GetMaxSize(Actor), c.MaxSize);
        EXPECT_EQ(Answer(Hex("35 00")), 0);
    }
}

// ------------------------------------------------------------------ custom

TEST_F(PatternTest, CustomKeepsTheAnswerForStatusesAndA4) {
    struct {
        const char* Answer;
        int Result; // -1: the answer's second byte
        uint8_t Expected;
        const char* Response;
    } cases[] = {
        {"88 00 10 00", -1, 0, "10 00"},
        {"88 00", -1, 0, ""},
        {"88 05 01 02", -1, 0x05, "01 02"}, // a drive status keeps its data
        {"88 A4 10 00 20", -1, 0xA4, "10 00 20"},
        {"88 C0", -1, 0xC0, ""},
        {"", 0xB2, 0xB2, ""}, // no answer: the response stays empty
        {"88", 0, OvraResBadReply, ""}, // no result byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Answer);
        TCustomPattern p(&Service, 0x88);
        Actor.Clear();
        p.Put(Actor, Hex("00 00 10"), 0);
        EXPECT_EQ(ToHex(Request()), "88 00 00 10");
        EXPECT_EQ(Answer(Hex(c.Answer), c.Result), c.Expected);
        EXPECT_EQ(ToHex(p.GetResponse(Actor)), c.Response);
        EXPECT_EQ(ToHex(p.GetRequest(Actor)), "00 00 10");
    }
    // The address sizes do not matter; 255 request bytes pass, 256 are refused.
    SetFacts(3, 4);
    TCustomPattern blink(&Service, 0x05);
    Actor.Clear();
    blink.Put(Actor, Hex("FF FF 01"), 0);
    EXPECT_EQ(ToHex(Request()), "05 FF FF 01");
    blink.Put(Actor, MyAnsiString(255, 'r'), 0);
    EXPECT_EQ(Request().size(), 256u);
    EXPECT_THROW(blink.Put(Actor, MyAnsiString(256, 'r'), 0), Exception);
    EXPECT_EQ(Actor.GetCount(), 2);
}

// ------------------------------------------------------------------ info, status

TEST_F(PatternTest, FindInfoReadsNodeAddressTypeAndSize) {
    struct {
        uint8_t A;
        const char* Request;
        const char* Answer;
        uint8_t Result;
        int32_t NodeAddr;
        uint8_t NodeType;
        uint16_t NodeSize;
    } cases[] = {
        {4, "25 00 80 00 00 00", "25 00 80 80 00 00 00 9E 00", 0, 0x8080, 0, 0x9E},
        {3, "25 00 80 00 00", "25 00 80 80 00 05 34 12", 0, 0x8080, 5, 0x1234},
        {4, "25 00 80 00 00 00", "25 C7", 0xC7, 0x8000, 0, 0},
        {4, "25 00 80 00 00 00", "25 00 80 80 00 00 00 9E", OvraResBadReply, 0x8000, 0, 0},
        {3, "25 00 80 00 00", "25 00 80 80 00 05", OvraResBadReply, 0x8000, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Answer);
        SetFacts(c.A, 2);
        TFindInfoPattern p(&Service, 0x25);
        Actor.Clear();
        p.Put(Actor, 0x8000, 0, 0);
        EXPECT_EQ(ToHex(Request()), c.Request);
        EXPECT_EQ(Answer(Hex(c.Answer)), c.Result);
        EXPECT_EQ(p.GetNodeAddr(Actor), c.NodeAddr);
        EXPECT_EQ(p.GetNodeType(Actor), c.NodeType);
        EXPECT_EQ(p.GetNodeSize(Actor), c.NodeSize);
    }
}

TEST_F(PatternTest, GetStatusReadsFourWords) {
    for (uint8_t a : {3, 4}) {
        SetFacts(a, 2);
        TGetStatusPattern p(&Service, 0x03);
        Actor.Clear();
        p.Put(Actor, 0x01, 0);
        EXPECT_EQ(ToHex(Request()), "03 01");
        EXPECT_EQ(Answer(Hex("03 00 38 C0 39 30 01 00 41 10")), 0);
        EXPECT_EQ(p.GetStatus(Actor), 0xC038);
        EXPECT_EQ(p.GetSerNbrLow(Actor), 0x3039);
        EXPECT_EQ(p.GetSerNbrHigh(Actor), 0x0001);
        EXPECT_EQ(p.GetPartNbr(Actor), 0x1041);
        EXPECT_EQ(p.GetIdent(Actor), 1);
    }
    TGetStatusPattern p(&Service, 0x03);
    Actor.Clear();
    p.Put(Actor, 0x01, 0);
    EXPECT_EQ(Answer(Hex("03 00 38 C0 39 30 01 00 41")), OvraResBadReply);
    EXPECT_EQ(p.GetStatus(Actor), 0);
    EXPECT_EQ(Answer(Hex("03 B3")), 0xB3);
}

// ------------------------------------------------------------------ actions

TEST_F(PatternTest, ActionsWithoutAnswerFields) {
    for (uint8_t a : {3, 4}) {
        SCOPED_TRACE(int(a));
        SetFacts(a, 2);
        TSimplePattern start(&Service, 0x20);
        TAddrActionPattern erase(&Service, 0x23);
        TByteActionPattern reboot(&Service, 0x22);
        Actor.Clear();
        start.Put(Actor, 1);
        EXPECT_EQ(ToHex(Request()), "20");
        EXPECT_EQ(Answer(Hex("20 00")), 0);
        EXPECT_EQ(Answer(Hex("20 C6")), 0xC6);
        Actor.Clear();
        erase.Put(Actor, 0x01001000, 2);
        EXPECT_EQ(ToHex(Request()), a == 4 ? "23 00 10 00 01" : "23 00 10 00");
        EXPECT_EQ(Answer(Hex("23 00")), 0);
        EXPECT_EQ(erase.GetAddress(Actor), 0x01001000);
        Actor.Clear();
        reboot.Put(Actor, 0x5A, 3);
        EXPECT_EQ(ToHex(Request()), "22 5A");
        EXPECT_EQ(Answer(Hex("22 01 03"), 0x01), 0x01);
        EXPECT_EQ(reboot.GetOption(Actor), 0x5A);
        EXPECT_EQ(Actor.GetUser(), 3);
    }
}

TEST_F(PatternTest, SubCommandsReadACountedAnswer) {
    TInstancePattern treeName(&Service, 0x88, 0x10);
    TInstancePattern clear(&Service, 0x89, 0x06);
    TEraseMemPattern eraseMem(&Service, 0x89, 0x0A);
    TCurvePattern curveSave(&Service, 0x90, 0x0D);
    TCurvePattern tableSave(&Service, 0x94, 0x08);

    treeName.Put(Actor, 1, 0);
    EXPECT_EQ(ToHex(Request()), "88 10 01");
    EXPECT_EQ(Answer(Hex("88 00 03 61 62 63")), 0);
    EXPECT_EQ(treeName.GetData(Actor), "abc");
    EXPECT_EQ(treeName.GetSubID(Actor), 0x10);
    EXPECT_EQ(treeName.GetInstance(Actor), 1);
    // More bytes than counted are not data; fewer are refused.
    EXPECT_EQ(Answer(Hex("88 00 02 61 62 63")), 0);
    EXPECT_EQ(treeName.GetData(Actor), "ab");
    EXPECT_EQ(Answer(Hex("88 00 04 61 62 63")), OvraResBadReply);
    EXPECT_EQ(treeName.GetData(Actor), "ab");
    EXPECT_EQ(Answer(Hex("88 00")), OvraResBadReply);
    // A status without a count byte is a status.
    EXPECT_EQ(Answer(Hex("88 05")), 0x05);
    EXPECT_EQ(Answer(Hex("88 C2")), 0xC2);

    struct {
        std::function<void()> Put;
        const char* Request;
        const char* Answer;
    } cases[] = {
        {[&] { clear.Put(Actor, 2, 0); }, "89 06 02", "89 00 00"},
        {[&] { eraseMem.Put(Actor, 0); }, "89 0A", "89 00 00"},
        {[&] { curveSave.Put(Actor, 0); }, "90 0D", "90 00 01 07"},
        {[&] { tableSave.Put(Actor, 0); }, "94 08", "94 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Request);
        for (uint8_t a : {3, 4}) {
            SetFacts(a, 2);
            Actor.Clear();
            c.Put();
            EXPECT_EQ(ToHex(Request()), c.Request);
            EXPECT_EQ(Answer(Hex(c.Answer)), 0);
        }
    }
    EXPECT_EQ(ToHex(tableSave.GetData(Actor)), "");
    EXPECT_EQ(tableSave.GetSubID(Actor), 0x08);
}

// ------------------------------------------------------------------ login

MyAnsiString LoginAnswer(uint8_t A, uint8_t D, uint8_t MaxBuffer, uint32_t FlashBase, const MyAnsiString& Name) {
    MyAnsiString f = Hex("01 00 41");
    f.push_back(static_cast<char>(A));
    f.push_back(static_cast<char>(D));
    f.push_back(1);
    f.push_back(static_cast<char>(MaxBuffer));
    f += Hex("21 00 10 04 02 01 03 00");
    for (int i = 0; i < A; ++i)
        f.push_back(static_cast<char>(i < 4 ? (FlashBase >> (8 * i)) & 0xFF : 0));
    MyAnsiString name = Name;
    name.resize(16, '\0');
    return f + name;
}

TEST_F(PatternTest, LoginAnswerFollowsItsOwnAddressSize) {
    for (uint8_t a : {3, 4}) {
        SCOPED_TRACE(int(a));
        Service.SetDeviceOnline(false);
        Service.SetLoginFacts({}); // before the first login: no widths yet
        TLoginPattern p(&Service, 0x01);
        Actor.Clear();
        p.Put(Actor, "secret", 0);
        EXPECT_EQ(Request(), "\x01secret");
        const MyAnsiString answer = LoginAnswer(a, 2, 128, 0x01020304, "VX-SIM");
        EXPECT_EQ(answer.size(), 2u + 5 + 8 + a + 16);
        EXPECT_EQ(Answer(answer), 0);
        const TLoginData d = p.Get(Actor);
        EXPECT_EQ(d.ProtocolVersion, 0x41);
        EXPECT_EQ(d.AddrFieldSize, a);
        EXPECT_EQ(d.DataFieldSize, 2);
        EXPECT_EQ(d.AddrIncrement, 1);
        EXPECT_EQ(d.MaxBufferSize, 128);
        EXPECT_EQ(d.ProcessorType, 0x21);
        EXPECT_EQ(d.DeviceType, 0x0410);
        EXPECT_EQ(d.DeviceVersion, 0x0102);
        EXPECT_EQ(d.FlashType, 3);
        EXPECT_EQ(d.FlashBaseAddr, a == 4 ? 0x01020304 : 0x020304);
        EXPECT_EQ(d.DeviceString, MyAnsiString("VX-SIM") + MyAnsiString(10, '\0')); // all 16 bytes
        const TOvraLoginFacts f = TLoginPattern::ToLoginFacts(d);
        EXPECT_EQ(f.AddrFieldSize, a);
        EXPECT_EQ(f.MaxBufferSize, 128);
        // One byte of the device string missing.
        EXPECT_EQ(Answer(answer.substr(0, answer.size() - 1)), OvraResBadReply);
    }
}

TEST_F(PatternTest, LoginPasswordAndMalformedAnswers) {
    TLoginPattern p(&Service, 0x01);
    p.Put(Actor, "", 0);
    EXPECT_EQ(ToHex(Request()), "01");
    Actor.Clear();
    p.Put(Actor, "0123456789abcdefXYZ", 0); // 19 bytes: the first 16 are kept
    EXPECT_EQ(Request(), "\x01"
                         "0123456789abcdef");

    struct {
        MyAnsiString Answer;
        uint8_t Result;
    } cases[] = {
        {LoginAnswer(4, 0, 255, 0, "X"), OvraResBadReply}, // no data width: no block size
        {LoginAnswer(0, 2, 255, 0, "X"), OvraResBadReply},
        {LoginAnswer(5, 2, 255, 0, "X"), OvraResBadReply},
        {Hex("01 00 41 04 02"), OvraResBadReply},
        {Hex("01 B3"), 0xB3},
        {Hex("01 C2"), 0xC2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToHex(c.Answer));
        EXPECT_EQ(Answer(c.Answer), c.Result);
        EXPECT_EQ(p.GetDataFieldSize(Actor), 0);
        EXPECT_EQ(p.GetMaxBufferSize(Actor), 0);
    }
}

// ------------------------------------------------------------------ records

TEST_F(PatternTest, GettersRefuseRecordsOfOtherPatternsCommandsAndDrives) {
    TSetWordPattern memory(&Service, 0x11);
    TSetWordPattern flash(&Service, 0x12);
    TGetWordPattern get(&Service, 0x10);
    TOvraService other;
    TSetWordPattern otherDrive(&other, 0x11);
    TInstancePattern clearPar(&Service, 0x89, 0x06);
    TInstancePattern updateList(&Service, 0x89, 0x07);

    memory.Put(Actor, 1, 2, 0);
    EXPECT_EQ(memory.GetData(Actor), 2);
    auto expectHeaderError = [](const std::function<void()>& F, const char* Text) {
        test::ExpectError([&] { F(); }, Text);
    };
    expectHeaderError([&] { flash.GetData(Actor); }, "TSetWordPattern.Get: error in record header");
    expectHeaderError([&] { otherDrive.GetAddress(Actor); }, "TSetWordPattern.Get: error in record header");
    EXPECT_THROW(get.GetData(Actor), Exception); // a record of another kind

    Actor.Clear();
    clearPar.Put(Actor, 1, 0);
    EXPECT_EQ(clearPar.GetInstance(Actor), 1);
    expectHeaderError([&] { updateList.GetData(Actor); }, "TInstancePattern.Get: error in record header");
}

TEST_F(PatternTest, RegistrationGivesTheFixedIds) {
    const char* names[] = {"TLoginPattern", "TGetWordPattern", "TSetWordPattern", "TGetBlockPattern",
                           "TSetBlockPattern", "TSimplePattern", "TAddrActionPattern", "TGetStringPattern",
                           "TSetStringPattern", "TCustomPattern", "TFindInfoPattern", "TGetStatusPattern",
                           "TSetBitPattern", "TInstancePattern", "TCopyBlockPattern", "TGetFirstEmptyPattern",
                           "TEraseMemPattern", "TCurvePattern", "TByteActionPattern"};
    ASSERT_EQ(Client->PatternCount(), 19);
    for (uint8_t id = 1; id <= 19; ++id) {
        EXPECT_EQ(Client->GetOvraPattern(id).ClassName(), names[id - 1]);
        EXPECT_EQ(Client->GetOvraPattern(id).GetPatternId(), id);
    }
    EXPECT_EQ(TSetBitPattern::Class().GetPatternId(), 13);
    EXPECT_THROW(Client->GetOvraPattern(20), Exception);
    EXPECT_THROW(RegisterOvraPatterns(*Client), Exception);
    EXPECT_THROW(Client->RegisterOvraPattern(TCurvePattern::Class()), Exception);
    EXPECT_EQ(TCurvePattern::Class().GetPatternId(), 18);

    // A record names its class, command and user in its header.
    TCurvePattern curve(&Service, 0x94, 0x08);
    curve.Put(Actor, -5);
    const TServiceRecordHeader h = Actor.GetHeader();
    EXPECT_EQ(h.OvraPat, 18);
    EXPECT_EQ(h.OvraIdt, 0x94);
    EXPECT_EQ(h.OvraRes, 0);
    EXPECT_EQ(h.OvraUsr, -5);
    EXPECT_EQ(h.OvraSrv.Get(), &Service);
}

} // namespace
