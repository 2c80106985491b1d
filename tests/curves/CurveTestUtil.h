#pragma once
// Curve test helpers: the archived curve files through a storage manager,
// device units of a sample drive (time in microseconds, positions in 0.1 um,
// master positions in increments), and generators from the archived types.
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "curves/CurWizar.h"
#include "parameters/UniSrv.h"
#include "platform/FileNames.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Sto.h"

namespace vo::test {

inline constexpr const char* TypesFile = "archive://Archives\\CurveCreator\\CurveTypes.stx";
inline constexpr const char* InfoFile = "archive://Archives\\CurveCreator\\CurveInfo.stx";

// The program's archives of the build folder, installed for the object's life.
class TArchiveStorage {
public:
    TArchiveStorage() : Manager(RealPathToStored(VO_PROGRAM_DIR) + "\\") {
        Manager.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        Manager.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
    }
    ~TArchiveStorage() { PurgeAutoReleasePool(); }
    TRef<TSLDictionary> Read(const char* Name) {
        TRef<TSLStorageObject> o = Manager.GetObject(Name, saRead);
        o->Read();
        return TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o->GetData()));
    }
    TStorageManager Manager;
};

inline TRef<TSLDictionary> DecodeDict(const char* Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o.Get()));
}

// Device units by UUID, SI scale and caption as a drive's description lists them.
class TSampleUnits : public TCurveUnits {
public:
    TSampleUnits() {
        Add(2, "Time", 1e-6, "s");
        Add(5, "Position", 1e-7, "m");
        Add(6, "Velocity", 1e-6, "m/s");
        Add(7, "Acceleration", 1e-5, "m/s^2");
        Add(29, "Jerk", 1e-3, "m/s^3");
        Add(30, "MasterPosition", 1.0, "inc");
        Add(31, "MasterSpeed", 1e-3, "inc/s");
        Add(40, "TwoByte", 1.0, "");
    }
    void Add(int UUID, const char* Name, double Scale, const char* Caption) {
        char text[512];
        std::snprintf(text, sizeof text,
                      "[D /Units [A [R [D:Unit /UUID 0 /UnitName '' /ImperialCaption '' /ImperialOffset 0.0 "
                      "/ImperialScale 1.0 /MetricCaption '' /MetricOffset 0.0 /MetricScale 1.0 /SICaption '' "
                      "/SIOffset 0.0 /SIScale 1.0 ] [A %d '%s' 'x' 0.0 %.17g 'y' 0.0 %.17g '%s' 0.0 %.17g ] ] ] ]",
                      UUID, Name, Scale, Scale, Caption, Scale);
        TRef<TSLDictionary> d = DecodeDict(text);
        auto* arr = dynamic_cast<TSLArray*>(d->GetObjWithName("Units"));
        auto* rec = dynamic_cast<TSLRecord*>(arr->GetObjAtIndex(0));
        Units[UUID] = std::make_unique<TDeviceUnit>(*rec);
    }
    const TDeviceUnit* GetUnitWithUUID(std::int32_t UUID) const override {
        auto it = Units.find(UUID);
        return it == Units.end() ? nullptr : it->second.get();
    }
    std::map<int, std::unique_ptr<TDeviceUnit>> Units;
};

// Texts of SI values as the user types them in the SI unit system.
inline std::vector<MyAnsiString> Texts(const std::vector<double>& Values) {
    std::vector<MyAnsiString> t;
    for (double v : Values) {
        char b[64];
        std::snprintf(b, sizeof b, "%.12g", v);
        t.emplace_back(b);
    }
    return t;
}

} // namespace vo::test
