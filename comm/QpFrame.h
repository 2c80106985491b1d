#pragma once
// What the telegram pattern units (Qp*) share: reading bytes out of an answer
// frame without ever passing its end, the login facts of a record's drive,
// and the class side of a pattern kind built from the kind's own Encode and
// Decode.
//
// Every pattern kind declares
//   TData                                  its record data,
//   static void Encode(const TData&, const TOvraLoginFacts&, MyAnsiString& Frame)
//                                          appends the request bytes after the
//                                          command byte,
//   static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts&,
//                      uint8_t& Result, TData&)
//                                          takes the result byte (the frame's
//                                          second) and, when the kind decodes
//                                          for that result, the answer fields
//                                          that follow, little-endian, in order.
// Decode is all or nothing: when a field is missing from the frame it raises
// EOvraFrameTooShort and leaves Result and the data untouched (the client then
// gives the record OvraResBadReply).
//
// Widths on the wire: A = the drive's AddrFieldSize, D = its DataFieldSize;
// an address or word is sent as its low A or D bytes.
#include "comm/OvraClnt.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <string>
#include <utility>

namespace vo {

// The bytes of a record's short strings (block, string and custom data).
inline constexpr size_t OvraShortStringMax = 255;

// The login facts of the record's drive; all zero when its service is gone
// (the server answers such a record "no device" without sending it).
TOvraLoginFacts RecordFacts(const TServiceRecordHeader& Header);

// N bytes from the 1-based position Index; advances Index. Bytes beyond the
// frame raise EOvraFrameTooShort.
MyAnsiString FrmGetBytes(const MyAnsiString& Frame, int& Index, size_t N);

// A length byte L, then L bytes (the answer of the sub-command telegrams).
MyAnsiString FrmGetCounted(const MyAnsiString& Frame, int& Index);

// The result byte of an answer frame (its second byte); a frame without one
// raises EOvraFrameTooShort. Index is left after it.
uint8_t FrmGetResult(const MyAnsiString& Frame, int& Index);

// The bytes of S as a short string for the raising class: more than
// OvraShortStringMax bytes raise "<class>.Put: <what> of <n> bytes is longer
// than 255 bytes".
void CheckShortString(const MyAnsiString& ClassName, const char* What, const MyAnsiString& S);

// The class side of pattern kind TPattern (see above).
template <class TPattern>
class TQpPatternClass final : public TOvraPatternClass {
public:
    using TData = typename TPattern::TData;
    explicit TQpPatternClass(MyAnsiString AClassName) : TOvraPatternClass(std::move(AClassName)) {}

    void SetRequestFrameData(TOvraActor& Src, MyAnsiString& Frame) const override {
        const TOvraRecord<TData> rec = Src.GetData<TData>();
        TPattern::Encode(rec.RecDat, RecordFacts(rec.Header), Frame);
    }

    void GetResponseFrameData(const MyAnsiString& Frame, TOvraActor& Dst) const override {
        TOvraRecord<TData> rec = Dst.GetData<TData>();
        TPattern::Decode(Frame, RecordFacts(rec.Header), rec.Header.OvraRes, rec.RecDat);
        Dst.SetData(rec);
    }
};

// The base of the sub-command pattern kinds (curve, erase memory, instance):
// a sub-command fixed per pattern object goes out as the first request byte,
// the answer is a length byte L, then L bytes of data. TSubData has the
// members SubID (uint8_t) and Data (short string); a kind with more request
// fields gives its own Encode and calls EncodeSubID first.
template <class TSubData>
class TQpSubCmdPattern : public TOvraPattern {
public:
    using TData = TSubData;

    TQpSubCmdPattern(TOvraService* AOwner, uint8_t AOvraId, uint8_t AOvraSubID)
        : TOvraPattern(AOwner, AOvraId), OvraSubID(AOvraSubID) {
    }

    // A record of another sub-command raises "<class>.Get: error in record
    // header" like one of another command.
    TData Get(TOvraActor& Actor) const {
        TData d = TOvraPattern::Get<TData>(Actor).RecDat;
        if (d.SubID != static_cast<uint8_t>(OvraSubID))
            throw Exception(ClassName() + ".Get: error in record header");
        return d;
    }
    uint8_t GetSubID(TOvraActor& Actor) const { return Get(Actor).SubID; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }

    static void Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame) { EncodeSubID(Data, Frame); }

    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data) {
        int i = 0;
        const uint8_t res = FrmGetResult(Frame, i);
        TData d = Data;
        if (res == 0)
            d.Data = FrmGetCounted(Frame, i);
        Result = res;
        Data = std::move(d);
    }

    const int32_t OvraSubID;

protected:
    // Adds a record of Data with this object's sub-command.
    void PutSub(TOvraActor& Actor, TData Data, int32_t User) const {
        Data.SubID = static_cast<uint8_t>(OvraSubID);
        TOvraPattern::Put(Actor, std::move(Data), User);
    }

    static void EncodeSubID(const TData& Data, MyAnsiString& Frame) { FrmPutInt(Data.SubID, 1, Frame); }
};

} // namespace vo
