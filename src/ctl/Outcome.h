#pragma once

#include "Exchange.h"

namespace tavo::ctl {

// How one projector's command ended. For wait-ready, Ok means " Power ON" was read and NoReply
// that it was not within the limit.
struct Outcome : Exchange {
    // False when the run ended before this projector's turn (a signal, its port's link lost);
    // `error` then says why.
    bool tried = true;
};

} // namespace tavo::ctl
