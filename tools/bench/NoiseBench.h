#pragma once

// Faults as the figures the tests leave to this program: the console's resident set and clicks
// under a line-noise flood (TAVO_FLOOD_SECONDS, default 60) idle and with ZOOM up held, the event
// loop's turns while a network open waits on a silent server, and the CPU spent after a ser2net
// daemon went away (when ser2net is installed).
int runNoiseBench();
