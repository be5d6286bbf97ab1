#pragma once

#include <QString>

// Holds "ZOOM" up for `seconds` on the real window and times each command's arrival at the
// projector's end. Writes the periods to `csvPath`, their histogram to `pngPath` and the figures
// on standard output. Returns 0 on success.
int runRepeatBench(const QString& csvPath, const QString& pngPath, int seconds);
