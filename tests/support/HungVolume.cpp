// The volume is served by a process of its own rather than by threads of the
// test's. A test process killed (by ctest's timeout, by Ctrl-C) while calls
// of its are held cannot end before they are answered: its threads wait in
// them beyond the reach of signals, and keep its open files with them, so
// threads of its own, dead by then, would leave it hanging for good. The
// server, tavlo_hung_volume, ends when the test process goes, however that
// goes: it is killed when the thread that started it ends, and it stops when
// its standard input ends, or when it finds the test process being killed
// while that thread waits in a held call; and it fails a call held for 30
// seconds. It is started as a program, not forked off the test process to go
// on serving: a fork of a process with threads, Qt's among them, may safely
// do little more than start a program.
#include "support/HungVolume.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

std::optional<std::string> noMountsOfItsOwn;  // why not, once asked for; empty when it has them

}  // namespace

struct HungVolume::Served {
  QTemporaryDir files;    // the files' bytes, for the server to read
  QStringList arguments;  // the files and folders, for the server
  QProcess server;
  QString whyNot;

  QByteArray answer() {
    while (!server.canReadLine() && server.waitForReadyRead(-1)) {}
    return server.readLine().trimmed();
  }

  // The number of calls of the kind that wait afterwards.
  int ask(const char* what, Call call, const QString& path) {
    server.write(QString("%1 %2 %3\n").arg(what, QString::number(static_cast<int>(call)), path).toLocal8Bit());
    return answer().toInt();
  }
};

HungVolume::HungVolume() : served_(std::make_unique<Served>()) {}

// Its input ended, the server fails the held calls, unmounts and ends; one
// that was killed leaves a mount with nobody behind it.
HungVolume::~HungVolume() {
  const QByteArray at = QFile::encodeName(served_->server.arguments().value(0));
  struct statfs found {};
  served_->server.closeWriteChannel();
  served_->server.waitForFinished(-1);
  if (::statfs(at.constData(), &found) != 0 && errno == ENOTCONN) ::umount2(at.constData(), MNT_DETACH);
}

void HungVolume::keepMountsInThisProcess() {
  const auto failed = [](const char* what) { noMountsOfItsOwn = std::string(what) + ": " + std::strerror(errno); };
  noMountsOfItsOwn = "";
  if (::geteuid() != 0)
    noMountsOfItsOwn = "it needs root";
  else if (::unshare(CLONE_NEWNS) != 0)
    failed("unshare");
  else if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    failed("making them private");
}

void HungVolume::addFile(const QString& path, const QByteArray& bytes) {
  QFile source(served_->files.filePath(QString::number(served_->arguments.size())));
  if (source.open(QIODevice::WriteOnly)) source.write(bytes);  // else the server says it is missing
  served_->arguments << "--file" << path + "=" + source.fileName();
}

bool HungVolume::mount(const QString& mountPoint) {
  Served& s = *served_;
  s.whyNot = s.server.state() != QProcess::NotRunning ? "it is mounted already"
             : noMountsOfItsOwn && !noMountsOfItsOwn->empty()
                 ? QString::fromStdString("this process has no mounts of its own: " + *noMountsOfItsOwn)
                 : QString();
  if (!s.whyNot.isEmpty()) return false;
  s.server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  s.server.start(QFileInfo(QFile::symLinkTarget("/proc/self/exe")).dir().filePath("tavlo_hung_volume"),
                 QStringList{mountPoint, "--asked-on-stdin"} + s.arguments);
  const QByteArray mounted = s.answer();
  s.whyNot = mounted == "mounted" ? QString()
             : mounted.isEmpty()  ? s.server.program() + " did not serve: " + s.server.errorString()
                                  : QString::fromLocal8Bit(mounted);
  return s.whyNot.isEmpty();
}

QString HungVolume::whyNot() const { return served_->whyNot; }

void HungVolume::hold(Call call, const QString& path) { served_->ask("hold", call, path); }

void HungVolume::release(Call call, const QString& path) { served_->ask("release", call, path); }

int HungVolume::waiting(Call call) const { return served_->ask("waiting", call, {}); }
