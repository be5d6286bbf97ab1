#include "ProjectorState.h"

#include "StatusReads.h"

#include <QJsonArray>

namespace tavo::gateway {

bool ProjectorState::sameReadings(const ProjectorState& other) const {
    return available == other.available && Readings::operator==(other);
}

QString powerWords(const ProjectorState& state) {
    return state.power ? wordsOf(*state.power) : QString();
}

QString inputWordsOf(const ProjectorState& state) {
    return state.input ? inputWords(*state.input) : QString();
}

namespace {
QJsonValue orNull(const QString& words) {
    return words.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(words);
}
} // namespace

QJsonObject stateJson(const ProjectorConfig& projector, const ProjectorState& state) {
    QJsonValue temperatures(QJsonValue::Null);
    if (state.temperatures) {
        QJsonArray values;
        for (double t : *state.temperatures)
            values.append(t);
        temperatures = values;
    }
    return QJsonObject{
        {QStringLiteral("power"), orNull(powerWords(state))},
        {QStringLiteral("input"), orNull(inputWordsOf(state))},
        {QStringLiteral("lamp_hours"),
         state.lampHours ? QJsonValue(*state.lampHours) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("temperatures"), temperatures},
        {QStringLiteral("reversal"),
         state.reversal ? QJsonValue(wordsOf(*state.reversal)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("room"), projector.room},
        {QStringLiteral("port"), projector.target},
        {QStringLiteral("address"), projector.address},
        {QStringLiteral("updated"),
         state.updated.isValid() ? QJsonValue(state.updated.toUTC().toString(Qt::ISODateWithMs))
                                 : QJsonValue(QJsonValue::Null)},
    };
}

QJsonObject projectorJson(const ProjectorConfig& projector, const ProjectorState& state,
                          bool portOpen) {
    QJsonObject object = stateJson(projector, state);
    object.insert(QStringLiteral("name"), projector.name);
    object.insert(QStringLiteral("available"), state.available);
    object.insert(QStringLiteral("port_open"), portOpen);
    return object;
}

} // namespace tavo::gateway
