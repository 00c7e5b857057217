#pragma once

// The lock of the programs that read untrusted files for the program (the
// decoder workers, the metafile helper): once their libraries are loaded,
// they give up every system call that their work does not need, for good. A
// hostile file that takes over a decoder can then read the files it was
// handed and answer on its socket, and nothing else: no network, no program
// to start, no other process to touch, no file written.

namespace platform {

// Empties the environment, forbids ever gaining privileges, and installs
// the filter; false, with nothing locked, where the kernel refuses it: the
// program must then not read anything.
bool lockDown();

}  // namespace platform
