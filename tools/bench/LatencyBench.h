#pragma once

#include <QString>

// Click-to-wire ("On" clicked until its first byte is readable at the projector's end) and
// reply-to-screen (the projector's "00" CR written until the status line reads " Power ON"),
// each over `samples` rounds after `warmup` unrecorded ones. Writes one CSV per series into
// `csvDir` and the figures on standard output. Returns 0 on success.
int runLatencyBench(const QString& csvDir, int samples, int warmup);
