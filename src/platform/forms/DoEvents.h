#pragma once

namespace platform {

// Lets the pending paints and layouts of every window happen before the
// handler goes on, so that what it set so far shows. No input is taken and
// no other handler runs inside it: work that takes time never waits here,
// it continues as an event of its own (see LatestRequest).
void DoEvents();

}  // namespace platform
