#include "devices/ModChk.h"

#include "devices/ConfXfer.h"
#include "devices/DataIntf.h"
#include "devices/DevMan.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

#include <algorithm>
#include <functional>

namespace vo {

namespace {

MyAnsiString StrOf(TSLObject* O) {
    auto* s = dynamic_cast<TSLString*>(O);
    return s ? s->GetStringValue() : MyAnsiString();
}

TSLDictionary* DictOf(TSLObject* O, const char* Key) {
    auto* d = dynamic_cast<TSLDictionary*>(O);
    return d ? dynamic_cast<TSLDictionary*>(d->FindObjWithName(Key)) : nullptr;
}

void SetAll(TModCheckNode& N, bool Value) {
    N.Checked = Value;
    for (auto& c : N.Children)
        SetAll(*c, Value);
}

void Leaves(TModCheckNode& N, const std::function<void(TModCheckNode&)>& F) {
    if (N.IsItem())
        F(N);
    for (auto& c : N.Children)
        Leaves(*c, F);
}

} // namespace

TModCheckNode& TModCheckNode::Add(MyAnsiString ACaption) {
    Children.push_back(std::make_unique<TModCheckNode>());
    TModCheckNode& n = *Children.back();
    n.Caption = std::move(ACaption);
    n.Parent = this;
    return n;
}

void TModCheckTree::InitExport(const std::vector<TDataInterface*>& Interfaces, TDevice* Device) {
    FExportFlag = true;
    FCaption = "Select the data to be exported.";
    FRoot = std::make_unique<TModCheckNode>();
    FRoot->Caption = "Export All";
    FRoot->ImageIndex = 14;
    FInterfaces.clear();
    const TDeviceType type = Device ? Device->DeviceType() : dtUnknown;
    for (TDataInterface* i : Interfaces) {
        if (i->GetDataCount() == 0)
            continue;
        if (type == dtOnline && !(i->FExportPermission & ipOnline))
            continue;
        if (type == dtOffline && !(i->FExportPermission & ipOffline))
            continue;
        FInterfaces.push_back(i);
        TModCheckNode& node = FRoot->Add(i->FCaption);
        node.Interface = i;
        node.ImageIndex = i->FImageIndex;
        i->ClearImpExpList();
        int help = 0;
        int download = 0;
        const bool curves = i->FCaption == "Curves";
        if (curves && Device)
            if (auto* c = dynamic_cast<TCurveDownloadState*>(Device->FindService<TDeviceService>("CurveService"))) {
                help = c->GetNumberOfHelpCurves();
                download = c->GetNumberOfDownloadCurves();
            }
        TModCheckNode* helpNode = curves && help > 0 ? &node.Add("Help Curve") : nullptr;
        TModCheckNode* downloadNode = curves && download > 0 ? &node.Add("Download Curve") : nullptr;
        for (int k = 0; k < i->GetDataCount(); ++k) {
            TModCheckNode* parent = &node;
            if (curves) {
                parent = k < help ? helpNode : k < help + download ? downloadNode
                                                                   : nullptr;
                if (!parent)
                    continue;
            }
            TDataItem scratch;
            scratch.CreateDataDict();
            i->GetDataInfo(k, scratch);
            TModCheckNode& leaf = parent->Add(scratch.GetDataName());
            leaf.ItemIndex = k;
            i->AddToImpExpList("TRUE");
        }
    }
}

void TModCheckTree::InitImport(TSLArray* ItemsArr) {
    FExportFlag = false;
    FCaption = "Select the data to be imported.";
    FRoot = std::make_unique<TModCheckNode>();
    FRoot->Caption = "Import All";
    FRoot->ImageIndex = 14;
    FItemsArray = ItemsArr;
    FInterfaces.clear();
    MyAnsiString previous;
    TModCheckNode* typeNode = nullptr;
    TModCheckNode* helpNode = nullptr;
    TModCheckNode* downloadNode = nullptr;
    for (int k = 0; ItemsArr && k < ItemsArr->GetCount(); ++k) {
        TSLObject* item = ItemsArr->GetObjAtIndex(k);
        TSLDictionary* info = DictOf(item, "Info");
        const MyAnsiString type = info ? StrOf(info->FindObjWithName("Type")) : MyAnsiString();
        if (!typeNode || type != previous) {
            typeNode = &FRoot->Add(type);
            helpNode = downloadNode = nullptr;
            previous = type;
        }
        TModCheckNode* parent = typeNode;
        if (type == "Curves") {
            TSLDictionary* dataInfo = DictOf(DictOf(item, "Data"), "Info");
            bool downloaded = false;
            try {
                downloaded = dataInfo && dataInfo->FindObjWithName("Downloaded") && dataInfo->GetBoolWithName("Downloaded");
            } catch (const std::exception&) {
                downloaded = false;
            }
            if (downloaded) {
                if (!downloadNode)
                    downloadNode = &typeNode->Add("Download Curve");
                parent = downloadNode;
            } else {
                if (!helpNode)
                    helpNode = &typeNode->Add("Help Curve");
                parent = helpNode;
            }
        }
        TModCheckNode& leaf = parent->Add(info ? StrOf(info->FindObjWithName("Name")) : MyAnsiString());
        leaf.ItemIndex = k;
    }
}

void TModCheckTree::Click(TModCheckNode& Node) {
    const bool value = !Node.Checked;
    SetAll(Node, value);
    for (TModCheckNode* p = Node.Parent; p; p = p->Parent) {
        if (value)
            p->Checked = true;
        else
            p->Checked = std::any_of(p->Children.begin(), p->Children.end(), [](const auto& c) { return c->Checked; });
    }
}

void TModCheckTree::Apply() {
    if (!FRoot)
        return;
    if (FExportFlag) {
        std::vector<TDataInterface*> kept;
        for (auto& n : FRoot->Children) {
            if (!n->Checked) {
                // The interface is not exported at all.
                n->Interface->ClearImpExpList();
                continue;
            }
            kept.push_back(n->Interface);
            Leaves(*n, [&](TModCheckNode& Leaf) { n->Interface->SetImpExpDataAt(Leaf.ItemIndex, Leaf.Checked); });
        }
        FInterfaces = kept;
        return;
    }
    if (!FItemsArray)
        return;
    std::vector<int> drop;
    Leaves(*FRoot, [&](TModCheckNode& Leaf) {
        if (!Leaf.Checked)
            drop.push_back(Leaf.ItemIndex);
    });
    std::sort(drop.rbegin(), drop.rend());
    for (int k : drop)
        FItemsArray->RemoveObject(k);
}

TConfigItemSelector MakeModCheckSelector(std::function<bool(TModCheckTree& Tree)> ShowModal) {
    return [Show = std::move(ShowModal)](TConfigTransfer& Transfer, TSLArray* Items) {
        TModCheckTree tree;
        if (Items) {
            tree.InitImport(Items);
        } else {
            std::vector<TDataInterface*> list;
            for (int i = 0; i < Transfer.GetInterfaceCount(); ++i)
                list.push_back(&Transfer.GetInterface(i));
            tree.InitExport(list, &Transfer.Device());
        }
        if (!Show(tree))
            return false;
        tree.Apply();
        return true;
    };
}

} // namespace vo
