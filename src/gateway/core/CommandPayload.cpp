#include "CommandPayload.h"

#include "CommandText.h"

#include <QStringDecoder>

namespace tavo::gateway {

std::optional<bool> CommandPayload::power(const QByteArray& payload) {
    if (payload == "on" || payload == "off")
        return payload == "on";
    return std::nullopt;
}

std::optional<int> CommandPayload::input(const QByteArray& payload) {
    if (payload.size() != 1)
        return std::nullopt;
    const int input = payload[0] - '0';
    if (!ProjectorCommand::input(input))
        return std::nullopt;
    return input;
}

std::optional<ProjectorCommand> CommandPayload::text(const QByteArray& payload, TextError* error,
                                                     QString* why) {
    const auto fail = [error](TextError e) -> std::optional<ProjectorCommand> {
        *error = e;
        return std::nullopt;
    };
    *error = TextError::None;
    if (payload.isEmpty())
        return fail(TextError::Empty);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(payload);
    if (utf8.hasError())
        return fail(TextError::NotUtf8);
    const std::optional<QByteArray> bytes = commandTextBytes(text, why);
    if (!bytes)
        return fail(TextError::NotCommand);
    return ProjectorCommand::typed(*bytes);
}

} // namespace tavo::gateway
