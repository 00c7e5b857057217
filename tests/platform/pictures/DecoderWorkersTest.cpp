// The decoder workers: locked before they read a picture, and ended by the
// kernel for any call a decoder taken over would try; a worker that hangs
// or dies costs its picture alone, and the next picture decodes.
#include "platform/desktop/RuntimeError.h"
#include "platform/pictures/DecoderWorkers.h"
#include "platform/pictures/Picture.h"
#include "support/FreshProgram.h"
#include "support/RaisedError.h"

#include <QFile>

#include <csignal>

namespace {

using platform::DecoderWorkers::tryForbiddenCall;

TEST(DecoderWorkers, ALockedWorkerIsEndedForOpeningAFileASocketOrAProgramNotForWhatItsThreadsDo) {
  for (const auto& [which, call] : {std::pair{0, "openat"}, std::pair{1, "socket"}, std::pair{2, "execve"}}) {
    SCOPED_TRACE(call);
    const auto outcome = tryForbiddenCall(which);
    EXPECT_TRUE(outcome.statusBefore.contains("\nNoNewPrivs:\t1\n")) << outcome.statusBefore.toStdString();
    EXPECT_TRUE(outcome.statusBefore.contains("\nSeccomp:\t2\n"));
    EXPECT_EQ(outcome.signal, SIGSYS);
  }
  // What the C library does for the decoders' threads needs no such call.
  const auto threads = tryForbiddenCall(3);
  EXPECT_TRUE(threads.statusBefore.contains("\nSeccomp:\t2\n"));
  EXPECT_EQ(threads.signal, 0) << "the C library asked what the lock forbids";
}

using Workers = FreshProgram;

TEST_F(Workers, AWorkerThatHangsOrEndsFailsItsPictureAndTheNextOneDecodes) {
  const QString photo = writePicture(QStringLiteral("photo.bmp"), 40, 30);
  const QString hangs = writeFile(QStringLiteral("hangs"), "#!/bin/sh\nexec sleep 60\n");
  const QString ends = writeFile(QStringLiteral("ends"), "#!/bin/sh\nexit 3\n");
  for (const QString& program : {hangs, ends})
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  platform::DecoderWorkers::setTimeLimit(500);
  for (const QString& program : {hangs, ends, QStringLiteral("/nonexistent/tavlo-decoder")}) {
    SCOPED_TRACE(program.toStdString());
    platform::DecoderWorkers::setProgram(program);
    EXPECT_EQ(raisedError([&] { platform::Picture::load(photo); }), platform::errors::InvalidPicture);
  }
  platform::DecoderWorkers::setProgram({});
  platform::DecoderWorkers::setTimeLimit(15'000);
  EXPECT_EQ(platform::Picture::load(photo).pixelSize(), QSize(40, 30));
}

}  // namespace
