#pragma once

// Programs of the package's own that do work on untrusted files apart from
// the window: the metafile helper and the decoder workers. Each is started
// with one end of a socket pair as its standard input and output, nothing as
// its error output, no other descriptor of this process, and limits set
// before it is sent anything.

#include <QString>

#include <sys/types.h>

namespace platform {

// Where such a program is, found from the running program's own folder:
// beside it (the build folder), else in the installed program's
// libexec/tavlo/ (TAVLO_HELPER_FOLDER, relative to bin/).
QString helperProgram(const char* name);

// Starts the program on a socket pair of the type (SOCK_STREAM or
// SOCK_SEQPACKET), in an emptied environment; gives its process and the
// other end of the pair, or -1.
pid_t startHelper(const QString& program, int socketType, int& channel);

// At most 10 minutes of processor time, 2 GB of address space and no core
// dump; no files written either, unless it hands its results back in memory
// files (which count as written files), as the decoder workers, which can
// open no file at all, do. False when the limits could not be set.
enum class HelperWrites { Nothing, MemoryFiles };
bool limitHelper(pid_t process, HelperWrites writes = HelperWrites::Nothing);

// Waits for the ended process.
void reapHelper(pid_t process);

}  // namespace platform
