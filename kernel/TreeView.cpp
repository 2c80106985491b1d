#include "kernel/TreeView.h"

#include <algorithm>

#include "kernel/AnsiText.h"
#include "platform/Exception.h"

namespace vo {

// --- TTreeNode --------------------------------------------------------------

TTreeNode::TTreeNode(TTreeView& AOwner, TTreeNode* AParent, MyAnsiString AText, TEntryItem* AData)
    : FOwner(&AOwner), FParent(AParent), FText(std::move(AText)), FData(AData) {
}

TTreeNode::~TTreeNode() = default;

TTreeNode* TTreeNode::Item(int Index) const {
    if (Index < 0 || Index >= Count()) throw Exception(ansi::Fmt("TTreeNode.Item: index %d out of bounds", Index));
    return FChildren[static_cast<std::size_t>(Index)].get();
}

int TTreeNode::Index() const noexcept {
    const auto& list = FParent ? FParent->FChildren : FOwner->FItems;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == this) return static_cast<int>(i);
    return -1;
}

int TTreeNode::Level() const noexcept {
    int level = 0;
    for (const TTreeNode* p = FParent; p; p = p->FParent) ++level;
    return level;
}

void TTreeNode::SetText(const MyAnsiString& Value) {
    if (FText == Value) return;
    FText = Value;
    FOwner->NotifyChanged(*this);
}

void TTreeNode::SetImageIndex(int Value) {
    if (FImageIndex == Value) return;
    FImageIndex = Value;
    FOwner->NotifyChanged(*this);
}

void TTreeNode::SetSelectedIndex(int Value) {
    if (FSelectedIndex == Value) return;
    FSelectedIndex = Value;
    FOwner->NotifyChanged(*this);
}

void TTreeNode::SetHasChildren(bool Value) {
    if (FHasChildren == Value) return;
    FHasChildren = Value;
    FOwner->NotifyChanged(*this);
}

bool TTreeNode::Selected() const noexcept {
    return FOwner->FSelected == this;
}

void TTreeNode::SetExpanded(bool Value) {
    if (FExpanded == Value) return;
    bool allow = true;
    if (Value) {
        if (FChildren.empty() && !FHasChildren) return;
        if (FOwner->OnExpanding) FOwner->OnExpanding(*this, allow);
        if (!allow || FChildren.empty()) return;
    } else {
        if (FOwner->OnCollapsing) FOwner->OnCollapsing(*this, allow);
        if (!allow) return;
    }
    FExpanded = Value;
    if (FOwner->FObserver) FOwner->FObserver->NodeExpandedChanged(*this);
    if (Value) {
        if (FOwner->OnExpanded) FOwner->OnExpanded(*this);
    } else {
        if (FOwner->OnCollapsed) FOwner->OnCollapsed(*this);
    }
}

void TTreeNode::DeleteChildren() {
    if (!FChildren.empty()) FOwner->DeleteRange(this, FChildren, 0, Count() - 1);
    // A node without children is neither expanded nor shows a button; the
    // expanded flag is dropped silently (no collapse events).
    const bool changed = FHasChildren || FExpanded;
    const bool wasExpanded = FExpanded;
    FHasChildren = false;
    FExpanded = false;
    if (FOwner->FObserver) {
        if (wasExpanded) FOwner->FObserver->NodeExpandedChanged(*this);
        if (changed) FOwner->FObserver->NodeChanged(*this);
    }
}

// --- TTreeView --------------------------------------------------------------

TTreeView::~TTreeView() {
    FObserver = nullptr;
    FSelected = nullptr;
    FItems.clear();
}

TTreeNode* TTreeView::Item(int Index) const {
    if (Index < 0 || Index >= Count()) throw Exception(ansi::Fmt("TTreeView.Item: index %d out of bounds", Index));
    return FItems[static_cast<std::size_t>(Index)].get();
}

TTreeNode& TTreeView::AddChild(TTreeNode* AParent, const MyAnsiString& AText, TEntryItem* AData) {
    auto& list = AParent ? AParent->FChildren : FItems;
    const int index = static_cast<int>(list.size());
    if (FObserver) FObserver->NodesInserting(AParent, index, index);
    list.push_back(std::make_unique<TTreeNode>(*this, AParent, AText, AData));
    TTreeNode& node = *list.back();
    if (FObserver) FObserver->NodesInserted();
    if (AParent && !AParent->FHasChildren) AParent->SetHasChildren(true);
    return node;
}

