#pragma once

// A FUSE volume mounted on a folder for one test, its files and folders held
// in memory, read-only. Each kind of call into it can be held: while held,
// such calls wait until released, until the volume goes, or for 30 seconds,
// after which they fail. The kernel keeps nothing of it, so every look-up,
// stat, open, read, listing and statfs reaches it, also for a file read
// before. Mounting needs root and /dev/fuse. It is served by a process of its
// own, tavlo_hung_volume beside the test program, which goes with the test
// process however that goes. For the test's main thread only.

#include <QByteArray>
#include <QString>

#include <memory>

class HungVolume {
 public:
  // Stat: looking up a name and reading the attributes (of the root too);
  // List: opening and reading a folder.
  enum class Call { Stat, Open, Read, List, StatFs };

  HungVolume();   // nothing mounted yet
  ~HungVolume();  // ends every held call with an error, unmounts, stops serving; not copied

  // First thing in a test program's main, before any thread exists: puts the
  // process in a mount namespace of its own, so that no volume outlives it;
  // where that fails, mount() says so. Without it, volumes join the caller's mounts.
  static void keepMountsInThisProcess();

  // Before mount(). Paths are relative to the volume's root ("a/b"); the folders above are made too.
  void addFile(const QString& path, const QByteArray& bytes);

  // False, with whyNot(), when it cannot be mounted. The serving process is
  // killed when the thread that started it ends.
  bool mount(const QString& mountPoint);
  QString whyNot() const;

  // Once mounted, holds this kind of call for the path ("." is the root), or for every path.
  void hold(Call call, const QString& path = {});
  // Lets the calls that hold kept (waiting and later) through; without a
  // path, every hold of the kind ends.
  void release(Call call, const QString& path = {});
  int waiting(Call call) const;  // calls of this kind held right now

 private:
  struct Served;
  std::unique_ptr<Served> served_;
};
