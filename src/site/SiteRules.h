#pragma once

#include "SiteFile.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tavo::site {

// The rules every program that reads a site file applies to the keys they share, so a file one
// of them takes is not refused by the other for the same key.

// Each section's baud rate: baud= must be 9600 or 19200 (`defaultBaud` where it is left out),
// and the sections that `portOf` puts on one port must agree, since projectors on one wire share
// its speed (`portOf` gives what the port opens; empty for a section with no port). The rates in
// section order; nothing, with "FILE:LINE: reason" in `error`, at the first line that breaks a
// rule.
std::optional<QList<int>> baudRates(const SiteFile& site, int defaultBaud,
                                    const std::function<QString(const SiteSection&)>& portOf,
                                    QString* error);

// Projector and site names: letters, digits, '_' and '-', as MQTT topics and Home Assistant ids
// take them.
bool isPlainName(const QString& name);

// What is wrong with a port's name, syntax only (what the port does with it is found out when it
// opens): COMn beyond COM1 to COM15, a network target that is not tcp://HOST:PORT or
// rfc2217://HOST:PORT (any case of the scheme). Empty when it reads right.
QString portProblem(const QString& target);

} // namespace tavo::site
