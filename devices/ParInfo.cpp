#include "devices/ParInfo.h"

#include "devices/DevMan.h"
#include "platform/Exception.h"

namespace vo {

TParameterInfoService* DeviceParameterInfo(TDevice& Device) {
    if (!Device.ServiceExists("ParameterService"))
        return nullptr;
    return dynamic_cast<TParameterInfoService*>(&Device.GetService("ParameterService"));
}

std::vector<TDeviceInfoRow> DeviceInfoRows(TParameterInfoService& Service) {
    std::vector<TDeviceInfoRow> rows;
    for (int32_t upid : DeviceInfoUPIDs) {
        TParameterInfo* p = Service.FindInfoParameter(upid);
        if (!p)
            continue;
        TDeviceInfoRow row{p->GetCaption(), {}, p};
        switch (p->InfoKind()) {
        case TParameterInfoKind::pkString:
            try {
                row.Value = p->GetStrValue();
            } catch (const Exception&) {
                row.Value.clear(); // not read yet
            }
            break;
        case TParameterInfoKind::pkEnumDir16: row.Value = p->SelectedEntryCaption(); break;
        case TParameterInfoKind::pkOther: continue;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

MyAnsiString DeviceParameterPath(const TDevice& Device, const TParameterInfo& Parameter) {
    return "Project:\\\\" + Device.GetModelCaption() + "\\Parameters\\" + Parameter.GetPath();
}

} // namespace vo
