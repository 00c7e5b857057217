#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSizeF>
#include <QString>

#include <sys/types.h>

#include <atomic>
#include <memory>

class QDeadlineTimer;

namespace platform {

class BackgroundWork;

// Where the metafile helper program is, found from the running program's own
// folder: beside it (the build folder), else in the installed program's
// libexec/tavlo/ (TAVLO_HELPER_FOLDER, relative to bin/).
QString metafileHelperProgram();

// How long the helper may take to read the picture, and to draw each part.
// It also gets at most 10 minutes of processor time in all, 2 GB of address
// space and no files to write.
struct HelperLimits {
  int startMilliseconds = 15'000;
  int renderMilliseconds = 15'000;
};

// One running metafile helper holding one converted picture, which it draws
// on request. Once the helper fails (it crashes, hangs past its time or
// answers nonsense) it is ended, and every later drawing gives nothing: a
// fault in the libraries it uses never reaches this process. The same ends
// it when the work it is started for is cancelled; a drawing, once asked
// for, is waited for to its end, as others may share the picture.
//
// It may be used from any thread, one at a time.
class MetafileHelper {
 public:
  // Starts a helper that readies itself (loads its libraries and fonts, and
  // locks itself) in the background, for the next metafile to take: no
  // metafile then waits for a helper to start. Each one taken is replaced.
  static void startSpare(const QString& program = metafileHelperProgram());

  // Gives the metafile to a helper, the spare where it runs the program;
  // nothing when the helper cannot read it.
  static std::unique_ptr<MetafileHelper> start(const QByteArray& metafile,
                                               const QString& program = metafileHelperProgram(),
                                               HelperLimits limits = {}, const BackgroundWork* work = nullptr);
  ~MetafileHelper();
  MetafileHelper(const MetafileHelper&) = delete;
  MetafileHelper& operator=(const MetafileHelper&) = delete;

  // The extent of the drawing in its own units.
  QSizeF drawingExtent() const { return extent_; }
  // Whether it has failed and been ended.
  bool failed() const { return process_ <= 0; }
  // Its process, while it runs (for the tests of its lock).
  pid_t process() const { return process_; }

  // The part of the picture drawn at size, on white; a null image when the
  // request is out of bounds or the helper has failed.
  QImage render(QSize size, const QRect& part, const BackgroundWork* work = nullptr);

 private:
  MetafileHelper(pid_t process, int channel, HelperLimits limits);
  // Gives the metafile to the helper started; nothing where it fails.
  static std::unique_ptr<MetafileHelper> handOver(const QByteArray& metafile, pid_t process, int channel,
                                                  HelperLimits limits, const BackgroundWork* work);
  bool sendAll(const char* data, qint64 count, const QDeadlineTimer& deadline, const BackgroundWork* work);
  bool readExactly(char* into, qint64 count, const QDeadlineTimer& deadline, const BackgroundWork* work);
  bool waitUntilReady(short events, const QDeadlineTimer& deadline, const BackgroundWork* work);
  void fail();

  std::atomic<pid_t> process_;
  int channel_;  // the helper's standard input and output
  HelperLimits limits_;
  QSizeF extent_;
};

}  // namespace platform
