#pragma once

namespace platform {

// Lets pending window events run before the handler goes on. A handler of
// another control may run nested inside this call.
void DoEvents();

}  // namespace platform
