#pragma once

#include "Exchange.h"

#include <QJsonObject>
#include <QString>

namespace tavo {

// One exchange as scripts and the gateway's subscribers read it: name (null without one),
// target, address, sent, reply, decoded (null when not decoded), ok, error (null when ok). Bytes
// are strings in which byte b is the character U+00bb (Latin-1).
QJsonObject exchangeJson(const QString& name, const QString& target, const QString& address,
                         const Exchange& exchange);

} // namespace tavo
