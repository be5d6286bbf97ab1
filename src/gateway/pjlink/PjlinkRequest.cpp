#include "PjlinkRequest.h"

namespace tavo::gateway::pjlink {
namespace {
constexpr int kMaxParameter = 128;

bool isAlnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}
} // namespace

QByteArray Request::answer(const QByteArray& value) const {
    return '%' + QByteArray(1, pjClass) + command + '=' + value + '\r';
}

std::optional<Request> parseRequest(const QByteArray& line, bool overlong) {
    if (line.size() < 6 || line[0] != '%' || line[1] < '0' || line[1] > '9')
        return std::nullopt;
    Request request;
    request.pjClass = line[1];
    request.command = line.mid(2, 4);
    for (const char c : request.command) {
        if (!isAlnum(c))
            return std::nullopt;
    }
    request.command = request.command.toUpper();
    request.separated = line.size() > 6 && line[6] == ' ';
    request.parameter = line.mid(request.separated ? 7 : 6);
    request.overlong = overlong;
    return request;
}

bool isPlainParameter(const Request& request) {
    if (request.overlong || !request.separated || request.parameter.isEmpty() ||
        request.parameter.size() > kMaxParameter)
        return false;
    for (const char c : request.parameter) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

} // namespace tavo::gateway::pjlink
