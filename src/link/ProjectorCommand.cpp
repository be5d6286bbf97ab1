#include "ProjectorCommand.h"

namespace tavo {
namespace {
constexpr const char* kInputs[commands::kSelectableInputs] = {commands::kInput1, commands::kInput2,
                                                              commands::kInput3, commands::kInput4};
} // namespace

ProjectorCommand ProjectorCommand::power(bool on) {
    return {on ? commands::kPowerOn : commands::kPowerOff, true};
}

std::optional<ProjectorCommand> ProjectorCommand::input(int input) {
    if (input < 1 || input > commands::kSelectableInputs)
        return std::nullopt;
    return ProjectorCommand{kInputs[input - 1], true};
}

ProjectorCommand ProjectorCommand::videoMute(bool on) {
    return {on ? commands::kVideoMuteOn : commands::kVideoMuteOff, false};
}

ProjectorCommand ProjectorCommand::typed(const QByteArray& text) {
    bool changes = text == commands::kPowerOn || text == commands::kPowerOff;
    for (const char* input : kInputs)
        changes = changes || text == input;
    return {text, changes};
}

} // namespace tavo
