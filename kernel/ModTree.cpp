#include "kernel/ModTree.h"

#include <algorithm>

#include "kernel/AnsiText.h"
#include "kernel/UserPrompt.h"
#include "platform/Exception.h"

namespace vo {

using ansi::Fmt;

namespace {

// Opens an update bracket for the lifetime of the object.
class TBracket {
public:
    explicit TBracket(TModelManager& M) : FManager(M) { FManager.BeginUpdate(); }
    ~TBracket() { FManager.EndOfUpdate(); }
    TBracket(const TBracket&) = delete;
    TBracket& operator=(const TBracket&) = delete;

private:
    TModelManager& FManager;
};

constexpr const char* kPathSeparator = ":\\\\"; // a colon and two backslashes

} // namespace

// --- TPermissionData --------------------------------------------------------

TUserTypeSet& TPermissionData::operator[](TPermissionType What) {
    switch (What) {
    case ptRead: return Read;
    case ptWrite: return Write;
    case ptDelete: return Delete;
    case ptExecute: break;
    }
    return Execute;
}

const TUserTypeSet& TPermissionData::operator[](TPermissionType What) const {
    return const_cast<TPermissionData&>(*this)[What];
}

// --- TModelItem -------------------------------------------------------------

TModelItem::TModelItem(Key, TModelManager& AOwner, TObject* AData) : FData(AData), FOwner(&AOwner) {}

TModelItem& TModelItem::Create(TModelManager& AOwner, TObject* AData) {
    return AOwner.CreateItem<TModelItem>(AData);
}

TModelItem::~TModelItem() = default;

void TModelItem::Release() {
    if (FParent) FParent->RemoveChild(*this);
    FFlags.Include(mfReleased);
}

std::unique_ptr<TEntryItem> TModelItem::CreateEntry(TEntryManager& AEntryManager) {
    return std::make_unique<TEntryItem>(AEntryManager, *this);
}

void TModelItem::InsertChild(int Index, TModelItem& Item) {
    if (Item.FParent) throw Exception(Fmt("%s.InsertChild: Child has a parent", ClassName()));
    if (Item.Released()) throw Exception(Fmt("%s.InsertChild: Child is released", ClassName()));
    if (&Item == this || &Item.Owner() != FOwner)
        throw Exception(Fmt("%s.InsertChild: Child doesn't fit", ClassName()));
    for (const TModelItem* p = FParent; p; p = p->FParent)
        if (p == &Item) throw Exception(Fmt("%s.InsertChild: Child doesn't fit", ClassName()));
    if (Index < 0 || Index > GetChildCount())
        throw Exception(Fmt("%s.InsertChild: index %d out of bounds", ClassName(), Index));
    TBracket bracket(*FOwner);
    FList.insert(FList.begin() + Index, &Item);
    Item.FParent = this;
    Item.FUpdateInfo.Include(uiInsert);
    FUpdateInfo.Include(uiChange);
}

int TModelItem::AddChild(TModelItem& Item) {
    const int index = GetChildCount();
    InsertChild(index, Item);
    return index;
}

void TModelItem::DeleteChild(int Index) {
    if (FList.empty()) throw Exception(Fmt("%s.GetChild: node has no children", ClassName()));
    if (Index < 0 || Index >= GetChildCount())
        throw Exception(Fmt("%s.DeleteChild: index %d out of bounds", ClassName(), Index));
    TBracket bracket(*FOwner);
    TModelItem* child = FList[static_cast<std::size_t>(Index)];
    FList.erase(FList.begin() + Index);
    child->FParent = nullptr;
    child->FUpdateInfo.Include(uiRemove);
    FUpdateInfo.Include(uiChange);
}

void TModelItem::RemoveChild(TModelItem& Item) {
    const int index = IndexOfChild(Item);
    if (index >= 0) DeleteChild(index);
}

int TModelItem::IndexOfChild(const TModelItem& Item) const noexcept {
    const auto it = std::find(FList.begin(), FList.end(), &Item);
    return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

TModelItem& TModelItem::GetChild(int Index) const {
    if (FList.empty()) throw Exception(Fmt("%s.GetChild: node has no children", ClassName()));
    if (Index < 0 || Index >= GetChildCount())
        throw Exception(Fmt("%s.GetChild: index %d out of bounds", ClassName(), Index));
    return *FList[static_cast<std::size_t>(Index)];
}

void TModelItem::SetCaption(const MyAnsiString& Value) {
    TBracket bracket(*FOwner);
    FCaption = Value;
    FUpdateInfo.Include(uiRefresh);
}

void TModelItem::SetImageIndex(int Value) {
    TBracket bracket(*FOwner);
    FImageIndex = Value;
    FUpdateInfo.Include(uiRefresh);
}

void TModelItem::SetVisible(bool Value) {
    if (GetVisible() == Value) return;
    FFlags.Set(mfVisible, Value);
    FUpdateInfo.Include(Value ? uiShow : uiHide);
    if (FParent) FParent->FUpdateInfo.Include(uiChange);
}

bool TModelItem::HavePermission(TPermissionType What, const TPermissionData& Data) const {
    return !(FPermission[What] * Data[What]).Empty();
}

MyAnsiString TModelItem::GetStrVar(const MyAnsiString& AName) const {
    MyAnsiString value;
    for (const TModelItem* node = this; node && value.empty(); node = node->FParent)
        if (node->FOnGetStrVar) node->FOnGetStrVar(AName, value);
    return value;
}

void TModelItem::CopyAttributesFrom(const TModelItem& AModelItem) {
    if (&AModelItem == this) return;
    FData = AModelItem.FData;
    FImageIndex = AModelItem.FImageIndex;
    const TModelFlagSet kept{mfVisible, mfReleased};
    FFlags = (AModelItem.FFlags - kept) + (FFlags * kept);
    FUserType = AModelItem.FUserType;
    FPermission.Read = AModelItem.FPermission.Read;
    SetVisible(AModelItem.GetVisible());
    SetCaption(AModelItem.FCaption);
}

void TModelItem::CopyAttributesAndChildrenFrom(const TModelItem& AModelItem, TModelManager& ATargetModelManager) {
    CopyAttributesFrom(AModelItem);
    for (const TModelItem* child : AModelItem.FList) {
        TModelItem& copy = TModelItem::Create(ATargetModelManager, nullptr);
        AddChild(copy);
        copy.CopyAttributesAndChildrenFrom(*child, ATargetModelManager);
    }
}

// --- TModelManager ----------------------------------------------------------

TModelManager::TModelManager(std::unique_ptr<TImageList> AImageList) : FImageList(std::move(AImageList)) {
    if (!MxScheduler()) throw Exception("Main Scheduler not created!");
    Init(*MxScheduler());
}

TModelManager::TModelManager(std::unique_ptr<TImageList> AImageList, TMxScheduler& AScheduler)
    : FImageList(std::move(AImageList)) {
    Init(AScheduler);
}

void TModelManager::Init(TMxScheduler& AScheduler) {
    FRoot = &CreateItem<TModelItem>(nullptr);
    FWorkTask = std::make_unique<TMxTask>(AScheduler, "ModelManager");
    FWorkTask->SetOnExecute([this](TMxTask&) { WorkStep(); });
    FWorkTask->Start();
}

TModelManager::~TModelManager() {
    FWorkTask.reset();
    for (TEntryManager* client : FClientList) client->Detach();
    FClientList.clear();
    FList.clear();
}

void TModelManager::BeginUpdate() {
    if (FUpdating) throw Exception("TModelManager.BeginUpdate: internal error");
    ++FUpdateCounter;
    FModifying = true;
}

void TModelManager::EndOfUpdate() {
    if (FUpdateCounter <= 0) throw Exception("TModelManager.EndOfUpdate: internal error");
    if (--FUpdateCounter == 0) {
        FRefreshRequest = true;
        FWorkSignal.SetReady(true);
    }
}

TModelItem& TModelManager::GetItem(int Index) const {
    if (Index < 0 || Index >= GetCount())
        throw Exception(Fmt("%s.GetItem: index %d out of bounds", ClassName(), Index));
    return *FList[static_cast<std::size_t>(Index)];
}

void TModelManager::AddEntryManager(TEntryManager& AClient) {
    if (std::find(FClientList.begin(), FClientList.end(), &AClient) == FClientList.end())
        FClientList.push_back(&AClient);
}

void TModelManager::RemoveEntryManager(TEntryManager& AClient) {
    std::erase(FClientList, &AClient);
}

void TModelManager::WorkStep() {
    FWorkSignal.SetReady(false);
    FWorkTask->WaitFor(FWorkSignal, MxInfinite);
    if (FWorkState == TModelWorkState::stReady) {
        if (FRefreshRequest) {
            FRefreshRequest = false;
            FWorkState = TModelWorkState::stUpdate;
            FWorkSignal.SetReady(true); // the refresh runs in the next step
        }
    } else {
        FWorkState = TModelWorkState::stReady;
        UpdateClients();
    }
}

void TModelManager::UpdateClients() {
    if (FUpdateCounter > 0) return; // the open bracket's end asks again
    FModifying = false;
    FUpdating = true;
    try {
        // A client may go away while another one refreshes (an update handler
        // closing a window): walk a copy and skip the ones gone.
        const std::vector<TEntryManager*> clients = FClientList;
        for (TEntryManager* client : clients)
            if (std::find(FClientList.begin(), FClientList.end(), client) != FClientList.end()) client->Update();
    } catch (...) {
        FUpdating = false;
        throw;
    }
    PurgeReleased();
    for (auto& item : FList) item->FUpdateInfo.Clear();
    FUpdating = false;
    ++FRefreshCount;
    if (OnClientUpdateDone) OnClientUpdateDone();
}

void TModelManager::PurgeReleased() {
    // A node released while the clients refreshed may still have an entry in
    // a client that refreshed before: it is freed by a later refresh, once
    // every client has let go of it.
    const auto stillShown = [this](const TModelItem& item) {
        return std::any_of(FClientList.begin(), FClientList.end(),
                           [&](const TEntryManager* c) { return c->FindEntry(item) != nullptr; });
    };
    std::vector<TModelItem*> going;
    for (auto& item : FList)
        if (item->Released() && item.get() != FRoot && !stillShown(*item)) going.push_back(item.get());
    if (going.empty()) return;
    for (TModelItem* item : going) {
        // Children left in a released node stay alive, detached, until their
        // owners release them.
        for (TModelItem* child : item->FList) child->FParent = nullptr;
        item->FList.clear();
        if (item->FParent) std::erase(item->FParent->FList, item);
        item->FParent = nullptr;
    }
    std::erase_if(FList, [&](const std::unique_ptr<TModelItem>& item) {
        return std::find(going.begin(), going.end(), item.get()) != going.end();
    });
}

// --- TEntryItem -------------------------------------------------------------

TEntryItem::TEntryItem(TEntryManager& AOwner, TModelItem& AModel) : FOwner(&AOwner), FModel(&AModel) {
    if (AModel.View()) FContextList.resize(1);
}

TEntryItem::~TEntryItem() = default;

TObject* TEntryItem::GetContext() const noexcept {
    if (FSelected < 0 || FSelected >= GetContextCount()) return nullptr;
    return FContextList[static_cast<std::size_t>(FSelected)].get();
}

void TEntryItem::SetContext(std::unique_ptr<TObject> Value) {
    if (FSelected < 0) FSelected = 0;
    if (FSelected >= GetContextCount()) FContextList.resize(static_cast<std::size_t>(FSelected) + 1);
    auto& slot = FContextList[static_cast<std::size_t>(FSelected)];
    if (Value.get() == slot.get()) {
        (void)Value.release(); // the slot owns it already
        return;
    }
    slot = std::move(Value);
}

std::unique_ptr<TObject> TEntryItem::TakeContext() noexcept {
    if (FSelected < 0 || FSelected >= GetContextCount()) return nullptr;
    return std::move(FContextList[static_cast<std::size_t>(FSelected)]);
}

void TEntryItem::EnsureContextSlot() {
    if (FContextList.empty() && FModel->View()) FContextList.resize(1);
}

// --- TEntryManager ----------------------------------------------------------

TEntryManager::TEntryManager(TModelManager& AModelManager, TTreeView& ATreeView)
    : FModelManager(&AModelManager), FTreeView(&ATreeView) {
    FModelManager->AddEntryManager(*this);
    FTreeView->SetImages(FModelManager->ImageList());
    FTreeView->OnChanging = [](TTreeNode&, bool&) {};
    FTreeView->OnChange = [this](TTreeNode* node) { TreeChange(node); };
    FTreeView->OnExpanding = [this](TTreeNode& node, bool& allow) { TreeExpanding(node, allow); };
    FTreeView->OnCollapsing = [this](TTreeNode& node, bool& allow) { TreeCollapsing(node, allow); };
    FTreeView->OnExpanded = [this](TTreeNode& node) { EntryOf(node).SetFlag(efExpanded, true); };
    FTreeView->OnCollapsed = [this](TTreeNode& node) { EntryOf(node).SetFlag(efExpanded, false); };
    FTreeView->OnEditing = [this](TTreeNode& node, bool& allow) { TreeEditing(node, allow); };
    FTreeView->OnEdited = [this](TTreeNode& node, MyAnsiString& text) { TreeEdited(node, text); };
    FTreeView->Clear();

    TModelItem& root = FModelManager->Root();
    FList.push_back(root.CreateEntry(*this));
    FRoot = FList.back().get();
    // The top node is open from the start (every refresh keeps it open).
    FRoot->SetFlag(efExpanded, true);
    TTreeNode& node = FTreeView->AddChild(nullptr, root.Caption(), FRoot);
    SetupNode(node, true);
}

TEntryManager::~TEntryManager() {
    if (FModelManager) FModelManager->RemoveEntryManager(*this);
    FTreeView->OnChanging = nullptr;
    FTreeView->OnChange = nullptr;
    FTreeView->OnExpanding = nullptr;
    FTreeView->OnCollapsing = nullptr;
    FTreeView->OnExpanded = nullptr;
    FTreeView->OnCollapsed = nullptr;
    FTreeView->OnEditing = nullptr;
    FTreeView->OnEdited = nullptr;
    // The tree's nodes point at our entries: they go first.
    FTreeView->Clear();
    FTreeView->SetImages(nullptr);
}

void TEntryManager::FreeEntries() noexcept {
    FPath.clear();
    FRoot = nullptr;
    for (auto& entry : FList)
        if (OnEntryFree) {
            try {
                OnEntryFree(*entry);
            } catch (...) {
                // whoever kept the entry could not let go cleanly; it goes anyway
            }
        }
    FList.clear();
}

void TEntryManager::Detach() noexcept {
    FModelManager = nullptr;
    try {
        FTreeView->OnChange = nullptr;
        FTreeView->Clear();
    } catch (...) {
    }
    FreeEntries();
}

TEntryItem& TEntryManager::GetItem(int Index) const {
    if (Index < 0 || Index >= GetCount())
        throw Exception(Fmt("TEntryManager.GetItem: index %d out of bounds", Index));
    return *FList[static_cast<std::size_t>(Index)];
}

TEntryItem& TEntryManager::EntryOf(TTreeNode& ANode) const {
    if (!ANode.Data()) throw Exception("TEntryItem.Update: internal error - node mismatch");
    return *ANode.Data();
}

TTreeNode* TEntryManager::FindNode(const TEntryItem& AEntry) const {
    TTreeNode* found = nullptr;
    FTreeView->ForEach([&](TTreeNode& node) {
        if (!found && node.Data() == &AEntry) found = &node;
    });
    return found;
}

TEntryItem* TEntryManager::FindEntry(const TModelItem& AModel) const {
    for (const auto& entry : FList)
        if (&entry->Model() == &AModel) return entry.get();
    return nullptr;
}

void TEntryManager::RenewTags() {
    if (!FModelManager) return;
    for (int i = 0; i < FModelManager->GetCount(); ++i) FModelManager->GetItem(i).Tag = -1;
    for (std::size_t i = 0; i < FList.size(); ++i) FList[i]->Model().Tag = static_cast<int>(i);
}

void TEntryManager::Update() {
    if (!FModelManager || !FRoot) return;
    // 1. The selection path: the entries from the selected node up to the top.
    FPath.clear();
    for (TTreeNode* node = FTreeView->Selected(); node; node = node->Parent()) FPath.push_back(node->Data());
    // 2. Tags.
    RenewTags();
    // 3. The tree from the top node down.
    TTreeNode* top = FTreeView->GetFirstNode();
    if (!top || top->Data() != FRoot) throw Exception("TEntryItem.Update: internal error - node mismatch");
    UpdateNode(*top, *FRoot);
    // 4.
    FRoot->SetFlag(efExpanded, true);
    if (OnUpdate) OnUpdate();
    // 5. Entries of released nodes go.
    for (auto it = FList.begin(); it != FList.end();) {
        TEntryItem* entry = it->get();
        if (entry != FRoot && entry->Model().Released()) {
            if (TTreeNode* node = FindNode(*entry)) FTreeView->Delete(*node); // never left in the tree
            if (OnEntryFree) OnEntryFree(*entry);
            std::replace(FPath.begin(), FPath.end(), entry, static_cast<TEntryItem*>(nullptr));
            it = FList.erase(it);
        } else {
            ++it;
        }
    }
    // 6. Back to the node that holds the same entry as before, as far down
    // the saved path as the tree reaches.
    TTreeNode* node = FTreeView->Selected();
    if (!node) return;
    auto pos = std::find(FPath.begin(), FPath.end(), node->Data());
    if (pos == FPath.end()) return;
    TTreeNode* target = node;
    while (pos != FPath.begin()) {
        --pos;
        TTreeNode* next = nullptr;
        for (int i = 0; i < target->Count() && !next; ++i)
            if (target->Item(i)->Data() == *pos && *pos) next = target->Item(i);
        if (!next) break;
        target = next;
    }
    if (target != node) FTreeView->Select(target);
}

void TEntryManager::UpdateNode(TTreeNode& ANode, TEntryItem& AEntry) {
    if (ANode.Data() != &AEntry) throw Exception("TEntryItem.Update: internal error - node mismatch");
    TModelItem& model = AEntry.Model();
    if (ANode.Count() > 0 && model.UpdateInfo().Contains(uiChange)) ANode.DeleteChildren();
    if (ANode.Count() == 0 && AEntry.Flags().Contains(efExpanded)) BuildChildren(ANode);
    SetupNode(ANode, false);
    for (int i = 0; i < ANode.Count(); ++i) {
        TTreeNode& child = *ANode.Item(i);
        UpdateNode(child, EntryOf(child));
    }
}

void TEntryManager::BuildChildren(TTreeNode& ANode) {
    ANode.DeleteChildren();
    TModelItem& model = EntryOf(ANode).Model();
    for (int i = 0; i < model.GetChildCount(); ++i) {
        TModelItem& child = model.GetChild(i);
        TPermissionData data;
        data.Read = child.UserType().Contains(utDevelop) ? AllUsers : AllUsers - TUserTypeSet{utDevelop};
        if (!child.GetVisible() || !child.HavePermission(ptRead, data)) continue;
        TEntryItem* entry = nullptr;
        if (child.Tag >= 0 && child.Tag < GetCount() && &FList[static_cast<std::size_t>(child.Tag)]->Model() == &child)
            entry = FList[static_cast<std::size_t>(child.Tag)].get();
        if (!entry) {
            FList.push_back(child.CreateEntry(*this));
            entry = FList.back().get();
            child.Tag = GetCount() - 1;
        }
        TTreeNode& node = FTreeView->AddChild(&ANode, child.Caption(), entry);
        SetupNode(node, true);
    }
}

bool TEntryManager::EnsureChildren(TTreeNode& ANode) {
    if (ANode.Count() > 0 || EntryOf(ANode).Model().GetChildCount() == 0) return true;
    if (!FModelManager || FModelManager->Modifying() || FModelManager->Updating()) return false;
    RenewTags();
    BuildChildren(ANode);
    return true;
}

void TEntryManager::SetupNode(TTreeNode& ANode, bool AFull) {
    TEntryItem& entry = EntryOf(ANode);
    TModelItem& model = entry.Model();
    if (model.Released()) throw Exception("TEntryManager.SetupNode: internal error - node released");
    const TUpdateInfoSet info = model.UpdateInfo();
    if (AFull || info.Contains(uiRefresh)) {
        ANode.SetText(model.Caption());
        ANode.SetImageIndex(model.ImageIndex());
        ANode.SetSelectedIndex(model.ImageIndex());
    }
    if (AFull || info.Contains(uiChange)) ANode.SetHasChildren(model.GetChildCount() > 0);
    if (entry.Flags().Contains(efExpanded)) ANode.Expand();
}

void TEntryManager::TreeChange(TTreeNode*) {
    if (!FModelManager || FModelManager->Modifying()) return;
    FPreviousPath = FCurrentPath;
    FCurrentPath = GetPathStr();
    if (OnUpdate) OnUpdate();
}

void TEntryManager::TreeExpanding(TTreeNode& ANode, bool& Allow) {
    if (!EnsureChildren(ANode)) Allow = false;
}

void TEntryManager::TreeCollapsing(TTreeNode& ANode, bool& Allow) {
    if (&ANode == FTreeView->GetFirstNode()) Allow = false;
}

void TEntryManager::TreeEditing(TTreeNode& ANode, bool& Allow) {
    Allow = EntryOf(ANode).Model().Flags().Contains(mfAllowEdit);
}

void TEntryManager::TreeEdited(TTreeNode& ANode, MyAnsiString& Text) {
    // Captions are not renamed from the tree: the node keeps its model caption.
    const MyAnsiString caption = EntryOf(ANode).Model().Caption();
    ShowMessage("end of editing");
    Text = caption;
}

MyAnsiString TEntryManager::GetPathStr() const {
    TTreeNode* node = FTreeView->Selected();
    TTreeNode* top = FTreeView->GetFirstNode();
    if (!node || !top) return {};
    std::vector<const MyAnsiString*> parts;
    for (TTreeNode* n = node; n && n != top; n = n->Parent()) parts.push_back(&n->Text());
    MyAnsiString path = top->Text() + kPathSeparator;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (it != parts.rbegin()) path += '\\';
        path += **it;
    }
    return path;
}

void TEntryManager::SetPathStr(const MyAnsiString& Value) {
    TTreeNode* node = FTreeView->GetFirstNode();
    if (!node) return;
    bool select = false;
    MyAnsiString rest = Value;
    const std::size_t sep = Value.find(kPathSeparator);
    if (sep != MyAnsiString::npos) {
        if (Value.compare(0, sep, node->Text()) != 0) throw Exception("internal error: tree name error");
        select = true;
        rest = Value.substr(sep + std::char_traits<char>::length(kPathSeparator));
    }
    std::size_t pos = 0;
    while (!rest.empty() && pos <= rest.size()) {
        std::size_t end = rest.find('\\', pos);
        if (end == MyAnsiString::npos) end = rest.size();
        const MyAnsiString part = rest.substr(pos, end - pos);
        pos = end + 1;
        TTreeNode* next = nullptr;
        if (part == "..") {
            next = node->Parent();
        } else if (EnsureChildren(*node)) {
            for (int i = 0; i < node->Count() && !next; ++i)
                if (node->Item(i)->Text() == part) next = node->Item(i);
        }
        if (!next) break;
        node = next;
        select = true;
    }
    if (select) FTreeView->Select(node);
}

void TEntryManager::GoBackSelect() {
    TTreeNode* node = FTreeView->Selected();
    if (!node) return;
    EnsureChildren(*node);
    if (node->Parent()) FTreeView->Select(node->Parent());
}

} // namespace vo
