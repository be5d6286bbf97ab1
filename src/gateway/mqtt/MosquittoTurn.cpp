#include "MosquittoTurn.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <unistd.h>

namespace tavo {

int mosquittoTurn(mosquitto* mosq, int wakeFd, int timeoutMs) {
    const int socket = mosquitto_socket(mosq);
    if (socket < 0)
        return MOSQ_ERR_NO_CONN;
    pollfd waits[] = {
        {socket, short(POLLIN | (mosquitto_want_write(mosq) ? POLLOUT : 0)), 0},
        {wakeFd, POLLIN, 0},
    };
    if (::poll(waits, 2, timeoutMs) < 0 && errno != EINTR)
        return MOSQ_ERR_ERRNO;
    if (waits[1].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(wakeFd, &count, sizeof count);
    }
    if (waits[0].revents & (POLLIN | POLLHUP | POLLERR)) {
        const int rc = mosquitto_loop_read(mosq, 1);
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0)
            return rc;
    }
    // Whatever waits to go out: what another thread queued, or the rest of a packet the socket
    // took only part of (a full socket leaves it for the next turn).
    if (mosquitto_want_write(mosq)) {
        const int rc = mosquitto_loop_write(mosq, 1);
        if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq) < 0)
            return rc;
    }
    return mosquitto_loop_misc(mosq);
}

void wakeMosquittoTurn(int wakeFd) {
    const std::uint64_t one = 1;
    // A full counter already wakes the turn.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
}

} // namespace tavo
