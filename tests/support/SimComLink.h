#pragma once
// The communication server with an RS232 driver for "COM7" and its client;
// Attach puts a simulated drive behind "COM7" on a pseudo-terminal.
#include "comm/OvraActr.h"
#include "comm/OvraServ.h"
#include "comm/QpRegister.h"
#include "comm/RsDrv.h"
#include "platform/ComPorts.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace vo::test {

struct SimComLink {
    void OpenLink() {
        Server = std::make_unique<TOvraServer>();
        SetOvraServer(Server.get());
        ASSERT_TRUE(Server->AddPortDriver("COM7", std::make_shared<TRsDriver>(1, 38400)));
        Client = std::make_unique<TOvraClient>();
        RegisterOvraPatterns(*Client);
        SetOvraClient(Client.get());
    }
    void CloseLink() {
        SetOvraClient(nullptr);
        Client.reset();
        SetOvraServer(nullptr);
        Server.reset();
        Line.reset();
        Runner.reset();
        ComPortTable::Instance().Unmap("COM7");
    }

    void Attach(SimDriveDescription Drive) {
        Runner = std::make_unique<SimRunner>(std::move(Drive));
        Line = std::make_unique<SimPtyTransport>(*Runner);
        Runner->Start();
        ComPortTable::Instance().Map("COM7", Line->SlavePath());
    }
    void Attach(const std::string& File) { Attach(SimLoadDrive(SimDataDir() + "/" + File)); }

    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TOvraClient> Client;
    std::unique_ptr<SimRunner> Runner;
    std::unique_ptr<SimPtyTransport> Line;
};

} // namespace vo::test
