#pragma once
// A tree control as the model tree binds to it, without any GUI library: nodes
// with text, icon, expand button, expanded state and a data pointer, one
// selected node, and the control's events (selection, expanding, collapsing,
// editing). The entry managers of the model tree (kernel/ModTree.h) drive it;
// a GUI adapter (kernel/gui/TreeViewModel.h) shows it in a real tree widget,
// following its changes through TTreeViewObserver and forwarding the user's
// actions to the User... entry points.
#include <functional>
#include <memory>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TEntryItem;
class TTreeView;

// The icons of a tree (and of the forms that share the program's image list).
// The GUI side derives the list that holds the pictures.
class TImageList {
public:
    virtual ~TImageList() = default;
    virtual int GetCount() const = 0;
};

// A list of a given number of images without pictures (headless use).
class TCountImageList : public TImageList {
public:
    explicit TCountImageList(int ACount = 0) : FCount(ACount) {}
    int GetCount() const override { return FCount; }
    void SetCount(int ACount) { FCount = ACount; }

private:
    int FCount;
};

class TTreeNode {
public:
    TTreeNode(TTreeView& AOwner, TTreeNode* AParent, MyAnsiString AText, TEntryItem* AData);
    ~TTreeNode();
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;

    TTreeView& TreeView() const noexcept { return *FOwner; }
    TTreeNode* Parent() const noexcept { return FParent; }
    int Count() const noexcept { return static_cast<int>(FChildren.size()); }
    TTreeNode* Item(int Index) const;
    TTreeNode* GetFirstChild() const noexcept { return FChildren.empty() ? nullptr : FChildren.front().get(); }
    // Position among its siblings.
    int Index() const noexcept;
    int Level() const noexcept;

    const MyAnsiString& Text() const noexcept { return FText; }
    void SetText(const MyAnsiString& Value);
    int ImageIndex() const noexcept { return FImageIndex; }
    void SetImageIndex(int Value);
    int SelectedIndex() const noexcept { return FSelectedIndex; }
    void SetSelectedIndex(int Value);
    // Whether the node shows an expand button (set when a child is added).
    bool HasChildren() const noexcept { return FHasChildren; }
    void SetHasChildren(bool Value);
    bool Expanded() const noexcept { return FExpanded; }
    bool Selected() const noexcept;
    TEntryItem* Data() const noexcept { return FData; }
    void SetData(TEntryItem* Value) noexcept { FData = Value; }

    // Expands one level (asks OnExpanding first). A node without children
    // and without expand button does not expand.
    void Expand() { SetExpanded(true); }
    // Collapses (asks OnCollapsing first).
    void Collapse() { SetExpanded(false); }
    void SetExpanded(bool Value);
    // Deletes every child (the expand button goes with them).
    void DeleteChildren();

private:
    friend class TTreeView;

    TTreeView* FOwner;
    TTreeNode* FParent;
    std::vector<std::unique_ptr<TTreeNode>> FChildren;
    MyAnsiString FText;
    int FImageIndex = -1;
    int FSelectedIndex = -1;
    bool FHasChildren = false;
    bool FExpanded = false;
    TEntryItem* FData;
};

// Follows the changes of a tree (the GUI adapter). Insertions and removals
// are announced before and confirmed after they happen.
class TTreeViewObserver {
public:
    virtual ~TTreeViewObserver() = default;
    virtual void NodesInserting(TTreeNode* AParent, int AFirst, int ALast) = 0;
    virtual void NodesInserted() = 0;
    virtual void NodesRemoving(TTreeNode* AParent, int AFirst, int ALast) = 0;
    virtual void NodesRemoved() = 0;
    // Text, icons or expand button changed.
    virtual void NodeChanged(TTreeNode& ANode) = 0;
    virtual void NodeExpandedChanged(TTreeNode& ANode) = 0;
    virtual void SelectionChanged(TTreeNode* ANode) = 0;
};

class TTreeView {
public:
    using TNodeEvent = std::function<void(TTreeNode& Node)>;
    using TAllowEvent = std::function<void(TTreeNode& Node, bool& Allow)>;
    using TEditedEvent = std::function<void(TTreeNode& Node, MyAnsiString& Text)>;
    using TChangeEvent = std::function<void(TTreeNode* Node)>;

    TTreeView() = default;
    ~TTreeView();
    TTreeView(const TTreeView&) = delete;
    TTreeView& operator=(const TTreeView&) = delete;

    // Top-level nodes.
    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    TTreeNode* Item(int Index) const;
    TTreeNode* GetFirstNode() const noexcept { return FItems.empty() ? nullptr : FItems.front().get(); }
    // Appends a child of AParent (a top-level node when AParent is null).
    TTreeNode& AddChild(TTreeNode* AParent, const MyAnsiString& AText, TEntryItem* AData = nullptr);
    // Deletes a node with its subtree. When the selection lies inside it, the
    // node's parent becomes selected (nothing when it was a top-level node).
    void Delete(TTreeNode& ANode);
    void Clear();

    TTreeNode* Selected() const noexcept { return FSelected; }
    // Selects a node of this tree (null: none); asks OnChanging, expands the
    // node's collapsed ancestors, then tells OnChange.
    void Select(TTreeNode* ANode);

    TImageList* Images() const noexcept { return FImages; }
    void SetImages(TImageList* Value) noexcept { FImages = Value; }

    // Observer (the GUI adapter); one at a time, null detaches.
    void SetObserver(TTreeViewObserver* Value) noexcept { FObserver = Value; }
    TTreeViewObserver* Observer() const noexcept { return FObserver; }

    // The user's actions, as the GUI adapter forwards them. Each returns
    // whether the tree followed (false: the GUI must undo its own change).
    bool UserSelect(TTreeNode* ANode);
    bool UserExpand(TTreeNode& ANode);
    bool UserCollapse(TTreeNode& ANode);
    // Asks OnEditing whether the node's text may be edited.
    bool CanEdit(TTreeNode& ANode);
    // The user finished editing with AText; OnEdited may change the text that
    // the node keeps.
    void UserEdited(TTreeNode& ANode, const MyAnsiString& AText);

    // Events of the control.
    TAllowEvent OnChanging;
    TChangeEvent OnChange;
    TAllowEvent OnExpanding;
    TNodeEvent OnExpanded;
    TAllowEvent OnCollapsing;
    TNodeEvent OnCollapsed;
    TAllowEvent OnEditing;
    TEditedEvent OnEdited;

    // Every node of the tree, depth first (for tests and walks).
    void ForEach(const std::function<void(TTreeNode&)>& Fn) const;
    bool Contains(const TTreeNode* ANode) const noexcept;

private:
    friend class TTreeNode;

    void DeleteRange(TTreeNode* AParent, std::vector<std::unique_ptr<TTreeNode>>& AList, int AFirst, int ALast);
    void NotifyChanged(TTreeNode& ANode);

    std::vector<std::unique_ptr<TTreeNode>> FItems;
    TTreeNode* FSelected = nullptr;
    TImageList* FImages = nullptr;
    TTreeViewObserver* FObserver = nullptr;
};

} // namespace vo