void TTreeView::DeleteRange(TTreeNode* AParent, std::vector<std::unique_ptr<TTreeNode>>& AList, int AFirst,
                            int ALast) {
    // Does the selection lie inside the nodes going away?
    bool selectionGoes = false;
    for (const TTreeNode* p = FSelected; p && !selectionGoes; p = p->FParent)
        if (p->FParent == AParent) {
            const int index = p->Index();
            selectionGoes = index >= AFirst && index <= ALast;
        }
    if (selectionGoes) FSelected = nullptr;
    if (FObserver) FObserver->NodesRemoving(AParent, AFirst, ALast);
    AList.erase(AList.begin() + AFirst, AList.begin() + ALast + 1);
    if (FObserver) FObserver->NodesRemoved();
    if (selectionGoes) {
        FSelected = AParent;
        if (FObserver) FObserver->SelectionChanged(FSelected);
        if (OnChange) OnChange(FSelected);
    }
}

void TTreeView::Delete(TTreeNode& ANode) {
    TTreeNode* parent = ANode.FParent;
    auto& list = parent ? parent->FChildren : FItems;
    const int index = ANode.Index();
    if (index < 0) return;
    DeleteRange(parent, list, index, index);
    if (parent && parent->FChildren.empty()) {
        const bool wasExpanded = parent->FExpanded;
        parent->FExpanded = false;
        parent->FHasChildren = false;
        if (FObserver) {
            if (wasExpanded) FObserver->NodeExpandedChanged(*parent);
            FObserver->NodeChanged(*parent);
        }
    }
}

void TTreeView::Clear() {
    if (!FItems.empty()) DeleteRange(nullptr, FItems, 0, Count() - 1);
}

void TTreeView::Select(TTreeNode* ANode) {
    if (ANode == FSelected) return;
    if (ANode && &ANode->TreeView() != this) throw Exception("TTreeView.Select: node of another tree");
    bool allow = true;
    if (OnChanging && ANode) OnChanging(*ANode, allow);
    if (!allow) return;
    // The selected node is made visible: its collapsed ancestors expand, top
    // down (each may refuse).
    if (ANode) {
        std::vector<TTreeNode*> ancestors;
        for (TTreeNode* p = ANode->FParent; p; p = p->FParent) ancestors.push_back(p);
        for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it)
            if (!(*it)->FExpanded) (*it)->SetExpanded(true);
        if (!Contains(ANode)) return; // an expanding handler rebuilt the tree
    }
    FSelected = ANode;
    if (FObserver) FObserver->SelectionChanged(FSelected);
    if (OnChange) OnChange(FSelected);
}

bool TTreeView::UserSelect(TTreeNode* ANode) {
    Select(ANode);
    return FSelected == ANode;
}

bool TTreeView::UserExpand(TTreeNode& ANode) {
    ANode.SetExpanded(true);
    return ANode.Expanded();
}

bool TTreeView::UserCollapse(TTreeNode& ANode) {
    ANode.SetExpanded(false);
    return !ANode.Expanded();
}

bool TTreeView::CanEdit(TTreeNode& ANode) {
    bool allow = true;
    if (OnEditing) OnEditing(ANode, allow);
    return allow;
}

void TTreeView::UserEdited(TTreeNode& ANode, const MyAnsiString& AText) {
    MyAnsiString text = AText;
    if (OnEdited) OnEdited(ANode, text);
    if (Contains(&ANode)) ANode.SetText(text);
}

void TTreeView::NotifyChanged(TTreeNode& ANode) {
    if (FObserver) FObserver->NodeChanged(ANode);
}

void TTreeView::ForEach(const std::function<void(TTreeNode&)>& Fn) const {
    std::vector<TTreeNode*> stack;
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
        TTreeNode* node = stack.back();
        stack.pop_back();
        Fn(*node);
        for (auto it = node->FChildren.rbegin(); it != node->FChildren.rend(); ++it) stack.push_back(it->get());
    }
}

bool TTreeView::Contains(const TTreeNode* ANode) const noexcept {
    // By address only: the pointer may name a node that is gone.
    if (!ANode) return false;
    std::vector<const std::vector<std::unique_ptr<TTreeNode>>*> lists{&FItems};
    while (!lists.empty()) {
        const auto* list = lists.back();
        lists.pop_back();
        for (const auto& n : *list) {
            if (n.get() == ANode) return true;
            lists.push_back(&n->FChildren);
        }
    }
    return false;
}

} // namespace vo
