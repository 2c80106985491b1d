// drivesim: the drive simulator as a program for manual use.
//
//   drivesim --pty [--drive FILE] [--fault RULE]... [--link PATH] [--quiet]
//       serves one drive on a pseudo-terminal: prints the slave path (the
//       serial port to open) on the first line of standard output, then the
//       frames on standard error, until interrupted.
//   drivesim --udp 127.0.0.5[:PORT] [--pty] ...
//       serves it as UDP datagrams at a loopback address (also on the
//       pseudo-terminal with --pty); prints "address:port".
//   drivesim --check FILE
//       reads a drive description and prints what it describes.
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimUdp.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: drivesim --pty [options]      serve a drive on a pseudo-terminal until interrupted\n"
    "       drivesim --check FILE         read a drive description and show it\n"
    "options:\n"
    "  --drive FILE        drive description (default: the sample vx41.drive)\n"
    "  --fault RULE        add a fault rule, e.g. \"cmd=10 from=2 drop\" (repeatable)\n"
    "  --delay CMD=MS      processing time of a command (hexadecimal command byte)\n"
    "  --resync-gap MS     drop a received frame broken off by a pause this long\n"
    "  --link PATH         also make PATH a symbolic link to the serial port\n"
    "  --udp ADDR[:PORT]   also (or only) serve UDP datagrams at a loopback address\n"
    "                      127.x.y.z, port 20000 unless given\n"
    "  --quiet             do not print the frames\n";

int Fail(const std::string& msg) {
    std::fprintf(stderr, "drivesim: %s\n", msg.c_str());
    return 2;
}

void Show(const vo::SimDriveDescription& d) {
    const vo::SimDrive& drive = d.drive;
    const auto& id = drive.Identity();
    std::printf("%s: protocol 0x%02X, A = %u, D = %u, increment %u, buffer %u\n", d.name.c_str(),
                id.protocolVersion, id.addrFieldSize, id.dataFieldSize, id.addrIncrement, id.maxBufferSize);
    std::printf("  device \"%s\", release \"%s\" at 0x%X\n", id.deviceString.c_str(), id.releaseText.c_str(),
                drive.ReleaseTextAddress());
    for (const auto& r : drive.Regions())
        std::printf("  region %-8s %-5s 0x%08X..0x%08X\n", r.name.c_str(),
                    r.kind == vo::SimRegionKind::Flash ? "flash" : "ram", r.base, r.End() - 1);
    std::printf("  %zu parameters, %zu info nodes, %zu fault rules\n", drive.Parameters().size(),
                drive.InfoNodes().size(), d.faults.size());
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    bool pty = false, quiet = false;
    std::string driveFile = vo::SimDataDir() + "/vx41.drive";
    std::string checkFile, linkPath;
    std::vector<std::string> faults;
    std::vector<std::string> delays;
    int64_t resyncGap = 0;
    std::string udp;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw std::runtime_error(a + " needs a value");
            return args[++i];
        };
        try {
            if (a == "--pty")
                pty = true;
            else if (a == "--quiet")
                quiet = true;
            else if (a == "--drive")
                driveFile = value();
            else if (a == "--check")
                checkFile = value();
            else if (a == "--fault")
                faults.push_back(value());
            else if (a == "--delay")
                delays.push_back(value());
            else if (a == "--link")
                linkPath = value();
            else if (a == "--udp")
                udp = value();
            else if (a == "--resync-gap")
                resyncGap = std::stoll(value());
            else if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else {
                std::fputs(kUsage, stderr);
                return Fail("unknown argument " + a);
            }
        } catch (const std::exception& e) {
            return Fail(e.what());
        }
    }

    try {
        if (!checkFile.empty()) {
            Show(vo::SimLoadDrive(checkFile));
            return 0;
        }
        if (!pty && udp.empty()) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        std::string udpAddress = udp;
        uint16_t udpPort = 20000;
        if (const auto colon = udp.find(':'); colon != std::string::npos) {
            udpAddress = udp.substr(0, colon);
            udpPort = uint16_t(std::stoul(udp.substr(colon + 1)));
        }
        uint32_t udpIp = 0;
        if (!udp.empty() && (!vo::UdpParseAddress(udpAddress, udpIp) || (udpIp >> 24) != 127))
            throw std::runtime_error("--udp takes a loopback address 127.x.y.z");

        vo::SimDriveDescription desc = vo::SimLoadDrive(driveFile);
        // Signals are taken by sigwait below; the simulator's thread must not get them.
        sigset_t stopSignals;
        sigemptyset(&stopSignals);
        sigaddset(&stopSignals, SIGINT);
        sigaddset(&stopSignals, SIGTERM);
        sigaddset(&stopSignals, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

        const std::string name = desc.name;
        vo::SimRunner runner(std::move(desc));
        runner.WithProtocol([&](vo::SimProtocol& p) {
            for (const auto& d : delays) {
                auto eq = d.find('=');
                if (eq == std::string::npos) throw std::runtime_error("--delay needs CMD=MS");
                p.SetDelay(uint8_t(std::stoul(d.substr(0, eq), nullptr, 16)), std::stoll(d.substr(eq + 1)));
            }
            return 0;
        });
        for (const auto& f : faults) runner.Faults().Add(f);
        runner.Transcript().SetCapacity(10000); // the frames are printed; keep memory flat
        if (!quiet)
            runner.Transcript().SetListener([](const vo::SimTranscriptEntry& e) {
                std::fprintf(stderr, "%s\n", e.Format().c_str());
            });

        std::unique_ptr<vo::SimPtyTransport> transport;
        std::unique_ptr<vo::SimUdpTransport> udpTransport;
        if (pty) {
            transport = std::make_unique<vo::SimPtyTransport>(runner);
            transport->SetResyncGapMs(resyncGap);
            if (!linkPath.empty()) {
                ::unlink(linkPath.c_str());
                if (::symlink(transport->SlavePath().c_str(), linkPath.c_str()) != 0)
                    throw std::runtime_error("cannot link " + linkPath + ": " + std::strerror(errno));
            }
        }
        if (!udp.empty()) udpTransport = std::make_unique<vo::SimUdpTransport>(runner, udpAddress, udpPort);
        runner.Start();
        if (transport) {
            std::printf("%s\n", transport->SlavePath().c_str());
            if (!quiet) std::fprintf(stderr, "drivesim: serving %s on %s\n", name.c_str(), transport->SlavePath().c_str());
        }
        if (udpTransport) {
            std::printf("%s:%u\n", udpAddress.c_str(), unsigned(udpTransport->Port()));
            if (!quiet) std::fprintf(stderr, "drivesim: serving %s on UDP %s:%u\n", name.c_str(), udpAddress.c_str(), unsigned(udpTransport->Port()));
        }
        std::fflush(stdout);

        int sig = 0;
        sigwait(&stopSignals, &sig);
        runner.Stop();
        if (!linkPath.empty()) ::unlink(linkPath.c_str());
        return 0;
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
