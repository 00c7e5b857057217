#pragma once

// The decoder worker's lock: once every decoder is loaded, the worker gives
// up every system call that decoding does not need, for good. A hostile
// picture that takes over a decoder can then read the files it was handed
// and answer on its socket, and nothing else: no file to open, no network,
// no program to start, no other process to touch.

namespace decoder {

// Empties the environment, forbids ever gaining privileges, and installs
// the filter; false, with nothing locked, where the kernel refuses it: the
// worker must then not decode at all.
bool lockDown();

}  // namespace decoder
