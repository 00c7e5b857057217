#pragma once

namespace platform {

// A thread stuck in a call to a volume that does not answer keeps its
// process from ending until the volume answers, and nobody, not even
// SIGKILL, can end it sooner. So the run goes on in a child process: the
// process the user (or the desktop) started only waits, and ends, with the
// run's exit code, as soon as the child says the run is over
// (runIsOver), whether or not the child itself can end yet; or, with the
// child's own code, when the child ends first. The child ends when that
// process does.
//
// Called first thing in main, before any thread exists; returns in the
// child, or at once where the split cannot be made.
void runInAChildProcess();

// The run is over: the process the user started ends now, with this code.
void runIsOver(int code);

}  // namespace platform
