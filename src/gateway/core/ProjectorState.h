#pragma once

#include "SiteConfig.h"

#include "Readings.h"

#include <QDateTime>
#include <QJsonObject>

namespace tavo::gateway {

// What the gateway knows of one projector from its latest poll: its readings, typed; a value the
// projector did not answer is empty.
struct ProjectorState : Readings {
    bool available = false; // answered its latest power read
    QDateTime updated;      // the end of the latest poll that was answered, UTC

    // The same readings and availability, whenever they were taken.
    bool sameReadings(const ProjectorState& other) const;
};

// {"power":…,"input":…,"lamp_hours":…,"temperatures":[…],"reversal":…,"room":…,"port":…,
//  "address":…,"updated":…}; power, input and reversal in the console's words.
QJsonObject stateJson(const ProjectorConfig& projector, const ProjectorState& state);

// stateJson with the projector's name, "available" and "port_open": one projector as a front
// that lists them shows it.
QJsonObject projectorJson(const ProjectorConfig& projector, const ProjectorState& state,
                          bool portOpen);

// The console's words for the power and input readings, for the fronts that show words; empty
// while the reading is.
QString powerWords(const ProjectorState& state);
QString inputWordsOf(const ProjectorState& state);

} // namespace tavo::gateway
