#include "devices/LoginRows.h"

namespace vo {

TETHRowLook ETHRowLook(TETHRowState State) {
    switch (State) {
    case TETHRowState::rsReady: return {ColorGreen, true};
    case TETHRowState::rsLoggedIn: return {ColorGrey, false};
    case TETHRowState::rsTaken: break;
    }
    return {ColorRed, false};
}

uint32_t ETHRowBackground(int Index) {
    return Index % 2 == 0 ? ColorButtonFace : ColorSilver;
}

bool ETHLoginAllTakes(TETHRowState State) {
    return State == TETHRowState::rsReady;
}

int FirmwareStateImage(std::optional<TFirmwareState> State) {
    if (!State)
        return -1;
    switch (*State) {
    case TFirmwareState::fsRunning: return 119;
    case TFirmwareState::fsRunningWithError: return 121;
    case TFirmwareState::fsNotRunning: return 120;
    }
    return -1;
}

} // namespace vo
