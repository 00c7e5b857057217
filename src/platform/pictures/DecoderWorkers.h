#pragma once

#include "platform/pictures/RasterDecoding.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace platform {

class BackgroundWork;
class ReadableFile;

// Raster pictures are decoded in worker processes (tavlo-decoder) that lock
// themselves down before they read a request: this process opens the file
// and hands over its descriptor, and gets the pixels back in a sealed
// memory file that becomes the picture's memory. It never parses a picture
// file's contents itself, nor loads a decoder.
//
// Up to two idle workers are kept, and one of lower priority for previews
// fetched ahead, so that no picture waits for a process to start. A worker that crashes, is killed, answers nonsense or
// runs past its time is ended and replaced, and its picture fails as any picture that cannot be decoded does. A
// decoding whose work is cancelled is given up by its worker at its next check.
namespace DecoderWorkers {

// Decodes as decodeRaster does, in a worker; any thread may ask. Work the
// user is not waiting for (a preview fetched before it is asked for) goes to
// a worker of its own that runs at a lower priority.
enum class Priority { Normal, Low };
DecodedRaster decode(const ReadableFile& file, QSize box, ColourTarget target, const BackgroundWork* work,
                     Priority priority = Priority::Normal);

// The display's colour profile, handed to every worker started after.
void setDisplayProfile(const QByteArray& profile);
bool displayHasOwnProfile();

// Starts the kept workers in the background.
void startInBackground();

// Where the worker program is; and, for the tests, another program and
// another time bound for each decoding.
QString program();
void setProgram(const QString& program);
void setTimeLimit(int milliseconds);

// For measuring what the workers cost: pictures decoded by this function, in
// this process, instead (the bench compares both); null: by the workers.
using InProcessDecoder = DecodedRaster (*)(const ReadableFile&, QSize, ColourTarget, const BackgroundWork*);
void decodeInThisProcess(InProcessDecoder decoder);

// For the tests of the confinement: a worker asked to make a call it is
// forbidden (0 openat, 1 socket, 2 execve), or to do what decoders' threads
// make the C library do on its own (3: many threads that allocate and free
// memory, and ask the local time); gives how the worker ended (the signal
// that ended it, or 0 when it lived and answered), and its status lines
// (/proc/<worker>/status) as they were before the request.
struct ForbiddenCall {
  int signal = 0;
  QByteArray statusBefore;
};
ForbiddenCall tryForbiddenCall(int which);

}  // namespace DecoderWorkers

}  // namespace platform
