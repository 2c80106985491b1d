#include "devices/LoginDlg.h"

#include "comm/OvraServ.h"
#include "devices/ComProbe.h"
#include "devices/VelInit.h"
#include "kernel/MD5Generator.h"
#include "kernel/ShellServices.h"
#include "kernel/functions.h"
#include "storagelib/SL20Elm.h"

namespace vo {

namespace {
TSLObject* Find(TSLDictionary* D, const char* Name) {
    return D ? D->FindObjWithName(Name) : nullptr;
}
std::optional<int64_t> IntOf(TSLObject* O) {
    if (auto* n = dynamic_cast<TSLNumber*>(O))
        return n->GetLongintValue();
    return std::nullopt;
}
std::optional<MyAnsiString> TextOf(TSLObject* O) {
    if (auto* s = dynamic_cast<TSLString*>(O))
        return s->GetStringValue();
    if (auto* i = dynamic_cast<TSLIdent*>(O))
        return i->GetIdentValue();
    return std::nullopt;
}
} // namespace

TLoginVisibility LoginVisibility(std::optional<TInterfaceType> Interface) {
    TLoginVisibility v;
    switch (Interface.value_or(ifRS232)) {
    case ifRS232: v.Port = true; break;
    case ifCAN: v.MACID = v.ScanEnabled = true; break;
    case ifEthernet: v.IPAddress = v.ScanEnabled = v.BlinkEnabled = true; break;
    case ifOffline: v.Offline = true; break;
    }
    return v;
}

TLoginRestore ReadLoginConfig(TSLDictionary* LoginConfig, const std::vector<MyAnsiString>& Ports) {
    TLoginRestore r;
    if (!LoginConfig)
        return r;
    if (auto mac = IntOf(Find(LoginConfig, "DevMACID")); mac && *mac >= 0 && *mac <= 255)
        r.DevMACID = static_cast<int>(*mac);
    if (auto ip = IntOf(Find(LoginConfig, "IPAddress")))
        r.IPAddress = static_cast<int32_t>(*ip);
    if (auto port = TextOf(Find(LoginConfig, "PortName"))) {
        if (*port == "CAN") {
            r.Interface = ifCAN;
        } else if (*port == "ETH") {
            r.Interface = ifEthernet;
        } else {
            r.Interface = ifRS232;
            r.PortIndex = Ports.empty() ? -1 : 0;
            for (size_t i = 0; i < Ports.size(); ++i)
                if (Ports[i] == *port)
                    r.PortIndex = static_cast<int>(i);
        }
    }
    if (auto user = TextOf(Find(LoginConfig, "UserName")))
        r.UserName = *user;
    if (auto show = TextOf(Find(LoginConfig, "ShowObjectInspector")))
        r.ShowObjectInspector = *show == "TRUE";
    else if (auto* b = dynamic_cast<TSLBoolean*>(Find(LoginConfig, "ShowObjectInspector")))
        r.ShowObjectInspector = b->GetStringValue() == "true";
    return r;
}

MyAnsiString InvalidIPText(int32_t IPAddress) {
    return "Invalid IP address: " + IntToIPStr(IPAddress);
}

TLoginCheck LoginCloseCheck(const MyAnsiString& LoginID, const MyAnsiString& Password,
                            std::optional<TInterfaceType> Interface, int32_t IPAddress) {
    TLoginCheck c;
    const MyAnsiString id = UpperCaseText(LoginID);
    if (id == "DEVELOPER") {
        if (!CompareMD5(MD5Value(Password), ShellServices().pswDeveloper())) {
            c.Message = "Wrong password!";
            c.Focus = TLoginField::lfPassword;
            return c;
        }
    } else if (id != "GUEST" && id != "USER" && id != "SERVICE") {
        c.Message = "Unknown login ID!";
        c.Focus = TLoginField::lfUserName;
        return c;
    }
    if (Interface == ifEthernet && IPAddress == 0) {
        c.Message = InvalidIPText(IPAddress);
        return c;
    }
    c.Accept = true;
    return c;
}

std::vector<MyAnsiString> RefreshLoginPorts(TOvraServer& Server) {
    RegisterNewComPorts(Server, SerialBaudRate(false));
    std::vector<MyAnsiString> ports;
    for (int i = 0; i < Server.GetPortCount(); ++i) {
        const MyAnsiString name = Server.GetPortName(i);
        if (Server.GetPortType(name) == "RS" && ComPortCanOpen(name))
            ports.push_back(name);
    }
    return ports;
}

} // namespace vo
