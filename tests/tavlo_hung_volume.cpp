// Mounts a hung volume where the caller's mounts are, to run the program
// against it by hand or from a benchmark:
//   tavlo_hung_volume MOUNTPOINT [--hold stat,open,read,list,statfs]
//                     [--file NAME=SOURCEFILE]... [--folder NAME]...
// The held kinds of call are held for every path. Prints "mounted" once it
// serves, and serves until SIGINT or SIGTERM; then held calls fail, and it
// unmounts.
#include "support/HungVolume.h"

#include <QFile>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char** argv) {
  // Blocked in every thread, the serving ones included, and taken by sigwait.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  const QStringList kinds = {"stat", "open", "read", "list", "statfs"};  // in the order of HungVolume::Call
  HungVolume volume;
  QString mountPoint, wrong;
  for (int i = 1; i < argc && wrong.isEmpty(); ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
    if (argument == "--hold" && !value.isEmpty()) {
      for (const QString& kind : value.split(',')) {
        if (kinds.contains(kind))
          volume.hold(static_cast<HungVolume::Call>(kinds.indexOf(kind)));
        else
          wrong = "no such call: " + kind;
      }
    } else if (argument == "--file" && value.contains('=')) {
      QFile source(value.section('=', 1));
      if (source.open(QIODevice::ReadOnly))
        volume.addFile(value.section('=', 0, 0), source.readAll());
      else
        wrong = source.fileName() + ": " + source.errorString();
    } else if (argument == "--folder" && !value.isEmpty()) {
      volume.addFolder(value);
    } else if (mountPoint.isEmpty() && !argument.startsWith('-')) {
      mountPoint = argument;
      continue;
    } else {
      wrong = "unexpected " + argument;
    }
    ++i;
  }
  if (mountPoint.isEmpty() || !wrong.isEmpty()) {
    std::fprintf(stderr,
                 "%s\nusage: tavlo_hung_volume MOUNTPOINT [--hold stat,open,read,list,statfs] "
                 "[--file NAME=SOURCEFILE]... [--folder NAME]...\n",
                 qPrintable(wrong.isEmpty() ? "no mount point" : wrong));
    return 2;
  }
  if (!volume.mount(mountPoint)) {
    std::fprintf(stderr, "tavlo_hung_volume: %s\n", qPrintable(volume.whyNot()));
    return 1;
  }
  std::puts("mounted");
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  return 0;
}
