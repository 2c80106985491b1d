#pragma once
// The Qt-free side of the variable list view: which variables a user sees and
// may write, the eight cell texts of a row, the "Copy Var" arithmetic of
// user-defined variables, the CSV text of "Read All" with Ctrl, and the index
// of the cyclic reading. The form only puts these texts into its widgets.
//
// GUI thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TDirItem;
class TParameterService;
class TVarItem;
class TVariableService;

// Read and write masks of the list view for the user name of its node.
struct TVarViewMasks {
    std::uint8_t Read = 0x01;
    std::uint8_t Write = 0x00;
};
// DEVELOPER 0x15/0x2A, SERVICE 0x05/0x0A, USER 0x01/0x02, anyone else
// 0x01/0x00 (the name compared in upper case).
TVarViewMasks VarViewMasks(const MyAnsiString& UserName);

// Listed: the permission byte shares a bit with the read mask, the variable
// is visible and not deleted.
bool VarListed(const TVarItem& V, std::uint8_t ReadMask);
bool VarWritable(const TVarItem& V, std::uint8_t WriteMask);
// The listed variables of a section, in order.
std::vector<TVarItem*> ListedVars(const TDirItem& Dir, std::uint8_t ReadMask);

enum TVarColumn : int { vcName,
                        vcValue,
                        vcRawData,
                        vcUPID,
                        vcType,
                        vcScale,
                        vcOffset,
                        vcAttr };
constexpr int VarViewColumnCount = 8;
using TVarRowTexts = std::array<MyAnsiString, VarViewColumnCount>;

// What the cell texts depend on besides the variable.
struct TVarRowContext {
    MyAnsiString UPIDDispMode = "DEC"; // "HEX" or anything else (decimal)
    MyAnsiString RawDataDispMode = "HEX";
    bool Developer = false; // device user permission 15: master UPIDs shown
    std::uint8_t WriteMask = 0;
    // For the UPID-scaled value; either may be null.
    const TParameterService* Parameters = nullptr;
    const TVariableService* Variables = nullptr;
};

// Column 3 of a variable that is not user-defined: "04D2h", "1234", and for
// a developer, when the master UPID differs, "04D2h (0640h)" or "1234 (1600)".
MyAnsiString VarUPIDText(std::int32_t DeviceUPID, std::int32_t MasterUPID, bool Hex, bool Developer);
// " (= <value> <unit>)" for a valid UPID-scaled variable whose scaling
// parameter names a scaled integer parameter or variable with a device unit;
// empty otherwise.
MyAnsiString VarUPIDScaledSuffix(const TVarItem& V, const TVarRowContext& Ctx);
TVarRowTexts VarRowTexts(const TVarItem& V, const TVarRowContext& Ctx);

// The rows of the list as last shown. Refresh reuses rows, appends missing
// ones, drops surplus ones from the end, and records which cells changed so
// the form writes only those; Bracket tells whether the list's update bracket
// is needed (a row added, a caption or a cell of columns 3 to 7 changed).
class TVarListRows {
public:
    struct TCell {
        int Row;
        int Column;
    };
    void Refresh(const std::vector<TVarItem*>& Listed, const TVarRowContext& Ctx);
    int Count() const noexcept { return static_cast<int>(FVars.size()); }
    TVarItem* Var(int Row) const { return Row >= 0 && Row < Count() ? FVars[static_cast<std::size_t>(Row)] : nullptr; }
    const TVarRowTexts& Texts(int Row) const { return FTexts.at(static_cast<std::size_t>(Row)); }
    int RowOf(const TVarItem* V) const;
    const std::vector<TCell>& Changed() const noexcept { return FChanged; }
    int Added() const noexcept { return FAdded; }
    int Removed() const noexcept { return FRemoved; }
    bool Bracket() const noexcept { return FBracket; }

private:
    std::vector<TVarItem*> FVars;
    std::vector<TVarRowTexts> FTexts;
    std::vector<TCell> FChanged;
    int FAdded = 0;
    int FRemoved = 0;
    bool FBracket = false;
};

// The row to select after removing row Row of Count rows: the row before,
// for the first row the one after, -1 when none is left (old row numbers).
int RowToSelectAfterRemove(int Row, int Count);

