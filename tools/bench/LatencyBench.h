#pragma once

#include <QString>

// Click-to-wire ("On" clicked until its first byte is readable at the projector's end) and
// reply-to-screen (the projector's "00" CR written until the status line reads " Power ON"),
// each over `samples` rounds after `warmup` unrecorded ones. Writes one CSV per series into
// `csvDir` and the figures on standard output. Returns 0 on success.
int runLatencyBench(const QString& csvDir, int samples, int warmup);

// The same two figures with the projector behind a ser2net daemon on loopback: on its raw TCP
// port and on its RFC 2217 port with ser2net's character delay off ("net_tcp_...",
// "net_rfc2217_..."), and on the raw port with ser2net's defaults ("net_tcp_chardelay_...").
// The benchmark sleeps while it waits for the far end, since ser2net needs a core to pass the
// bytes on.
int runNetworkLatencyBench(const QString& csvDir, int samples, int warmup);

// Through a real mx7300-gateway's share on loopback (`gateway` is the program): a raw client's
// command from its last byte written until its first byte is readable on the line
// ("share_write_to_wire"), and the console's click-to-wire through the share and, for
// comparison, through ser2net's raw TCP port ("share_click_to_wire", "share_tcp_click_to_wire"),
// the line idle throughout.
int runShareLatencyBench(const QString& csvDir, const QString& gateway, int samples, int warmup);
