#pragma once
// One oscilloscope set-up: what is recorded (up to eight channels, each bound
// to a drive variable), when (two trigger conditions and their combination),
// for how long and how often, and how it is shown (an X axis and eight Y
// axes). The dictionary form of each class is its stored form everywhere:
// default settings, service settings, items of configuration and workspace
// files and recording files.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TSLDictionary;

// A unit text of at most 31 characters; a longer text is cut when stored.
class TUnitStr {
public:
    static constexpr std::size_t MaxLength = 31;
    TUnitStr() = default;
    TUnitStr(std::string_view Text) : FText(Text.substr(0, MaxLength)) {}
    TUnitStr(const char* Text) : TUnitStr(std::string_view(Text)) {}
    TUnitStr(const MyAnsiString& Text) : TUnitStr(std::string_view(Text)) {}
    const MyAnsiString& Str() const noexcept { return FText; }
    operator const MyAnsiString&() const noexcept { return FText; }
    bool operator==(const TUnitStr&) const = default;

private:
    MyAnsiString FText;
};

// Variable type codes of channels and triggers (those the variable manager
// gives a variable's type name; 0 for a name it does not know).
namespace osvt {
inline constexpr std::int32_t Unknown = 0, SInt16 = 1, UInt16 = 2, SInt32 = 3, UInt32 = 4, SInt48 = 5, UInt48 = 6,
                              Bool16 = 7, String = 8, VelFloat = 9, Bool = 10, SInt8 = 11, UInt8 = 12,
                              EnumDir16 = 13, EnumChild16 = 14, EnumDir8 = 15, EnumChild8 = 16,
                              FloatIEEE754 = 17;
// The codes of integer variables (8 to 48 bits, signed or not).
bool IsInteger(std::int32_t Type) noexcept;
} // namespace osvt

// Acquisition modes (dictionary texts "SingleShot", "Continuous").
inline constexpr std::int32_t amSingleShot = 0, amContinuous = 1;
// Trigger conditions (dictionary texts "None", "TrigA", "TrigB", "TrigAAndB", "TrigAOrB").
inline constexpr std::int32_t tcNone = 0, tcTrigA = 1, tcTrigB = 2, tcTrigAAndB = 3, tcTrigAOrB = 4;

// Trigger event bits.
inline constexpr std::int32_t teFallingEdge = 1, teLess = 2, teEqual = 4, teGreater = 8, teRisingEdge = 16,
                              teFalse = 32, teTrue = 64;

struct TTrigEvent {
    std::int32_t Value;
    const char* Caption;
};
// The events offered for value variables and for bit variables, in the order shown.
extern const TTrigEvent TrigIntEvent[8];
extern const TTrigEvent TrigBitEvent[5];

// One channel.
class TChannelSettings {
public:
    // From a channel dictionary; nil gives the defaults. A value of the wrong
    // kind raises an Exception naming the key.
    explicit TChannelSettings(const TSLDictionary* Dict = nullptr);
    // Writes every stored key (replacing values present under those keys).
    void SaveToDict(TSLDictionary& Dict) const;

    bool FChannelOn = false;
    bool FEnabled = false; // the channel exists on the connected drive
    MyAnsiString FDirName;
    MyAnsiString FDirCaption; // not stored
    MyAnsiString FVarName;
    std::uint8_t FVarSourceType = 0; // not stored; 0 by UPID, 1 by RAM address
    MyAnsiString FVarCaption; // not stored
    std::int32_t FVarUPID = -1;
    std::uint32_t FVarRamAddr = 0;
    double FVarScale = 1.0;
    double FVarOffset = 0.0;
    TUnitStr FVarUnit;
    std::int32_t FVarType = osvt::SInt16;
    std::int32_t FBitValue = 0; // bit number of a bit variable
    std::int32_t FVarSize = 0; // bytes per sample
};

// One trigger condition (A is index 0, B index 1).
class TTriggerSettings {
public:
    explicit TTriggerSettings(const TSLDictionary* Dict = nullptr);
    void SaveToDict(TSLDictionary& Dict) const;
    // The caption of FTrigEvent in the event table of the variable's type;
    // empty for an event the table lacks and for types without events.
    MyAnsiString GetTrigEventStr() const;

    bool FTriggerOn = false;
    MyAnsiString FDirName;
    MyAnsiString FDirCaption; // not stored
    MyAnsiString FVarName;
    MyAnsiString FVarCaption; // not stored
    std::uint8_t FVarSourceType = 0; // not stored
    std::int32_t FVarUPID = -1;
    std::uint32_t FVarAddress = 0; // "VarRamAddr"
    double FVarScale = 0.0;
    double FVarOffset = 0.0;
    TUnitStr FVarUnit;
    std::int32_t FVarType = osvt::Unknown;
    double FVarValue = 0.0; // "Level", physical units
    std::int32_t FBitValue = 0;
    std::int32_t FVarSize = 0;
    std::int32_t FTrigEvent = 0;
};

// The whole recording set-up, owning its channels and triggers.
class TGeneralSettings {
public:
    // Without a dictionary: the defaults with 8 channels and 2 triggers. With
    // one: the keys it holds over the defaults, channels and triggers from its
    // "Channels" and "Triggers" (none when absent). A value of the wrong kind
    // is shown in a message box and the general fields return to their
    // defaults, keeping the channels and triggers read so far.
    explicit TGeneralSettings(const TSLDictionary* Dict = nullptr);
    ~TGeneralSettings();
    TGeneralSettings(const TGeneralSettings&) = delete;
    TGeneralSettings& operator=(const TGeneralSettings&) = delete;

