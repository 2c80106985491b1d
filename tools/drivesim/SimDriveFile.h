#pragma once
// Drive descriptions as plain text files (data/drivesim/*.drive): identity and
// login facts, passwords, memory regions and contents, parameters, info nodes,
// firmware instances, the drive's refusal statuses, processing times and fault
// rules. The format is described in data/drivesim/README.md; in short:
//
//   # comment                     [section] or [section argument]
//   key = value                   numbers decimal or 0x..., yes/no,
//                                 "text" (\" \\ \0 \xHH), hex: 01 02 03
//
// Errors name the file and line: "SimDriveFile: sample.drive:12: ...".
#include "tools/drivesim/SimFaults.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vo {

struct SimDriveDescription {
    std::string name;
    SimDrive drive;
    std::map<uint8_t, int64_t> delays;
    int64_t defaultDelay = 0;
    std::vector<SimFaultRule> faults;
    // A drive of the older serial protocol behind the gateway: the largest
    // chunk of a block write it takes (0: no such drive).
    int gatewayBlockMax = 0;
};

SimDriveDescription SimParseDrive(std::string_view text, const std::string& fileName = "<text>");
SimDriveDescription SimLoadDrive(const std::string& path);
// The folder of the sample drives in the source tree.
std::string SimDataDir();

// Bytes of an info node in the layout of the drive's protocol generation
// (0x3x and 0x4x drives: layout 1, older ones: layout 0). Fields not given stay
// zero; the node is at least 34 bytes and a whole number of data words.
struct SimNodeFields {
    uint16_t fileType = 0;
    uint16_t fileVersion = 0;
    uint16_t fileSubType = 0;
    SimBytes name; // file name or tree base name, 16 bytes
    std::optional<uint32_t> startAddress;
    SimBytes treeSubName; // 16 bytes, shares its place with the start address
    uint16_t treeVersion = 0;
    uint16_t treeSubVersion = 0;
    SimBytes betaInfo; // 16 bytes
    SimBytes completeName; // 62 bytes
    SimBytes fileInfo; // from offset 80 to the end
};
SimBytes SimBuildInfoNode(const SimNodeFields& fields, uint8_t protocolVersion, uint8_t dataFieldSize);

} // namespace vo
