#pragma once

struct mosquitto;

namespace tavo {

// One turn of a libmosquitto client driven by a thread of its own: what mosquitto_loop() does,
// waiting in poll() up to `timeoutMs` on the client's socket and on `wakeFd` (an eventfd the
// other threads write after they queued a message). The library's own loop waits in select(),
// which refuses a socket numbered 1024 or above, and a site of a few thousand lines holds that
// many descriptors when a reconnect opens the next socket. A MOSQ_ERR_ code.
int mosquittoTurn(mosquitto* mosq, int wakeFd, int timeoutMs);

// Ends the turn under way on `wakeFd`, or the next one, at once: called after queuing a message.
void wakeMosquittoTurn(int wakeFd);

} // namespace tavo
