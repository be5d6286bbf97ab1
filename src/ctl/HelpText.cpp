#include "Invocation.h"

namespace tavo::ctl {

QString helpText() {
    return QStringLiteral(
        R"(Usage: mx7300-ctl [--port TARGET] [--baud 9600|19200] [--address single|all|001|002|003|004]
                  [--timeout MS] [--json] [--no-gateway] [--site FILE] [--all | NAME...]
                  COMMAND [ARG]

Sends one command to a TAVO MX7300 projector, or to many, and prints the reply
as the console shows it: the transcript of what was sent and received and the
decoded words of the status line.

Commands:
  status            power state (CR0): Power ON, Stand by, Count down, ...
  input             selected input (CR1)
  lamp              lamp hours (CR3)
  reversal          image reversal (CR4)
  temp              temperatures (CR6)
  send TEXT         any command text; CR is added, the address put in front
  power on|off      switch on (C00) or off (C01)
  wait-ready [SEC]  ask CR0 once a second until "Power ON", at most SEC seconds (60)

Options:
  --port TARGET     COMn (the console's port n, mapped to a device as the
                    console maps it), a device path such as /dev/ttyUSB0,
                    tcp://HOST:PORT (raw TCP) or rfc2217://HOST:PORT
                    (default: the console's stored port)
  --baud RATE       9600 or 19200 (default: the console's stored rate)
  --address ADDR    single (no prefix), all (AFFF), 001..004 (A001..A004)
                    (default: the console's stored address)
  --timeout MS      the reply time-out, 1000 by default
  --json            one JSON object per projector per line: name, target,
                    address, sent, reply, decoded, ok, error
  --site FILE       an INI file with one [NAME] section per projector and the
                    keys port, baud, address and room; keys left out take the
                    options above. Name projectors before the command, or
                    give --all. Projectors on different ports run at once;
                    those sharing a port take turns on it.
  --no-gateway      open the port itself even when a gateway on this host
                    holds it and shares it (the port is then busy: exit 3)
  --help, --version

A port held by an mx7300-gateway running on this host with --share is reached
through the gateway's share of that line: the command takes its turn with the
gateway's own, the line shows "TARGET via gateway SITE", JSON has "via".

Output: one line per projector, "NAME | TARGET | ADDRESS | sent ... | reply
... | decoded words | error". With a site a summary line follows, "N ok, M no
reply, K failed" (on standard error with --json). In JSON the bytes sent and
received are strings in which byte b stands for character U+00bb; the output
is plain ASCII, other characters written as \u escapes.

Exit status: 0 every projector answered; 1 at least one gave no reply within
the time-out (or, for wait-ready, was not ready in time); 2 usage error;
3 a port could not be opened (the reason goes to standard error).

Examples:
  mx7300-ctl --port COM3 status
  mx7300-ctl --port /dev/ttyUSB0 --baud 9600 --address 002 lamp
  mx7300-ctl --port tcp://10.0.0.5:4001 power on && mx7300-ctl --port tcp://10.0.0.5:4001 wait-ready 90
  mx7300-ctl --site /etc/mx7300/site.ini --all --json temp
  crontab:  0 22 * * * mx7300-ctl --site /etc/mx7300/site.ini --all power off

See mx7300-ctl(1) for the site file and a systemd timer.
)");
}

} // namespace tavo::ctl