// "Copy Var": the first caption, starting from the source caption, then
// base + "(1)", "(2)" ... (base: the text before the first "("), that Taken
// does not report.
MyAnsiString CopyVarCaption(const MyAnsiString& Source, const std::function<bool(const MyAnsiString&)>& Taken);
// The address after Address for a variable of DataSize bytes: "2000.3" ->
// "0000:2000.4", "2000.F" -> "0000:2002.0" (size 2), "2000" -> "0000:2002".
// Raises EConvertError for an offset that is not hexadecimal.
MyAnsiString CopyVarAddress(const MyAnsiString& Address, int DataSize);
// Copies the user-defined variable Source of Dir into a new user-defined
// variable after row Index (-1: appended), with a free caption and the next
// address; vfValid cleared. Raises for a source that is not user-defined.
TVarItem& CopyUserVar(TDirItem& Dir, const TVarItem& Source, int Index);

// One CSV field: as it is, or quoted with '"' doubled when it holds ';', '"',
// CR or LF.
MyAnsiString VarCsvField(const MyAnsiString& S);
// "Caption;UPID;Value;RAWData" and one line per variable (UPID -1 for
// user-defined ones), CR LF line ends, the bytes as they are (code page 1252).
MyAnsiString VarCsvText(const std::vector<const TVarItem*>& Rows, const MyAnsiString& RawDataDispMode);
// Writes VarCsvText to the file; raises "Cannot write file <name>" on failure.
void SaveVarCsv(const std::string& FileName, const std::vector<const TVarItem*>& Rows,
                const MyAnsiString& RawDataDispMode);

// The row the cyclic reading reads next. Next returns the row to read now
// (-1 with no rows) and advances; after the last row Paused reports true once
// so the worker waits before the next pass. An index beyond the rows (rows
// removed during a pass) wraps to 0.
class TCyclicIndex {
public:
    int Next(int RowCount);
    // True once after a pass reached its last row.
    bool TakePause() noexcept {
        const bool p = FPause;
        FPause = false;
        return p;
    }
    void Reset() noexcept {
        FIndex = 0;
        FPause = false;
    }
    int Index() const noexcept { return FIndex; }

private:
    int FIndex = 0;
    bool FPause = false;
};

// ------------------------------------------------------------------ new with UPID

// The user mask of a device user level for choosing parameters and variables
// by UPID: GUEST 0x40, USER 0x03, SERVICE 0x0C, DEVELOPER 0x30, others 0.
std::uint8_t VarUPIDUserMask(const MyAnsiString& UserLevel);

struct TNewWithUPID {
    std::vector<TVarItem*> Created; // in the order made, vfValid cleared
    bool Found = false; // a parameter or a section variable has the UPID
    MyAnsiString Message; // "UPID: 1234h not found!" when nothing has it
};
// Into the user-defined section Dir: a variable from the parameter with
// device UPID AUPID when UserMask may read it, and a copy of the variable of a
// system section with that device UPID when the mask's read bits share a bit
// with the variable's and its section's permissions. Parameters may be null.
TNewWithUPID NewVarsWithUPID(TDirItem& Dir, const TParameterService* Parameters, const TVariableService& Variables,
                             std::int32_t AUPID, std::uint8_t UserMask, bool Hex);

// ------------------------------------------------------------------ section view

struct TVarDirRow {
    TDirItem* Dir = nullptr;
    MyAnsiString Caption;
    MyAnsiString Attributes; // "User Defined" or "System", then "P" for a parameter-tree section
};
// The sections the service's read mask shows, not deleted, in order.
std::vector<TVarDirRow> VarDirRows(const TVariableService& Service);
// "Delete Section" is for user-defined sections only.
bool CanDeleteSection(const TDirItem* Dir);
// The message for a section name "Add Section" refuses ("Please enter a
// section name!" for an empty or blank one), else "".
MyAnsiString SectionNameError(const MyAnsiString& Name);
// The tree path that selects a section from the service's node path.
MyAnsiString SectionPath(const MyAnsiString& ServicePath, const TDirItem& Dir);

} // namespace vo
