#pragma once
// The rows of the scan-result login forms without their widgets: where rows
// and columns go, and what the state of a drive found by the Ethernet
// discovery makes of its row (colour, whether it can be checked, picture).
// The forms are devices/gui/CANLogin.h and devices/gui/ETHLogin.h.
#include <array>
#include <cstdint>
#include <optional>

namespace vo {

// Column lefts of the CAN form: check box, MAC-ID, device name, user ID, password.
inline constexpr std::array<int, 5> CANLoginLefts = {8, 60, 140, 280, 404};
// Column lefts of the Ethernet form: state, address, MAC id, group, device
// name, device type, release, user ID, password.
inline constexpr std::array<int, 9> ETHLoginLefts = {3, 65, 155, 275, 340, 480, 630, 780, 900};

inline constexpr int CANLineTop(int Index) {
    return 30 + 25 * Index;
}
inline constexpr int ETHLineTop(int Index) {
    return 25 * Index;
}

// Colours as 0xRRGGBB.
inline constexpr uint32_t ColorGreen = 0x008000;
inline constexpr uint32_t ColorGrey = 0x808080;
inline constexpr uint32_t ColorRed = 0xFF0000;
inline constexpr uint32_t ColorButtonFace = 0xF0F0F0;
inline constexpr uint32_t ColorSilver = 0xC0C0C0;

enum class TETHRowState : uint8_t {
    rsReady, // ready for a login
    rsLoggedIn, // this program is logged in already
    rsTaken // another instance is logged in
};

struct TETHRowLook {
    uint32_t StateColor;
    bool Checkable;
};
TETHRowLook ETHRowLook(TETHRowState State);
// The row background alternates between button face and silver.
uint32_t ETHRowBackground(int Index);
// "Login All" takes only the rows that are ready.
bool ETHLoginAllTakes(TETHRowState State);

// The firmware state a drive reports in the discovery.
enum class TFirmwareState : uint8_t { fsRunning,
                                      fsRunningWithError,
                                      fsNotRunning };
// Image of the main image list for the state: 119 running, 121 running with
// an error, 120 not running; -1 (no picture) when the drive reports none.
int FirmwareStateImage(std::optional<TFirmwareState> State);

} // namespace vo
