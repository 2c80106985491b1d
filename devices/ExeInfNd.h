#pragma once
// Info nodes: small records in a drive's memory, each describing one file of
// its software (type, versions, start address, parameter-tree names).
//
// TInfoNodeList walks the drive's node directory on its own main-scheduler
// task "InfoNodeList" with its own actor: a find-info telegram (0x25) from an
// address finds the next node of a type; the node's bytes are then read with
// memory-block telegrams (0x30), all chunks of one node in one actor
// execution; the next find starts one address step behind the node. The walk
// ends at the first find the drive answers with an error; then the response
// procedure gets the list, whose items are sorted by file sub type (equal sub
// types in reading order).
//
// A node the drive announces with a size that is no multiple of its data
// field size, or shorter than a node can be (34 bytes), is logged and skipped:
// the walk goes on one address step behind it and never finds it again.
//
// TInfoNodeItem decodes one node's bytes by one of two layouts: layout 1 for
// drives of protocol generation 0x3x and 0x4x (the complete name at 76),
// layout 0 for older ones (at 74).
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vo {

class TBasicOvraService;
class TMxTask;
class TMxSignal;
class TOvraActor;

class TInfoNodeItem {
public:
    // The smallest node: every fixed field up to the custom area.
    static constexpr size_t MinNodeSize = 34;

    // Raises "TInfoNodeItem.Create: node data error" for fewer than 34 bytes.
    TInfoNodeItem(MyAnsiString NodeData, uint8_t AProSel);

    static const char* ClassName() { return "TInfoNodeItem"; }

    int32_t GetFileType() const;
    int32_t GetFileVersion() const;
    int32_t GetFileSubType() const;
    MyAnsiString GetFileName() const;
    MyAnsiString GetTreeBaseName() const;
    int32_t GetStartAddress() const;
    MyAnsiString GetTreeSubName() const;
    int32_t GetTreeVersion() const;
    int32_t GetTreeSubVersion() const;
    MyAnsiString GetTreeBetaInfo() const;
    MyAnsiString GetCompleteName() const;
    MyAnsiString GetFileInfo() const;
    // Count bytes at 80 + Index, as text cut before its first 0x00 / as an
    // unsigned little-endian number. Bytes past the node are not read.
    MyAnsiString GetCustomStr(int32_t Index, int32_t Count) const;
    int32_t GetCustomInt(int32_t Index, int32_t Count) const;

    // All bytes of a byte string as an unsigned little-endian number.
    static int64_t BinToInt(const MyAnsiString& Bytes);

    const MyAnsiString& NodeData() const { return FNodeData; }
    uint8_t ProSel() const { return FProSel; }

private:
    // The bytes of a field (as many as the node has of them).
    MyAnsiString Field(size_t Offset, size_t Width) const;
    MyAnsiString Text(size_t Offset, size_t Width) const;
    int32_t Number(size_t Offset, size_t Width) const;

    MyAnsiString FNodeData;
    uint8_t FProSel;
};

class TInfoNodeList {
public:
    using TRespProc = std::function<void(TInfoNodeList& Sender)>;

    enum class TWorkState : uint8_t { stReady,
                                      stRead1,
                                      stRead2,
                                      stRead3 };

    // Takes an actor from the program's client and starts the task.
    TInfoNodeList();
    ~TInfoNodeList();
    TInfoNodeList(const TInfoNodeList&) = delete;
    TInfoNodeList& operator=(const TInfoNodeList&) = delete;

    static const char* ClassName() { return "TInfoNodeList"; }

    void Clear();
    // Starts a walk for nodes of ANodeType and returns at once; ARespProc is
    // called once with the list when it ends. Raises
    // "TInfoNodeList.ReadInfoNodes: not ready" while a walk runs and
    // "TInfoNodeList.ReadInfoNodes: not on-line" for a service not logged in.
    void ReadInfoNodes(TBasicOvraService& AOvraService, uint8_t ANodeType, TRespProc ARespProc);

    int GetCount() const { return static_cast<int>(FNodeList.size()); }
    // Raises "TInfoNodeList.GetItem: index out of bounds".
    TInfoNodeItem& GetItem(int Index) const;
    TWorkState WorkState() const { return FWorkState; }
    int32_t ProSel() const { return FProSel; }

private:
    void Work(TMxTask& Sender);
    void ReadNextNode();
    void ReadCurrentNode();
    void FindResponse(TOvraActor& Actor);
    void ReadResponse(TOvraActor& Actor);
    // The next find one address step behind the current node.
    void SkipCurrentNode();

    int32_t FProSel = 0;
    std::vector<std::unique_ptr<TInfoNodeItem>> FNodeList;
    TBasicOvraService* FOvraService = nullptr;
    uint8_t FNodeType = 0;
    TRespProc FRespProc;
    int32_t CurrentNodeAddr = 0;
    uint8_t CurrentNodeType = 0;
    uint16_t CurrentNodeSize = 0;
    TWorkState FWorkState = TWorkState::stReady;
    TOvraActor* WorkActor = nullptr;
    std::unique_ptr<TMxSignal> WorkSignal;
    std::unique_ptr<TMxTask> WorkTask; // last: destroyed first
};

} // namespace vo