    // The defaults of the general fields; name, version, buffer size and the
    // lists stay.
    void SetDefaults();
    void SaveDataToDict(TSLDictionary& Dict) const;
    // Copies the general fields (not name, version, buffer size), the channels
    // up to the smaller count and the triggers both sets have. Lists keep
    // their lengths.
    void SetProperties(const TGeneralSettings& GenSet);

    TChannelSettings& AddChannelSettings(TChannelSettings ChanSet);
    TTriggerSettings& AddTriggerSettings(TTriggerSettings TrigSet);
    int GetChanSetCount() const noexcept { return static_cast<int>(ChanSetLst.size()); }
    int GetTrigSetCount() const noexcept { return static_cast<int>(TrigSetLst.size()); }
    // 0-based; a bad index raises an Exception.
    TChannelSettings& GetChannelSettings(int Index);
    const TChannelSettings& GetChannelSettings(int Index) const;
    TTriggerSettings& GetTriggerSettings(int Index);
    const TTriggerSettings& GetTriggerSettings(int Index) const;

    // Timing of an activated set (FIncrTime is the drive's increment time).
    // Drive increments between two samples; 0 without a valid increment time.
    std::int32_t GetSamplePeriods() const;
    // Seconds between two samples.
    double GetSampleTime() const;
    // Samples between trigger and recording start: negative with a
    // pretrigger, positive with a delay; 0 when the sample time is 0.
    std::int32_t GetDelayPeriods() const;
    // Time of the first sample relative to the trigger, in seconds.
    double GetStartTime() const;

    MyAnsiString FName = "Untitled"; // not stored
    std::int32_t FVersion = 1; // not stored
    std::int32_t FMaxBuffSize = 0; // not stored; the drive's buffer in bytes
    double FRecordingTime = 1.0; // "RecTime", seconds
    MyAnsiString FRecTimeDispUnit = "ms";
    std::int32_t FAcqMode = amSingleShot;
    bool FShowResult = false;
    std::int32_t FNrOfSamples = 100; // samples per channel; at least 2 when read
    double FIncrTime = 1.0; // seconds; positive when read
    std::int32_t FNrOfIncr = 0; // not stored; increments per sample of the active set
    bool FPretrigger = false;
    std::int32_t FPretValue = 10; // percent
    bool FDelay = false;
    double FDelValue = 100.0; // seconds
    MyAnsiString FDelTimeDispUnit = "s";
    std::int32_t FTrigCond = tcNone;
    MyAnsiString FAdvRecTimeUnit = "s"; // not stored

private:
    void ReadFrom(const TSLDictionary& Dict);

    std::vector<std::unique_ptr<TChannelSettings>> ChanSetLst;
    std::vector<std::unique_ptr<TTriggerSettings>> TrigSetLst;
};

// Activates an edited set into the active one for a drive increment time:
// Edited takes IncrTime, Active becomes a copy of Edited, then the increments
// per sample are derived (at least 1) and Active's recording time becomes a
// whole multiple of its sample period. Does nothing and returns false when
// IncrTime is not a positive number.
bool ActivateSettings(TGeneralSettings& Edited, TGeneralSettings& Active, double IncrTime);

// One axis of the graph.
class TAxisDisplayInfo {
public:
    // A value of the wrong kind raises an Exception naming the key.
    explicit TAxisDisplayInfo(const TSLDictionary* Dict = nullptr);
    // Sets "Color", "DivWidth", "Offset", "DispUnit", "Visible" in place.
    void SaveDataToDict(TSLDictionary& Dict) const;
    // Copies another axis; nil changes nothing.
    void SetProperties(const TAxisDisplayInfo* AxDisInfo);
    // Overwrites the fields whose keys Dict holds; nil changes nothing.
    void SetPropertiesWithDict(const TSLDictionary* Dict);
    void SetDefault();

    bool FVisible = false;
    std::int32_t FColor = 0;
    double FDivWidth = 1.0;
    double FOffset = 0.0;
    MyAnsiString FDispUnit;
};

// How a recording is shown: one X axis and exactly eight Y axes.
class TDisplaySettings {
public:
    static constexpr int YAxes = 8;
    // X axis from "AxisXInfo", Y axes from the first 8 elements of
    // "DisplayInfoArr", the rest defaults.
    explicit TDisplaySettings(const TSLDictionary* Dict = nullptr);
    // Updates Dict in place: other keys survive, "AxisXInfo", "DisplayInfoArr"
    // and their elements are reused when present.
    void SaveDataToDict(TSLDictionary& Dict) const;
    void SetProperties(const TDisplaySettings& DisSet);
    int YAxisCount() const noexcept { return static_cast<int>(AxisDisInfoList.size()); }
    // 0-based; a bad index raises an Exception.
    TAxisDisplayInfo& GetAxisDisInfoAt(int Index);
    const TAxisDisplayInfo& GetAxisDisInfoAt(int Index) const;

    std::int32_t FBackGroundColor = 0; // not stored
    TAxisDisplayInfo FAxisXDisInfo;

private:
    std::vector<TAxisDisplayInfo> AxisDisInfoList;
};

} // namespace vo
