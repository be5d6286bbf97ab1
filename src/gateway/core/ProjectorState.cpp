#include "ProjectorState.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace tavo::gateway {

bool ProjectorState::sameReadings(const ProjectorState& other) const {
    return available == other.available && power == other.power && input == other.input &&
           lampHours == other.lampHours && temperatures == other.temperatures &&
           reversal == other.reversal;
}

namespace {
QJsonValue orNull(const std::optional<QString>& text) {
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
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
        {QStringLiteral("power"), orNull(state.power)},
        {QStringLiteral("input"), orNull(state.input)},
        {QStringLiteral("lamp_hours"),
         state.lampHours ? QJsonValue(*state.lampHours) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("temperatures"), temperatures},
        {QStringLiteral("reversal"), orNull(state.reversal)},
        {QStringLiteral("room"), projector.room},
        {QStringLiteral("port"), projector.target},
        {QStringLiteral("address"), projector.address},
        {QStringLiteral("updated"),
         state.updated.isValid() ? QJsonValue(state.updated.toUTC().toString(Qt::ISODateWithMs))
                                 : QJsonValue(QJsonValue::Null)},
    };
}

std::optional<int> lampHoursIn(const QString& words) {
    static const QRegularExpression form(QStringLiteral("^([0-9 ]*?)\\s*Hour Use$"));
    const auto match = form.match(words.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    QString digits = match.captured(1);
    digits.remove(QLatin1Char(' '));
    bool ok = false;
    const int hours = digits.isEmpty() ? 0 : digits.toInt(&ok);
    if (!digits.isEmpty() && !ok)
        return std::nullopt;
    return hours;
}

std::optional<QList<double>> temperaturesIn(const QString& words) {
    QStringList parts = words.split(QStringLiteral("deg C"), Qt::SkipEmptyParts);
    QList<double> values;
    for (QString part : parts) {
        part.remove(QLatin1Char(' '));
        if (part.isEmpty())
            continue;
        bool ok = false;
        const double value = part.toDouble(&ok);
        if (!ok)
            return std::nullopt;
        values << value;
    }
    if (values.size() != 3)
        return std::nullopt;
    return values;
}

PowerKind powerKind(const std::optional<QString>& words) {
    if (!words)
        return PowerKind::Unknown;
    static const QHash<QString, PowerKind> kinds{
        {QStringLiteral("Power ON"), PowerKind::On},
        {QStringLiteral("Stand by"), PowerKind::Standby},
        {QStringLiteral("Count down"), PowerKind::WarmingUp},
        {QStringLiteral("Cooling down"), PowerKind::CoolingDown},
        {QStringLiteral("Power abnormality"), PowerKind::PowerFault},
        {QStringLiteral("Temperature abnormality"), PowerKind::TemperatureFault},
        {QStringLiteral("Lamp Failure"), PowerKind::LampFault},
    };
    return kinds.value(*words, PowerKind::Unknown);
}

} // namespace tavo::gateway
