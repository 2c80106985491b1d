#pragma once
// The data-item selection of a configuration export or import, as a tree of
// check boxes: the root ("Export All" / "Import All"), one node per interface
// (export) or per run of items of one type (import), the items, and for
// curves the groups "Help Curve" and "Download Curve" in between. Every node
// starts checked. A click toggles a node: unchecking unchecks every ancestor
// left without a checked child, checking checks every ancestor; all
// descendants take the node's new state. Apply writes the choice back: into
// the interfaces' selection lists (export) or by removing the unchecked items
// from the file's item array (import).
//
// Every item leaf remembers its item index, so that items of one type that
// are not adjacent in the file, and help and download curves that alternate,
// are removed correctly. The dialog (devices/gui/mdChkFrm) shows this model.
#include "platform/AnsiString.h"

#include <functional>
#include <memory>
#include <vector>

namespace vo {

class TConfigTransfer;
class TDataInterface;
class TDevice;
class TSLArray;

struct TModCheckNode {
    MyAnsiString Caption;
    bool Checked = true;
    TModCheckNode* Parent = nullptr;
    std::vector<std::unique_ptr<TModCheckNode>> Children;
    TDataInterface* Interface = nullptr; // interface nodes of an export
    int ItemIndex = -1; // item leaves: the interface's item index / the array index
    int ImageIndex = 0;

    TModCheckNode& Add(MyAnsiString ACaption);
    bool IsItem() const { return ItemIndex >= 0; }
};

class TModCheckTree {
public:
    // Builds the export tree of the interfaces (those without data, or
    // without export permission for the device's kind, are left out).
    void InitExport(const std::vector<TDataInterface*>& Interfaces, TDevice* Device);
    // Builds the import tree of an item array (kept, not owned).
    void InitImport(TSLArray* ItemsArr);

    // Toggles a node as a click does.
    void Click(TModCheckNode& Node);
    // Writes the choice back (the OK of the dialog).
    void Apply();

    const MyAnsiString& Caption() const { return FCaption; }
    TModCheckNode* Root() const { return FRoot.get(); }
    bool ExportFlag() const { return FExportFlag; }
    // The interfaces that stay in the export (an unchecked interface leaves).
    const std::vector<TDataInterface*>& ExportInterfaces() const { return FInterfaces; }

private:
    MyAnsiString FCaption;
    std::unique_ptr<TModCheckNode> FRoot;
    std::vector<TDataInterface*> FInterfaces;
    TSLArray* FItemsArray = nullptr;
    bool FExportFlag = false;
};

// The item selector of configuration transfers that shows this tree with
// ShowModal (true: OK). The GUI installs it with SetConfigItemSelector.
std::function<bool(TConfigTransfer&, TSLArray*)> MakeModCheckSelector(std::function<bool(TModCheckTree& Tree)> ShowModal);

} // namespace vo
