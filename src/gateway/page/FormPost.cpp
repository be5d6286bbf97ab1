#include "FormPost.h"

#include "RequestChecks.h"

#include <QStringDecoder>

namespace tavo::gateway::page {
namespace {

QByteArray formDecoded(QByteArray text) {
    text.replace('+', ' ');
    return QByteArray::fromPercentEncoding(text);
}

std::optional<FormAction> actionIn(const QString& text, QString* error) {
    FormAction action;
    if (text == QLatin1String("check"))
        return action;
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 4) {
        *error = QStringLiteral("the form did not say what to do");
        return std::nullopt;
    }
    const QString& verb = parts[0];
    const QString& value = parts[1];
    const QString& kind = parts[2];
    action.target = text.section(QLatin1Char(':'), 3); // a room may hold colons
    if (kind == QLatin1String("projector"))
        action.kind = FormAction::Kind::Projector;
    else if (kind == QLatin1String("room"))
        action.kind = FormAction::Kind::Room;
    else {
        *error = QStringLiteral("the form named neither a projector nor a room");
        return std::nullopt;
    }
    BodyCommand command;
    if (verb == QLatin1String("power"))
        command = powerBody(value.toLatin1());
    else if (verb == QLatin1String("input"))
        command = inputBody(value.toLatin1());
    else
        command.error = QStringLiteral("the form asked for neither power nor input");
    if (!command.command) {
        *error = command.error;
        return std::nullopt;
    }
    action.command = *command.command;
    action.what = verb + QLatin1Char(' ') + value;
    return action;
}

} // namespace

FormPost parseFormPost(const QByteArray& body) {
    FormPost post;
    std::optional<QByteArray> todo;
    for (const QByteArray& pair : body.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray name = formDecoded(pair.left(equals));
        const QByteArray value = equals < 0 ? QByteArray() : formDecoded(pair.mid(equals + 1));
        if (name == "token") {
            post.token = value;
        } else if (name == "do") {
            if (todo) {
                post.error = QStringLiteral("the form asked for two things at once");
                return post;
            }
            todo = value;
        }
    }
    if (!todo) {
        post.error = QStringLiteral("the form did not say what to do");
        return post;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(*todo);
    if (utf8.hasError()) {
        post.error = QStringLiteral("the form is not UTF-8 text");
        return post;
    }
    post.action = actionIn(text, &post.error);
    return post;
}

} // namespace tavo::gateway::page
