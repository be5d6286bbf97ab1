#pragma once

#include "SiteConfig.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace tavo::gateway {

// What the gateway knows of one projector from its latest poll. Words are the console's own,
// without the leading space; a field the projector did not answer is empty.
struct ProjectorState {
    bool available = false; // answered its latest power read
    std::optional<QString> power;
    std::optional<QString> input;
    std::optional<int> lampHours;
    std::optional<QList<double>> temperatures;
    std::optional<QString> reversal;
    QDateTime updated; // the end of the latest poll that was answered, UTC

    // The same readings, whenever they were taken.
    bool sameReadings(const ProjectorState& other) const;
};

// {"power":…,"input":…,"lamp_hours":…,"temperatures":[…],"reversal":…,"room":…,"port":…,
//  "address":…,"updated":…}
QJsonObject stateJson(const ProjectorConfig& projector, const ProjectorState& state);

// The numbers in the console's words: "1 2 3 4   Hour Use" is 1234 hours;
// "0 3 8 . 5 deg C 0 4 6 . 0 deg C 0 3 1 . 5 deg C" is 38.5, 46.0 and 31.5.
std::optional<int> lampHoursIn(const QString& words);
std::optional<QList<double>> temperaturesIn(const QString& words);

// The power words in three kinds, for switches, PJLink and problem sensors.
enum class PowerKind {
    Unknown,
    On,
    Standby,
    WarmingUp,
    CoolingDown,
    PowerFault,
    TemperatureFault,
    LampFault
};
PowerKind powerKind(const std::optional<QString>& words);

} // namespace tavo::gateway
