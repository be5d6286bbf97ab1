#pragma once

#include <QList>

#include <optional>
#include <tuple>

namespace tavo {

// What the projector's power read reports.
enum class PowerState {
    On,
    Standby,
    CountDown,
    CoolingDown,
    PowerFault,
    TemperatureFault,
    LampFault
};

// What the image-reversal read reports.
enum class Reversal { Normal, TopBottom, LeftRight, Both };

// The projector's status as its status reads answer it, typed. A value the projector did not
// give (not asked, no reply, a code no table lists) is empty.
struct Readings {
    // One per status read; names the member a read fills.
    enum class Field { Power, Input, LampHours, Temperatures, Reversal, Count };

    std::optional<PowerState> power;
    std::optional<int> input; // 1 to 5, as the input read numbers them
    std::optional<int> lampHours;
    std::optional<QList<double>> temperatures; // three sensors, degrees Celsius
    std::optional<Reversal> reversal;

    bool has(Field field) const;
    // Copies the values `other` holds, leaving the rest.
    void take(const Readings& other);
    bool operator==(const Readings& other) const;
    bool operator!=(const Readings& other) const { return !(*this == other); }

private:
    // Every member in Field's order: has(), take() and == go through this one list, so a new
    // reading is its member, its Field and its place here.
    template <typename Self> static auto fieldsOf(Self& self) {
        return std::tie(self.power, self.input, self.lampHours, self.temperatures, self.reversal);
    }
};

} // namespace tavo
