#pragma once
// The project model tree: nodes (TModelItem) owned by a model manager, changed
// by services inside update brackets. When the outermost bracket closes, the
// manager's task "ModelManager" refreshes every tree view bound to the model
// through its entry manager, changing only what the nodes' update flags say,
// building children lazily when a tree node is expanded and keeping the
// selection. Each node carries read/write/delete/execute permissions per user
// type, which decide which children a tree view shows.
//
// Everything here runs on the GUI thread (main-scheduler tasks and GUI event
// handlers). The tree views are TTreeView objects (kernel/TreeView.h); the GUI
// shows them through its adapter.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "kernel/MxTLib20.h"
#include "kernel/Object.h"
#include "kernel/TreeView.h"
#include "platform/AnsiString.h"

namespace vo {

// A set of the values of an 8-bit enumeration, one bit per value.
template <class E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> Values) {
        for (E v : Values) FBits = static_cast<std::uint8_t>(FBits | Bit(v));
    }
    static constexpr TEnumSet FromBits(std::uint8_t Bits) {
        TEnumSet s;
        s.FBits = Bits;
        return s;
    }
    constexpr std::uint8_t Bits() const { return FBits; }
    constexpr bool Contains(E v) const { return (FBits & Bit(v)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr void Include(E v) { FBits = static_cast<std::uint8_t>(FBits | Bit(v)); }
    constexpr void Exclude(E v) { FBits = static_cast<std::uint8_t>(FBits & ~Bit(v)); }
    constexpr void Set(E v, bool Value) { Value ? Include(v) : Exclude(v); }
    constexpr void Clear() { FBits = 0; }
    constexpr TEnumSet operator+(TEnumSet o) const { return FromBits(static_cast<std::uint8_t>(FBits | o.FBits)); }
    constexpr TEnumSet operator-(TEnumSet o) const { return FromBits(static_cast<std::uint8_t>(FBits & ~o.FBits)); }
    constexpr TEnumSet operator*(TEnumSet o) const { return FromBits(static_cast<std::uint8_t>(FBits & o.FBits)); }
    constexpr bool operator==(const TEnumSet&) const = default;

private:
    static constexpr std::uint8_t Bit(E v) { return static_cast<std::uint8_t>(1u << static_cast<unsigned>(v)); }
    std::uint8_t FBits = 0;
};

enum TModelFlag : std::uint8_t { mfVisible,
                                 mfAllowEdit,
                                 mfChildren,
                                 mfReleased,
                                 mfSelected };
using TModelFlagSet = TEnumSet<TModelFlag>;

// What changed at a node since the last refresh.
enum TUpdateInfo : std::uint8_t {
    uiRefresh, // caption or image changed
    uiChange, // children changed
    uiInsert,
    uiRemove,
    uiShow,
    uiHide,
    uiUpdate
};
using TUpdateInfoSet = TEnumSet<TUpdateInfo>;

enum TUserType : std::uint8_t { utRead1,
                                utRead2,
                                utUser,
                                utUser1,
                                utUser2,
                                utService,
                                utDevelop };
using TUserTypeSet = TEnumSet<TUserType>;

enum TPermissionType : std::uint8_t { ptRead,
                                      ptWrite,
                                      ptDelete,
                                      ptExecute };

enum TEntryFlag : std::uint8_t { efExpanded,
                                 efSelected };
using TEntryFlagSet = TEnumSet<TEntryFlag>;

// Work states of the model manager's task.
enum class TModelWorkState : std::uint8_t { stReady,
                                            stUpdate };

struct TPermissionData {
    TUserTypeSet Read, Write, Delete, Execute;

    TUserTypeSet& operator[](TPermissionType What);
    const TUserTypeSet& operator[](TPermissionType What) const;
    bool operator==(const TPermissionData&) const = default;
};

// Every user type but utUser (0x7B).
inline constexpr TUserTypeSet AllUsers = TUserTypeSet::FromBits(0x7B);

// Answers a string variable by name (Value stays empty when unknown).
using TGetStrVarEvent = std::function<void(const MyAnsiString& AName, MyAnsiString& AValue)>;

class TApplicationViewFactory; // kernel/ModView.h
class TEntryItem;
class TEntryManager;
class TModelManager;

class TModelItem {
    struct TCreateKey {
    private:
        friend class TModelManager;
        TCreateKey() = default;
    };

public:
    // Nodes are created by their manager: TModelItem::Create(manager, data) or
    // manager.CreateItem<T>(args...) for a class T derived from TModelItem
    // whose constructor takes (TCreateKey, TModelManager&, args...).
    using Key = TCreateKey;
    TModelItem(Key, TModelManager& AOwner, TObject* AData);
    static TModelItem& Create(TModelManager& AOwner, TObject* AData);
    virtual ~TModelItem();
    TModelItem(const TModelItem&) = delete;
    TModelItem& operator=(const TModelItem&) = delete;

    virtual const char* ClassName() const { return "TModelItem"; }

    // Marks the node released; the next refresh frees it. A node that still
    // has a parent is taken out of it first.
    virtual void Release();
    // Creates this node's entry for a tree view.
    virtual std::unique_ptr<TEntryItem> CreateEntry(TEntryManager& AEntryManager);

    // Children. Each change opens its own update bracket.
    // InsertChild raises "<class>.InsertChild: Child has a parent" /
    // "... Child is released"; GetChild of a node without children raises
    // "<class>.GetChild: node has no children".
    void InsertChild(int Index, TModelItem& Item);
    void InsertChildAt(int Index, TModelItem& Item) { InsertChild(Index, Item); }
    int AddChild(TModelItem& Item);
    void DeleteChild(int Index);
    void RemoveChild(TModelItem& Item);
    TModelItem& GetChild(int Index) const;
    int GetChildCount() const noexcept { return static_cast<int>(FList.size()); }
    int IndexOfChild(const TModelItem& Item) const noexcept;

    // Caption and image open their own bracket and mark uiRefresh.
    const MyAnsiString& Caption() const noexcept { return FCaption; }
    void SetCaption(const MyAnsiString& Value);
    int ImageIndex() const noexcept { return FImageIndex; }
    void SetImageIndex(int Value);

    // Visibility opens no bracket: the change shows at the next refresh.
    void SetVisible(bool Value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool GetVisible() const noexcept { return FFlags.Contains(mfVisible); }

    void SetFlag(TModelFlag AFlag, bool Value) { FFlags.Set(AFlag, Value); }
    TModelFlagSet Flags() const noexcept { return FFlags; }
    bool Released() const noexcept { return FFlags.Contains(mfReleased); }
    TUpdateInfoSet UpdateInfo() const noexcept { return FUpdateInfo; }

    void SetUserType(TUserTypeSet User) noexcept { FUserType = User; }
    TUserTypeSet UserType() const noexcept { return FUserType; }
    void SetPermission(TPermissionType What, TUserTypeSet User) { FPermission[What] = User; }
    const TPermissionData& Permission() const noexcept { return FPermission; }
    // True when this node's set for What and Data's set for What meet.
    bool HavePermission(TPermissionType What, const TPermissionData& Data) const;

    // Asks the node's handler, then its ancestors' while the answer is empty.
    MyAnsiString GetStrVar(const MyAnsiString& AName) const;
    void SetOnGetStrVar(TGetStrVarEvent Handler) { FOnGetStrVar = std::move(Handler); }

    // Data, image, flags (but not the released flag), user type and read
    // permission; then visibility and caption (the caption in a bracket).
    void CopyAttributesFrom(const TModelItem& AModelItem);
    // The attributes, then a copy of every child (recursively) made on the
    // target manager and appended.
    void CopyAttributesAndChildrenFrom(const TModelItem& AModelItem, TModelManager& ATargetModelManager);

    TModelManager& Owner() const noexcept { return *FOwner; }
    TModelItem* Parent() const noexcept { return FParent; }
    TObject* Data() const noexcept { return FData; }
    void SetData(TObject* Value) noexcept { FData = Value; }
    // The view factory that shows this node (kernel/ModView.h), or null.
    TApplicationViewFactory* View() const noexcept { return FView; }
    void SetView(TApplicationViewFactory* Value) noexcept { FView = Value; }

    // Scratch value of a refresh: the index of the node's entry in the entry
    // manager being refreshed, -1 for none.
    int Tag = -1;

private:
    friend class TModelManager;

    TObject* FData;
    MyAnsiString FCaption;
    int FImageIndex = -1;
    TModelManager* FOwner;
    TModelItem* FParent = nullptr;
    std::vector<TModelItem*> FList; // children, owned by the manager
    TModelFlagSet FFlags{mfVisible};
    TUpdateInfoSet FUpdateInfo;
    TPermissionData FPermission{AllUsers, {}, {}, {}};
    TUserTypeSet FUserType{utUser};
    TApplicationViewFactory* FView = nullptr;
    TGetStrVarEvent FOnGetStrVar;
};

class TModelManager {
public:
    // The manager and its task "ModelManager" on the main scheduler (raises
    // "Main Scheduler not created!" without one) or on AScheduler.
    explicit TModelManager(std::unique_ptr<TImageList> AImageList = nullptr);
    TModelManager(std::unique_ptr<TImageList> AImageList, TMxScheduler& AScheduler);
    // Frees every node; entry managers still bound are detached.
    ~TModelManager();
    TModelManager(const TModelManager&) = delete;
    TModelManager& operator=(const TModelManager&) = delete;

    static const char* ClassName() noexcept { return "TModelManager"; }

    // Creates a node of class T (see TModelItem) owned by this manager.
    template <class T = TModelItem, class... A>
    T& CreateItem(A&&... Args) {
        auto item = std::make_unique<T>(TModelItem::Key{}, *this, std::forward<A>(Args)...);
        T& ref = *item;
        FList.push_back(std::move(item));
        return ref;
    }

    // Update brackets. BeginUpdate raises "TModelManager.BeginUpdate: internal
    // error" while a refresh runs. The outermost EndOfUpdate requests a refresh.
    void BeginUpdate();
    void EndOfUpdate();

    TModelItem& Root() const noexcept { return *FRoot; }
    int GetCount() const noexcept { return static_cast<int>(FList.size()); }
    TModelItem& GetItem(int Index) const;
    TImageList* ImageList() const noexcept { return FImageList.get(); }

    int UpdateCounter() const noexcept { return FUpdateCounter; }
    // True while the tree views are refreshed.
    bool Updating() const noexcept { return FUpdating; }
    // True from the first BeginUpdate until the refresh starts.
    bool Modifying() const noexcept { return FModifying; }
    TModelWorkState WorkState() const noexcept { return FWorkState; }
    TMxTask& WorkTask() noexcept { return *FWorkTask; }
    // Number of refreshes of the clients so far.
    std::uint64_t RefreshCount() const noexcept { return FRefreshCount; }

    // Called after each refresh.
    std::function<void()> OnClientUpdateDone;

    // Used by entry managers.
    void AddEntryManager(TEntryManager& AClient);
    void RemoveEntryManager(TEntryManager& AClient);

private:
    void Init(TMxScheduler& AScheduler);
    void WorkStep();
    void UpdateClients();
    void PurgeReleased();

    std::vector<std::unique_ptr<TModelItem>> FList;
    TModelItem* FRoot = nullptr;
    int FUpdateCounter = 0;
    bool FUpdating = false;
    bool FModifying = false;
    std::vector<TEntryManager*> FClientList;
    std::unique_ptr<TImageList> FImageList;
    TModelWorkState FWorkState = TModelWorkState::stReady;
    bool FRefreshRequest = false;
    std::uint64_t FRefreshCount = 0;
    TMxSignal FWorkSignal;
    std::unique_ptr<TMxTask> FWorkTask; // after the signal: destroyed first
};

// One node of the model as one tree view shows it. Each tree node's data is
// its entry. An entry of a node with a view factory has one context slot for
// the view's per-node state (owned).
class TEntryItem {
public:
    TEntryItem(TEntryManager& AOwner, TModelItem& AModel);
    virtual ~TEntryItem();
    TEntryItem(const TEntryItem&) = delete;
    TEntryItem& operator=(const TEntryItem&) = delete;

    TEntryManager& Owner() const noexcept { return *FOwner; }
    TModelItem& Model() const noexcept { return *FModel; }
    TEntryFlagSet Flags() const noexcept { return FFlags; }
    void SetFlag(TEntryFlag AFlag, bool Value) { FFlags.Set(AFlag, Value); }

    // The context of the current slot (null when there is none).
    TObject* GetContext() const noexcept;
    // Stores a context in the current slot; the one there before is freed.
    // An entry without a slot gets one (nothing is dropped).
    void SetContext(std::unique_ptr<TObject> Value);
    // Takes the context out of the current slot (the slot stays, empty).
    std::unique_ptr<TObject> TakeContext() noexcept;
    int GetContextCount() const noexcept { return static_cast<int>(FContextList.size()); }
    // Gives the entry its slot when its node names a view factory and it has
    // none yet.
    void EnsureContextSlot();
    int Selected() const noexcept { return FSelected; }
    void SetSelected(int Value) noexcept { FSelected = Value; }

private:
    TEntryManager* FOwner;
    TModelItem* FModel;
    TEntryFlagSet FFlags;
    std::vector<std::unique_ptr<TObject>> FContextList;
    int FSelected = 0;
};

// Binds one tree view to one model manager.
class TEntryManager {
public:
    // Registers as client of the model, gives the tree view the model's image
    // list, takes over the tree view's events, clears it and adds one node
    // for the root entry.
    TEntryManager(TModelManager& AModelManager, TTreeView& ATreeView);
    // Unregisters and gives the tree view's events back.
    ~TEntryManager();
    TEntryManager(const TEntryManager&) = delete;
    TEntryManager& operator=(const TEntryManager&) = delete;

    // The selection as a path: top caption + ":\\" + captions below it joined
    // by "\" ("" when nothing is selected).
    MyAnsiString GetPathStr() const;
    // Selects along a path (absolute with "<top>:\\", else relative to the top
    // node; ".." goes up). Raises "internal error: tree name error" when the
    // top caption does not match. Stops at the first part it cannot follow.
    void SetPathStr(const MyAnsiString& Value);
    // Selects the parent of the selected node.
    void GoBackSelect();

    int GetCount() const noexcept { return static_cast<int>(FList.size()); }
    TEntryItem& GetItem(int Index) const;
    TEntryItem* Root() const noexcept { return FRoot; }
    TTreeView& TreeView() const noexcept { return *FTreeView; }
    TModelManager* ModelManager() const noexcept { return FModelManager; }
    // The tree node that holds the entry (null when it is not shown).
    TTreeNode* FindNode(const TEntryItem& AEntry) const;
    // The entry of a model node in this tree view (null when none).
    TEntryItem* FindEntry(const TModelItem& AModel) const;

    // Refreshes the tree view (the model manager calls it).
    void Update();
    // The model manager is going away.
    void Detach() noexcept;

    const MyAnsiString& CurrentPath() const noexcept { return FCurrentPath; }
    const MyAnsiString& PreviousPath() const noexcept { return FPreviousPath; }
    TPermissionData Permission{{utUser1}, {}, {}, {}};

    // After each refresh and each selection change.
    std::function<void()> OnUpdate;
    TGetStrVarEvent OnGetStrVar;
    // Before an entry is freed (its node was released, or the model goes
    // away first): whoever keeps the entry (a shown view) lets go of it. Not
    // called when the entry manager itself is destroyed: let go of its
    // entries before that (a view host goes before its entry manager).
    std::function<void(TEntryItem&)> OnEntryFree;

private:
    void RenewTags();
    void FreeEntries() noexcept;
    void UpdateNode(TTreeNode& ANode, TEntryItem& AEntry);
    void BuildChildren(TTreeNode& ANode);
    // Builds a collapsed node's children as expanding does; false when the
    // model is being changed or refreshed.
    bool EnsureChildren(TTreeNode& ANode);
    void SetupNode(TTreeNode& ANode, bool AFull);
    TEntryItem& EntryOf(TTreeNode& ANode) const;

    void TreeChange(TTreeNode* ANode);
    void TreeExpanding(TTreeNode& ANode, bool& Allow);
    void TreeCollapsing(TTreeNode& ANode, bool& Allow);
    void TreeEditing(TTreeNode& ANode, bool& Allow);
    void TreeEdited(TTreeNode& ANode, MyAnsiString& Text);

    MyAnsiString FCurrentPath;
    MyAnsiString FPreviousPath;
    std::vector<std::unique_ptr<TEntryItem>> FList;
    TModelManager* FModelManager;
    TEntryItem* FRoot = nullptr;
    std::vector<TEntryItem*> FPath;
    TTreeView* FTreeView;
};

} // namespace vo
