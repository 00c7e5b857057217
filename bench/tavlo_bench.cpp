// How fast and how live the browser is on big pictures, bursts of keys and
// big folders, measured end to end through the real window, each against a
// reference measured in the same run, round by round.
//   make bench                      (TAVLO_BENCH_ROUNDS=5 rounds by default)
//
// The photos are photograph-like: ImageMagick's plasma fractal, tiled up to
// 24 and 100 megapixels and saved at quality 90 (baseline and progressive),
// made once into the build's bench-pictures folder. The JPEG references are
// libjpeg-turbo's djpeg on the same files; the folder reference is a bare
// readdir, pattern match and sort in C++ of the same folder.
#include "browser/FORM_Tavlo.h"
#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/Screen.h"
#include "platform/forms/FileListBox.h"
#include "platform/forms/ImageControl.h"
#include "platform/pictures/DecoderWorkers.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/RasterDecoding.h"
#include "startup/MODULE_Public.h"
#include "support/ColourChart.h"
#include "support/DngFile.h"
#include "viewer/FORM_MiniTavlo.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <dirent.h>
#include <sched.h>
#include <strings.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using platform::DefaultInstance;

// ---------------------------------------------------------------- pictures

QString picturesFolder() { return QStringLiteral(TAVLO_BENCH_PICTURES); }

// A 1500 by 1000 plasma fractal, tiled (mirrored, so without seams) to the size.
QImage plasma(int width, int height) {
  const QString tile = picturesFolder() + QStringLiteral("/plasma-tile.png");
  if (!QFile::exists(tile)) {
    QDir().mkpath(picturesFolder());
    QProcess::execute(QStringLiteral("convert"),
                      {QStringLiteral("-size"), QStringLiteral("1500x1000"), QStringLiteral("-seed"),
                       QStringLiteral("7"), QStringLiteral("plasma:fractal"), tile});
  }
  const QImage piece(tile);
  if (piece.isNull()) qFatal("no plasma tile: is ImageMagick's convert installed?");
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  const QImage pieces[2][2] = {{piece, piece.mirrored(true, false)},
                               {piece.mirrored(false, true), piece.mirrored(true, true)}};
  for (int y = 0, row = 0; y < height; y += piece.height(), ++row)
    for (int x = 0, column = 0; x < width; x += piece.width(), ++column)
      painter.drawImage(x, y, pieces[row % 2][column % 2]);
  return image;
}

// With the colour profile of the colour space embedded, unless it is sRGB.
QString photo(int width, int height, bool progressive = false,
              QColorSpace::NamedColorSpace colours = QColorSpace::SRgb) {
  const QString path =
      picturesFolder() + QStringLiteral("/plasma-%1x%2%3%4.jpg")
                             .arg(width)
                             .arg(height)
                             .arg(progressive ? QStringLiteral("-progressive") : QString())
                             .arg(colours == QColorSpace::SRgb ? QString() : QStringLiteral("-tagged"));
  if (!QFile::exists(path)) {
    QImageWriter writer(path, "JPEG");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    QImage image = plasma(width, height);
    if (colours != QColorSpace::SRgb) image.setColorSpace(colours);
    writer.write(image);
  }
  return path;
}

// Phone, web and camera pictures of the plasma, made by Debian's encoders:
// a 12 MP HEIC with its own 320 by 240 thumbnail and one without, a 24 MP
// JPEG XL, and a 24 MP DNG with a 1620 by 1080 embedded JPEG.
QString newerPicture(const QString& name) {
  const QString path = picturesFolder() + QLatin1Char('/') + name;
  if (QFile::exists(path)) return path;
  const bool heic = name.endsWith(QStringLiteral(".heic"));
  const QSize size = heic ? QSize(4032, 3024) : QSize(6000, 4000);
  const QImage image = plasma(size.width(), size.height());
  if (name.endsWith(QStringLiteral(".dng"))) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
      file.write(dngFile(image, image.scaled(1620, 1080, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return path;
  }
  const QString png = picturesFolder() + QStringLiteral("/plasma-%1x%2.png").arg(size.width()).arg(size.height());
  if (!QFile::exists(png)) image.save(png);
  if (heic) {
    QStringList options{QStringLiteral("-q"), QStringLiteral("80")};
    if (name.contains(QStringLiteral("thumb"))) options << QStringLiteral("-t") << QStringLiteral("320");
    QProcess::execute(QStringLiteral("heif-enc"), options << QStringLiteral("-o") << path << png);
  } else {
    QProcess::execute(QStringLiteral("cjxl"), {png, path, QStringLiteral("-d"), QStringLiteral("1")});
  }
  if (!QFile::exists(path)) qFatal("no %s: are heif-enc and cjxl installed?", qPrintable(name));
  return path;
}

// A valid EMF of 4.8 MB: 200,000 ellipses over a 1024 by 768 drawing.
QByteArray ellipses(int count) {
  QByteArray bytes;
  const auto put = [&bytes](std::uint32_t value) { bytes.append(reinterpret_cast<const char*>(&value), 4); };
  const std::uint32_t total = 88 + 24 * static_cast<std::uint32_t>(count) + 20;
  for (std::uint32_t value : {1u,  88u,    0u,     0u,          1023u,    767u,  0u,
                              0u,  32000u, 24000u, 0x464D4520u, 0x10000u, total, static_cast<std::uint32_t>(count) + 2,
                              1u,  0u,     0u,     0u,          1024u,    768u,  320u,
                              240u})
    put(value);
  for (int i = 0; i < count; ++i) {
    const auto x = static_cast<std::uint32_t>(i * 37 % 1000), y = static_cast<std::uint32_t>(i * 53 % 740);
    for (std::uint32_t value : {42u, 24u, x, y, x + 24, y + 24}) put(value);
  }
  for (std::uint32_t value : {14u, 20u, 0u, 16u, 20u}) put(value);
  return bytes;
}

QTemporaryDir& scratch() {
  static QTemporaryDir dir;
  return dir;
}

// The folder the browser opens in.
QString photosFolder() {
  const QString folder = scratch().filePath(QStringLiteral("photos"));
  if (QDir(folder).exists()) return folder;
  QDir().mkpath(folder);
  const auto linkAs = [&](const QString& source, const QString& name) {
    ::link(QFile::encodeName(source).constData(), QFile::encodeName(folder + QLatin1Char('/') + name).constData());
  };
  linkAs(photo(6000, 4000), QStringLiteral("a24.jpg"));
  linkAs(photo(11600, 8700), QStringLiteral("a100.jpg"));
  linkAs(photo(6000, 4000, true), QStringLiteral("a24-progressive.jpg"));
  linkAs(photo(6000, 4000, false, QColorSpace::AdobeRgb), QStringLiteral("a24-adobe.jpg"));
  // Thirty large photos to hold Down over.
  for (int i = 0; i < 30; ++i) linkAs(photo(6000, 4000), QStringLiteral("burst%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
  for (int i = 0; i < 30; ++i)
    linkAs(photo(6000, 4000, true), QStringLiteral("cburst%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
  // Thirty more, each a file of its own (previews fetched ahead are kept by
  // file), last in the list, to pause over.
  for (int i = 0; i < 30; ++i)
    QFile::copy(photo(6000, 4000), folder + QStringLiteral("/zz-pause-%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
  for (const char* name : {"n12-thumb.heic", "n12.heic", "n24.jxl", "n24.dng"})
    linkAs(newerPicture(QString::fromLatin1(name)), QString::fromLatin1(name));
  QImage small(640, 480, QImage::Format_RGB32);
  small.fill(Qt::darkCyan);
  small.save(folder + QStringLiteral("/b-small.jpg"));
  QFile emf(folder + QStringLiteral("/a-ellipses.emf"));
  if (emf.open(QIODevice::WriteOnly)) emf.write(ellipses(200'000));
  return folder;
}

// A folder of 100,000 empty files, all matching the filter.
QString bigFolder() {
  const QString folder = scratch().filePath(QStringLiteral("many"));
  if (QDir(folder).exists()) return folder;
  QDir().mkpath(folder);
  for (int i = 0; i < 100'000; ++i)
    QFile(folder + QStringLiteral("/file%1.jpg").arg(i * 7919 % 100'000, 6, 10, QLatin1Char('0')))
        .open(QIODevice::WriteOnly);
  return folder;
}

// ---------------------------------------------------------------- volumes that do not answer

// Two FUSE volumes served by tavlo_hung_volume (built beside this program),
// mounted before the browser window is built so that its volume list has
// them: on "all" every call hangs; on "files" folders list but opening or
// reading a file hangs, so that a file on it can be clicked. They live in
// mounts of this process's own and their servers end with it.
struct StuckVolumes {
  QString all, files;  // mount paths; empty when not mounted
  QString whyNot;
  std::vector<std::unique_ptr<QProcess>> servers;
};
StuckVolumes& stuckVolumes() {
  static StuckVolumes volumes;
  return volumes;
}

// First thing in main, before any thread: the volumes go with this process.
bool keepMountsInThisProcess() {
  return ::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

QString mountStuck(const QString& name, const QString& held) {
  StuckVolumes& volumes = stuckVolumes();
  const QString mountPoint = scratch().filePath(name);
  QDir().mkpath(mountPoint);
  auto server = std::make_unique<QProcess>();
  server->setProcessChannelMode(QProcess::MergedChannels);
  server->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
  server->start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavlo_hung_volume"),
                {mountPoint, QStringLiteral("--hold"), held, QStringLiteral("--file"),
                 QStringLiteral("pictures/photo.jpg=") + photo(6000, 4000)});
  QByteArray said;
  QElapsedTimer waited;
  waited.start();
  while (!said.contains("mounted\n") && server->state() != QProcess::NotRunning && waited.elapsed() < 10'000) {
    server->waitForReadyRead(100);
    said += server->readAll();
  }
  if (!said.contains("mounted\n")) {
    volumes.whyNot = QString::fromLocal8Bit(said).trimmed();
    if (volumes.whyNot.isEmpty()) volumes.whyNot = server->errorString();
    return {};
  }
  volumes.servers.push_back(std::move(server));
  return mountPoint;
}

void mountStuckVolumes(bool ownMounts) {
  StuckVolumes& volumes = stuckVolumes();
  if (!ownMounts) {
    volumes.whyNot = QStringLiteral("mounting needs root and mounts of this process's own");
    return;
  }
  if (!QFile::exists(QStringLiteral("/dev/fuse"))) {
    volumes.whyNot = QStringLiteral("there is no /dev/fuse");
    return;
  }
  volumes.all = mountStuck(QStringLiteral("stuck-all"), QStringLiteral("stat,open,read,list,statfs"));
  if (!volumes.all.isEmpty()) volumes.files = mountStuck(QStringLiteral("stuck-files"), QStringLiteral("open,read"));
  if (volumes.files.isEmpty()) volumes.all.clear();
}

// Their held calls fail, and they unmount.
void endStuckVolumes() {
  for (const auto& server : stuckVolumes().servers) {
    server->terminate();
    if (!server->waitForFinished(10'000)) server->kill();
  }
  stuckVolumes().servers.clear();
}

// Threads of this process waiting in a call to a FUSE volume.
int threadsInVolumeCalls() {
  int waiting = 0;
  for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile where(QStringLiteral("/proc/self/task/%1/wchan").arg(task));
    if (where.open(QIODevice::ReadOnly) && where.readAll().contains("request_wait_answer")) ++waiting;
  }
  return waiting;
}

// ---------------------------------------------------------------- measuring

double seconds(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e9; }

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int rounds() {
  const int asked = qEnvironmentVariableIntValue("TAVLO_BENCH_ROUNDS");
  return asked > 0 ? asked : 5;
}

// Memory from the system's own count, in megabytes: resident now, and the
// peak since the last reset.
double statusMegabytes(const char* field, const QString& process = QStringLiteral("self")) {
  QFile status(QStringLiteral("/proc/%1/status").arg(process));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(field))
      return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').front().toDouble() / 1024;
  return 0;
}
double residentMegabytes() { return statusMegabytes("VmRSS:"); }
double peakMegabytes() { return statusMegabytes("VmHWM:"); }
// The decoder workers of this process.
QStringList decoderWorkers() {
  QStringList workers;
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray fields = stat.readAll();
    const QList<QByteArray> after = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
    if (after.size() > 1 && after[1].toLongLong() == QCoreApplication::applicationPid() &&
        QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget().endsWith(QStringLiteral("tavlo-decoder")))
      workers.append(pid);
  }
  return workers;
}

void resetPeak() {
  QStringList processes = decoderWorkers();
  processes.append(QStringLiteral("self"));
  for (const QString& process : processes) {
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(process));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
  }
}

// The largest peak of the decoder workers since the last reset.
double workersPeakMegabytes() {
  double peak = 0;
  for (const QString& worker : decoderWorkers()) peak = std::max(peak, statusMegabytes("VmHWM:", worker));
  return peak;
}

// The longest time the event loop did not run while armed: a timer asks to
// run every millisecond and notes the gaps between its runs.
class LoopProbe {
 public:
  LoopProbe() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      longest_ = std::max(longest_, now - last_);
      last_ = now;
    });
  }
  void arm() {
    clock_.start();
    last_ = 0;
    longest_ = 0;
    timer_.start();
  }
  // The longest gap, in seconds, up to now.
  double disarm() {
    longest_ = std::max(longest_, clock_.nsecsElapsed() - last_);
    timer_.stop();
    return static_cast<double>(longest_) / 1e9;
  }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0, longest_ = 0;
};

double run(const QString& program, const QStringList& arguments) {
  QElapsedTimer timer;
  timer.start();
  QProcess process;
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(program, arguments);
  process.waitForFinished(-1);
  return seconds(timer);
}

double djpeg(const QString& path, bool eighth = false) {
  QStringList arguments;
  if (eighth) arguments << QStringLiteral("-scale") << QStringLiteral("1/8");
  return run(QStringLiteral("djpeg"), arguments << QStringLiteral("-outfile") << QStringLiteral("/dev/null") << path);
}

// A bare listing: readdir, the filter's patterns as name endings, sort.
std::size_t bareListing(const QString& folder) {
  std::vector<std::string> names;
  DIR* entries = ::opendir(QFile::encodeName(folder).constData());
  while (const dirent* entry = ::readdir(entries)) {
    const std::size_t length = std::strlen(entry->d_name);
    const auto endsWith = [&](const char* ending) {
      return length >= 4 && ::strcasecmp(entry->d_name + length - 4, ending) == 0;
    };
    if (entry->d_type == DT_REG && (endsWith(".jpg") || endsWith(".gif") || endsWith(".bmp")))
      names.emplace_back(entry->d_name);
  }
  ::closedir(entries);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return ::strcasecmp(a.c_str(), b.c_str()) < 0; });
  return names.size();
}

// ---------------------------------------------------------------- the browser

// When the preview image last painted, and what it held then.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* widget, const platform::ImageControl& image) : image_(image) {
    widget->installEventFilter(this);
  }
  std::uint64_t painted = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = image_.picture().handle();
    return QObject::eventFilter(watched, event);
  }

 private:
  const platform::ImageControl& image_;
};

class Browser {
 public:
  Browser() : browser_(open()), previewPaints_(browser_.IMAGE_Preview.widget(), browser_.IMAGE_Preview) {}

  FORM_Tavlo& window() { return browser_; }
  LoopProbe& probe() { return probe_; }

  // Until it comes; a bench that would wait for ever (a picture that never
  // shows) ends with a message instead.
  void waitUntil(const std::function<bool()>& done) {
    if (waitUntil(done, 60'000)) return;
    std::fprintf(stderr, "Waited a minute for what never came; ending the bench.\n");
    std::exit(1);
  }
  // The same, given up after the milliseconds: whether it came.
  bool waitUntil(const std::function<bool()>& done, qint64 milliseconds) {
    QElapsedTimer waited;
    waited.start();
    QTimer wake;  // the loop looks again at least this often
    wake.start(10);
    while (!done()) {
      if (waited.elapsed() >= milliseconds) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
  }
  // Until what was started in the background has come back, and painted.
  void settle() {
    waitUntil([] { return platform::pendingContinuations() == 0; });
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }

  // A left click on the row, as the user gives it.
  void click(const QString& name) {
    QListView* list = browser_.File1.listWidget();
    int row = 0;
    while (row < browser_.File1.listCount() && browser_.File1.list(row) != name) ++row;
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    const QPointF at = list->visualRect(index).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
      QCoreApplication::postEvent(
          list->viewport(),
          new QMouseEvent(type, at, list->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
  }

  void pressDown() {
    QListView* list = browser_.File1.listWidget();
    QCoreApplication::postEvent(list, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, {}, true));
    QCoreApplication::postEvent(list, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, {}, true));
  }

  // Whether the row's picture is previewed and painted, and the pointer back.
  bool shows(const QString& name) {
    const std::uint64_t shown = browser_.IMAGE_Preview.picture().handle();
    return browser_.File1.listIndex() >= 0 && browser_.File1.list(browser_.File1.listIndex()) == name && shown != 0 &&
           previewPaints_.painted == shown && browser_.IMAGE_Preview.visible() &&
           platform::Screen::mousePointer() == platform::Screen::DefaultPointer;
  }

  // Clicks the row and waits until its picture is painted; the seconds taken.
  double preview(const QString& name) {
    clear();
    QElapsedTimer timer;
    timer.start();
    click(name);
    waitUntil([&] { return shows(name); });
    return seconds(timer);
  }

  void clear() {
    browser_.File1.setListIndex(-1);
    browser_.ClearPreview();
    settle();
  }

  void enter(const QString& folder) {
    browser_.Dir1.setPath(folder);
    settle();
  }

  // The viewer opened on a photo of the folder until its picture shows, then
  // closed; the seconds until it showed.
  double openViewer(const QString& name) {
    clear();
    FORM_MiniTavlo& viewer = DefaultInstance<FORM_MiniTavlo>::get();
    QElapsedTimer timer;
    double shown = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (!viewer.isVisible() || viewer.isLoading()) return;
      shown = seconds(timer);
      viewer.unload();
    });
    // Looks every millisecond: a timer of no interval would keep the
    // window's thread busy, which no user's window is while it loads, and
    // take a core from the decoding.
    closer.start(1);
    MODULE_Public::ViewerFromBrowser = -1;
    viewer.PicturePath = photosFolder() + QLatin1Char('/') + name;
    timer.start();
    viewer.showForm(platform::Form::Modality::Modal);
    MODULE_Public::ViewerFromBrowser = 0;
    settle();
    return shown;
  }

 private:
  static FORM_Tavlo& open() {
    MODULE_Public::StartPath = photosFolder();
    MODULE_Public::FilterIndex = 6;  // every file
    // Previews are measured as the first look at a row; fetching the rows
    // around ahead is measured on its own (PausedDown).
    FORM_Tavlo::PrefetchPauseMilliseconds = std::nullopt;
    FORM_Tavlo& browser = DefaultInstance<FORM_Tavlo>::get();
    browser.showForm();
    return browser;
  }

  FORM_Tavlo& browser_;
  PaintWatch previewPaints_;
  LoopProbe probe_;
};

Browser& browser() {
  static Browser* opened = new Browser;
  return *opened;
}

// ---------------------------------------------------------------- the table

struct Row {
  std::string what, now, reference, ratio;
};
std::vector<Row>& table() {
  static std::vector<Row> rows;
  return rows;
}

std::string number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Click a photo until its preview is painted, against djpeg's full decode of
// the same file; with the longest time the window was frozen meanwhile.
void PreviewPhoto(benchmark::State& state) {
  const bool hundred = state.range(0) == 100;
  const bool progressive = state.range(1) != 0;
  const QString name = hundred       ? QStringLiteral("a100.jpg")
                       : progressive ? QStringLiteral("a24-progressive.jpg")
                                     : QStringLiteral("a24.jpg");
  const QString path = photosFolder() + QLatin1Char('/') + name;
  Browser& session = browser();
  std::vector<double> ours, inProcess, full, eighth, ratios;
  double frozen = 0;
  for (auto _ : state) {
    for (int round = 0; round < rounds(); ++round) {
      full.push_back(djpeg(path));
      eighth.push_back(djpeg(path, true));
      // As before the workers: decoded in this process.
      platform::DecoderWorkers::decodeInThisProcess(&platform::decodeRaster);
      inProcess.push_back(session.preview(name));
      platform::DecoderWorkers::decodeInThisProcess(nullptr);
      session.probe().arm();
      ours.push_back(session.preview(name));
      frozen = std::max(frozen, session.probe().disarm());
      ratios.push_back(ours.back() / full.back());
    }
  }
  state.counters["ours_s"] = median(ours);
  state.counters["djpeg_full_s"] = median(full);
  state.counters["djpeg_eighth_s"] = median(eighth);
  state.counters["ratio"] = median(ratios);
  state.counters["frozen_ms"] = frozen * 1000;
  const std::string label = hundred ? "100 MP JPEG" : progressive ? "24 MP progressive JPEG" : "24 MP baseline JPEG";
  table().push_back({"Click a " + label + ", until the preview is painted", number("%.3f s", median(ours)),
                     "djpeg full " + number("%.3f s", median(full)) + " (1/8: " +
                         number("%.2fx", median(eighth) / median(full)) + " of that; decoded in-process: " +
                         number("%.2fx", median(inProcess) / median(full)) + ")",
                     number("%.2fx", median(ratios))});
  table().push_back({"Window frozen during that preview (longest)", number("%.0f ms", frozen * 1000), "", ""});
}
BENCHMARK(PreviewPhoto)->Args({24, 0})->Args({100, 0})->Args({24, 1})->Iterations(1)->Unit(benchmark::kMillisecond);

// A 24 MP photo in Adobe RGB against the same photo without a profile: its
// preview, and the viewer opened on it until its picture shows.
void TaggedPhoto(benchmark::State& state) {
  Browser& session = browser();
  const auto viewerOpen = [&](const QString& name) { return session.openViewer(name); };
  std::vector<double> preview, plainPreview, opened, plainOpened, previewRatios, viewerRatios;
  for (auto _ : state) {
    for (int round = 0; round < rounds(); ++round) {
      plainPreview.push_back(session.preview(QStringLiteral("a24.jpg")));
      preview.push_back(session.preview(QStringLiteral("a24-adobe.jpg")));
      previewRatios.push_back(preview.back() / plainPreview.back());
      plainOpened.push_back(viewerOpen(QStringLiteral("a24.jpg")));
      opened.push_back(viewerOpen(QStringLiteral("a24-adobe.jpg")));
      viewerRatios.push_back(opened.back() / plainOpened.back());
    }
  }
  state.counters["preview_ratio"] = median(previewRatios);
  state.counters["viewer_ratio"] = median(viewerRatios);
  table().push_back({"Click a 24 MP JPEG in Adobe RGB, until the preview is painted", number("%.3f s", median(preview)),
                     "untagged " + number("%.3f s", median(plainPreview)), number("%.2fx", median(previewRatios))});
  table().push_back({"Open it in the viewer, until its picture shows", number("%.3f s", median(opened)),
                     "untagged " + number("%.3f s", median(plainOpened)), number("%.2fx", median(viewerRatios))});
}
BENCHMARK(TaggedPhoto)->Iterations(1)->Unit(benchmark::kMillisecond);

// The newer formats: each preview against the whole picture (the viewer
// opened on it) or the format's own decoder, in the same run.
void NewerFormats(benchmark::State& state) {
  Browser& session = browser();
  const auto decodedBy = [](const char* program, const QStringList& arguments) {
    return [=](const QString& path) { return run(QString::fromLatin1(program), QStringList{path} + arguments); };
  };
  const QString y4m = scratch().filePath(QStringLiteral("whole.y4m"));
  const struct {
    const char* name;
    const char* what;
    std::function<double(const QString&)> reference;  // none: the viewer's whole picture
    const char* referenceName;
  } files[] = {
      {"n12-thumb.heic", "12 MP HEIC with a thumbnail", nullptr, "whole picture (viewer)"},
      {"n12.heic", "12 MP HEIC without one", decodedBy("heif-convert", {y4m}), "heif-convert whole"},
      {"n24.jxl", "24 MP JPEG XL", decodedBy("djxl", {}), "djxl whole"},
      {"n24.dng", "24 MP DNG with a 1620 by 1080 JPEG", nullptr, "developed whole (viewer)"},
  };
  for (auto _ : state)
    for (const auto& file : files) {
      std::vector<double> previews, wholes, references, ratios, viewerRatios;
      const QString path = photosFolder() + QLatin1Char('/') + QString::fromLatin1(file.name);
      for (int round = 0; round < rounds(); ++round) {
        previews.push_back(session.preview(QString::fromLatin1(file.name)));
        wholes.push_back(session.openViewer(QString::fromLatin1(file.name)));
        references.push_back(file.reference ? file.reference(path) : wholes.back());
        ratios.push_back(previews.back() / references.back());
        viewerRatios.push_back(wholes.back() / references.back());
      }
      table().push_back({std::string("Click a ") + file.what + ", until the preview is painted",
                         number("%.3f s", median(previews)),
                         std::string(file.referenceName) + " " + number("%.3f s", median(references)),
                         number("%.2fx", median(ratios))});
      if (file.reference)
        table().push_back({"Open it in the viewer, until its picture shows", number("%.3f s", median(wholes)),
                           std::string(file.referenceName) + " " + number("%.3f s", median(references)),
                           number("%.2fx", median(viewerRatios))});
    }
}
BENCHMARK(NewerFormats)->Iterations(1)->Unit(benchmark::kMillisecond);

// The viewer opened on the 100 MP photo, decoded by a worker, against the
// same with the picture decoded in this process, as before the workers.
void ViewerOnTheLargestPhoto(benchmark::State& state) {
  Browser& session = browser();
  const QString name = QStringLiteral("a100.jpg");
  std::vector<double> worker, inProcess, ratios;
  for (auto _ : state) {
    for (int round = 0; round < rounds(); ++round) {
      platform::DecoderWorkers::decodeInThisProcess(&platform::decodeRaster);
      inProcess.push_back(session.openViewer(name));
      platform::DecoderWorkers::decodeInThisProcess(nullptr);
      worker.push_back(session.openViewer(name));
      ratios.push_back(worker.back() / inProcess.back());
    }
  }
  state.counters["ratio"] = median(ratios);
  table().push_back({"Open the viewer on a 100 MP JPEG, until its picture shows", number("%.3f s", median(worker)),
                     "decoded in-process " + number("%.3f s", median(inProcess)), number("%.2fx", median(ratios))});
}
BENCHMARK(ViewerOnTheLargestPhoto)->Iterations(1)->Unit(benchmark::kMillisecond);

// Down after a pause of 300 ms, over 30 large photos: how often the next
// preview is painted within 16 ms (a frame), the rows around having been
// fetched ahead during the pause; and what that keeps in memory.
void PausedDown(benchmark::State& state) {
  Browser& session = browser();
  FORM_Tavlo::PrefetchPauseMilliseconds = 100;
  std::vector<double> steps;
  double grown = 0;
  for (auto _ : state) {
    session.preview(QStringLiteral("zz-pause-00.jpg"));
    const double before = residentMegabytes();
    for (int photo = 1; photo < 30; ++photo) {
      const QString next = QStringLiteral("zz-pause-%1.jpg").arg(photo, 2, 10, QLatin1Char('0'));
      session.waitUntil([] { return false; }, 300);
      QElapsedTimer timer;
      timer.start();
      session.pressDown();
      session.waitUntil([&] { return session.shows(next); });
      steps.push_back(seconds(timer));
    }
    session.waitUntil([] { return false; }, 300);
    grown = residentMegabytes() - before;
  }
  FORM_Tavlo::PrefetchPauseMilliseconds = std::nullopt;
  session.clear();
  const auto withinFrame = std::count_if(steps.begin(), steps.end(), [](double s) { return s <= 0.016; });
  const double share = 100.0 * static_cast<double>(withinFrame) / static_cast<double>(steps.size());
  std::sort(steps.begin(), steps.end());
  state.counters["within_16ms_percent"] = share;
  state.counters["memory_grown_MB"] = grown;
  table().push_back({"Down after a 300 ms pause over 30 large photos, next preview painted within 16 ms",
                     number("%.0f%% of steps", share) + number(" (median %.1f ms", median(steps) * 1000) +
                         number(", slowest %.1f ms)", steps.back() * 1000),
                     "goal 95%", ""});
  table().push_back({"Memory grown meanwhile (previews fetched ahead)", number("%+.1f MB", grown), "goal 2 MB", ""});
}
// Registered last: the previews it fetches ahead stay for a while.

// How far the chart saved in each colour space strays, in the preview and
// in the whole picture, from what lcms2 itself makes of the same file:
// CIEDE2000 over the patch centres, mean and largest.
void ColourAccuracy(benchmark::State& state) {
  using namespace colour_chart;
  const auto srgb = profileFrom({});
  const std::shared_ptr<void> lab(cmsCreateLab4Profile(nullptr), cmsCloseProfile);
  const std::shared_ptr<void> toLab(cmsCreateTransform(srgb.get(), TYPE_RGB_8, lab.get(), TYPE_Lab_DBL,
                                                       INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE),
                                    cmsDeleteTransform);
  const auto labOf = [&](int r, int g, int b) {
    const std::uint8_t rgb[3] = {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)};
    cmsCIELab value{};
    cmsDoTransform(toLab.get(), rgb, &value, 1);
    return value;
  };
  const QSize box(Side * static_cast<int>(Patches.size()) / 8, Side / 8);
  for (auto _ : state) {
    for (const TaggedChart& chart : taggedCharts()) {
      const QString path = scratch().filePath(QString::fromLatin1(chart.name));
      QFile file(path);
      if (!file.open(QIODevice::WriteOnly) || file.write(chart.file) != chart.file.size())
        qFatal("cannot write %s", chart.name);
      file.close();
      const std::vector<int> expected = chart.expected();
      const platform::Picture whole = platform::Picture::load(path),
                              preview = platform::Picture::loadFitting(path, box);
      preview.prepareDrawing(box);
      QImage shown(box, QImage::Format_RGB32);
      QPainter painter(&shown);
      preview.draw(painter, QRect(QPoint(0, 0), box), QRect(QPoint(0, 0), box));
      painter.end();
      std::string result;
      for (const QImage& pixels : {shown, whole.image()}) {
        double sum = 0, largest = 0;
        const int patch = pixels.width() / static_cast<int>(Patches.size());
        for (size_t p = 0; p < Patches.size(); ++p) {
          const QRgb got = pixels.pixel(static_cast<int>(p) * patch + patch / 2, pixels.height() / 2);
          cmsCIELab ours = labOf(qRed(got), qGreen(got), qBlue(got));
          cmsCIELab theirs = labOf(expected[p * 3], expected[p * 3 + 1], expected[p * 3 + 2]);
          const double difference = cmsCIE2000DeltaE(&ours, &theirs, 1, 1, 1);
          sum += difference;
          largest = std::max(largest, difference);
        }
        result += (result.empty() ? "preview " : ", viewer ") +
                  number("%.2f", sum / static_cast<double>(Patches.size())) + number(" / %.2f", largest);
      }
      table().push_back({std::string("Colour of ") + chart.name + ", mean / max CIEDE2000", result, "lcms2", ""});
    }
  }
}
BENCHMARK(ColourAccuracy)->Iterations(1)->Unit(benchmark::kMillisecond);

// Memory kept after previewing the 100 MP photo, and the peak of "Full Size"
// after it against the viewer alone on the same photo.
void MemoryOfTheLargestPhoto(benchmark::State& state) {
  Browser& session = browser();
  FORM_Tavlo& window = session.window();
  const QString name = QStringLiteral("a100.jpg");
  // Closes the viewer once it shows.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (DefaultInstance<FORM_MiniTavlo>::exists() && DefaultInstance<FORM_MiniTavlo>::get().isVisible())
      DefaultInstance<FORM_MiniTavlo>::get().unload();
  });
  closer.start(1);
  double kept = 0, previewPeak = 0, fullSizePeak = 0, viewerPeak = 0, workerPeak = 0;
  for (auto _ : state) {
    session.clear();
    const double idle = residentMegabytes();
    resetPeak();
    session.preview(name);
    session.settle();
    kept = residentMegabytes() - idle;
    previewPeak = peakMegabytes() - idle;

    resetPeak();
    window.ShowFullSize();
    session.settle();
    fullSizePeak = peakMegabytes() - idle;
    workerPeak = workersPeakMegabytes();

    // The viewer alone: the row chosen, nothing previewed.
    session.clear();
    const double idleAgain = residentMegabytes();
    int row = 0;
    while (window.File1.list(row) != name) ++row;
    window.File1.setListIndex(row);
    window.ClearPreview();
    session.settle();
    resetPeak();
    MODULE_Public::ViewerFromBrowser = -1;
    DefaultInstance<FORM_MiniTavlo>::get().PicturePath = MODULE_Public::CurrentPath + name;
    DefaultInstance<FORM_MiniTavlo>::get().showForm(platform::Form::Modality::Modal);
    MODULE_Public::ViewerFromBrowser = 0;
    session.settle();
    viewerPeak = peakMegabytes() - idleAgain;
  }
  state.counters["kept_MB"] = kept;
  state.counters["preview_peak_MB"] = previewPeak;
  state.counters["full_size_peak_MB"] = fullSizePeak;
  state.counters["viewer_alone_peak_MB"] = viewerPeak;
  table().push_back({"Memory kept after previewing a 100 MP photo (peak during it)",
                     number("+%.0f MB", kept) + number(" (peak +%.0f MB)", previewPeak), "", ""});
  table().push_back({"\"Full Size\" after that preview, peak", number("+%.0f MB", fullSizePeak),
                     "viewer alone " + number("+%.0f MB", viewerPeak),
                     viewerPeak >= 1 ? number("%.2fx", fullSizePeak / viewerPeak) : std::string()});
  // The whole picture is 11600 x 8700 pixels of 4 bytes: 385 MB.
  const double decoded = 11600.0 * 8700 * 4 / (1 << 20);
  table().push_back({"Its decoder worker's peak meanwhile", number("%.0f MB", workerPeak),
                     number("decoded picture %.0f MB", decoded), number("%.2fx", workerPeak / decoded)});
}
BENCHMARK(MemoryOfTheLargestPhoto)->Iterations(1)->Unit(benchmark::kMillisecond);

// Down held for a second (30 keys) over 30 large photos, until the last is
// painted, against a second of keys plus one djpeg full decode (what a
// viewer that skips queued keys spends).
void HoldDown(benchmark::State& state) {
  Browser& session = browser();
  const QString prefix = state.range(0) ? QStringLiteral("cburst") : QStringLiteral("burst");
  const QString first = prefix + QStringLiteral("00.jpg"), last = prefix + QStringLiteral("29.jpg");
  const QString path = photosFolder() + QLatin1Char('/') + last;
  std::vector<double> busy, references, ratios;
  double frozen = 0;
  for (auto _ : state) {
    for (int round = 0; round < rounds(); ++round) {
      const double keys = 1.0, decode = djpeg(path);
      session.preview(first);
      QTimer repeat;
      int pressed = 0;
      QObject::connect(&repeat, &QTimer::timeout, [&] {
        if (++pressed >= 29) repeat.stop();
        session.pressDown();
      });
      QElapsedTimer timer;
      session.probe().arm();
      timer.start();
      repeat.start(static_cast<int>(keys * 1000 / 30));
      session.waitUntil([&] { return pressed >= 29 && session.shows(last); });
      busy.push_back(seconds(timer));
      frozen = std::max(frozen, session.probe().disarm());
      references.push_back(keys + decode);
      ratios.push_back(busy.back() / references.back());
    }
  }
  state.counters["busy_s"] = median(busy);
  state.counters["reference_s"] = median(references);
  state.counters["ratio"] = median(ratios);
  state.counters["frozen_ms"] = frozen * 1000;
  table().push_back(
      {std::string("Hold Down over 30 large ") + (state.range(0) ? "progressive " : "") + "photos (1 s of key repeat)",
       "busy " + number("%.2f s", median(busy)) + ", frozen " + number("%.0f ms", frozen * 1000),
       "1 s + djpeg full " + number("%.2f s", median(references)), number("%.2fx", median(ratios))});
}
BENCHMARK(HoldDown)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// A valid 4.8 MB EMF of 200,000 ellipses: the window stays live, the pointer
// busy, and a click on another file wins.
void HeavyMetafile(benchmark::State& state) {
  Browser& session = browser();
  double frozen = 0, nextClick = 0;
  bool busyPointer = false;
  for (auto _ : state) {
    session.clear();
    session.probe().arm();
    session.click(QStringLiteral("a-ellipses.emf"));
    // Half a second later, while the metafile is still being converted, the
    // user clicks another file.
    QElapsedTimer timer;
    QTimer::singleShot(500, [&] {
      busyPointer = platform::Screen::mousePointer() == platform::Screen::Hourglass;
      timer.start();
      session.click(QStringLiteral("b-small.jpg"));
    });
    session.waitUntil([&] { return timer.isValid() && session.shows(QStringLiteral("b-small.jpg")); });
    nextClick = seconds(timer);
    frozen = session.probe().disarm();
    session.settle();
  }
  state.counters["frozen_ms"] = frozen * 1000;
  state.counters["next_click_s"] = nextClick;
  table().push_back({"A valid 4.8 MB EMF with 200,000 ellipses",
                     "longest block " + number("%.0f ms", frozen * 1000) + (busyPointer ? ", busy pointer" : "") +
                         ", next click painted after " + number("%.3f s", nextClick),
                     "", ""});
}
BENCHMARK(HeavyMetafile)->Iterations(1)->Unit(benchmark::kMillisecond);

// Entering a folder of 100,000 files until its list is filled and painted,
// against a bare readdir, match and sort in C++ of the same folder.
void EnterBigFolder(benchmark::State& state) {
  Browser& session = browser();
  FORM_Tavlo& window = session.window();
  const QString folder = bigFolder();
  std::vector<double> ours, bare, ratios;
  double frozen = 0;
  for (auto _ : state) {
    for (int round = 0; round < rounds(); ++round) {
      session.enter(photosFolder());
      QElapsedTimer timer;
      timer.start();
      benchmark::DoNotOptimize(bareListing(folder));
      bare.push_back(seconds(timer));

      session.probe().arm();
      timer.restart();
      window.Dir1.setPath(folder);  // as a double-click on it does
      session.waitUntil([&] { return window.File1.listCount() == 100'000; });
      QCoreApplication::processEvents();  // the list painted
      ours.push_back(seconds(timer));
      frozen = std::max(frozen, session.probe().disarm());
      ratios.push_back(ours.back() / bare.back());
    }
  }
  session.enter(photosFolder());
  state.counters["ours_s"] = median(ours);
  state.counters["bare_s"] = median(bare);
  state.counters["ratio"] = median(ratios);
  state.counters["frozen_ms"] = frozen * 1000;
  table().push_back({"Enter a folder of 100,000 files",
                     number("%.3f s", median(ours)) + ", longest block " + number("%.0f ms", frozen * 1000),
                     "readdir + match + sort in C++ " + number("%.3f s", median(bare)),
                     number("%.2fx", median(ratios))});
}
BENCHMARK(EnterBigFolder)->Iterations(1)->Unit(benchmark::kMillisecond);

// A volume that does not answer, used as the user would: enter a folder on
// it, click a file on one whose files hang, choose it as the drive, then go
// back to the local volume and folder and click a photo there. The longest
// time the window's thread did not run throughout, and the local photo's
// click until painted against the same click with nothing stuck.
void VolumeThatDoesNotAnswer(benchmark::State& state) {
  const StuckVolumes& stuck = stuckVolumes();
  if (stuck.all.isEmpty()) {
    table().push_back({"A volume that does not answer", "skipped: " + stuck.whyNot.toStdString(), "", ""});
    state.SkipWithError(("skipped: " + stuck.whyNot).toLocal8Bit().constData());
    return;
  }
  Browser& session = browser();
  FORM_Tavlo& window = session.window();
  const QString local = photosFolder(), name = QStringLiteral("a24.jpg");
  const auto pause = [&](int milliseconds) { session.waitUntil([] { return false; }, milliseconds); };
  std::vector<double> alone, previewed;
  double frozen = 0;
  int waiting = 0;
  std::string failed;
  for (auto _ : state) {
    session.enter(local);
    for (int round = 0; round < rounds(); ++round) alone.push_back(session.preview(name));
    session.clear();

    session.probe().arm();
    window.Dir1.setPath(stuck.all + QStringLiteral("/pictures"));  // as a double-click on it does
    pause(1000);
    window.Dir1.setPath(stuck.files + QStringLiteral("/pictures"));
    if (!session.waitUntil([&] { return window.File1.listCount() == 1; }, 10'000))
      failed = "the answering folder was not listed";
    session.click(QStringLiteral("photo.jpg"));
    pause(1000);
    window.Drive1.setDrive(stuck.all);  // as choosing it in the list does
    pause(1000);
    waiting = threadsInVolumeCalls();
    window.Drive1.setDrive(local);
    window.Dir1.setPath(local);
    if (!session.waitUntil([&] { return window.File1.path() == local && window.File1.listCount() > 60; }, 10'000))
      failed = "the local folder was not listed";
    // The first click right away, the others after the pane is cleared,
    // all with the calls still stuck (the settling clear() does would wait
    // for them).
    for (int round = 0; round < rounds() && failed.empty(); ++round) {
      if (round > 0) {
        window.File1.setListIndex(-1);
        window.ClearPreview();
        pause(100);
      }
      QElapsedTimer timer;
      timer.start();
      session.click(name);
      if (!session.waitUntil([&] { return session.shows(name); }, 30'000)) failed = "the local photo was not painted";
      previewed.push_back(seconds(timer));
    }
    frozen = session.probe().disarm();
  }
  endStuckVolumes();
  session.waitUntil([] { return platform::pendingContinuations() == 0; }, 10'000);
  state.counters["frozen_ms"] = frozen * 1000;
  state.counters["local_preview_s"] = median(previewed);
  state.counters["alone_s"] = median(alone);
  table().push_back(
      {"A volume that does not answer: enter a folder on it, click a file, choose it as the drive, "
       "back to a local folder",
       "longest block " + number("%.0f ms", frozen * 1000) + ", " + std::to_string(waiting) + " threads stuck on it" +
           (failed.empty() ? "" : "; " + failed),
       "", ""});
  table().push_back({"Then click a local 24 MP photo, until the preview is painted",
                     number("%.3f s", median(previewed)), "nothing stuck " + number("%.3f s", median(alone)),
                     number("%.2fx", median(previewed) / median(alone))});
}
BENCHMARK(VolumeThatDoesNotAnswer)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- parts

// The first paint of a fitted preview scales the reduced copy once; later paints reuse it.
void PaintFittedPreview(benchmark::State& state) {
  const platform::Picture picture = platform::Picture::loadFitting(photo(6000, 4000), QSize(105, 105));
  QWidget window;
  window.resize(200, 200);
  platform::ImageControl image(&window, platform::ImageControl::Border::FixedSingle);
  image.setStretch(true);
  image.move(0, 0, 1635, 1090);
  image.setPicture(picture);
  picture.prepareDrawing(image.pictureDevicePixels());  // as the preview does before it shows it
  for (auto _ : state) benchmark::DoNotOptimize(image.widget()->grab());
}
BENCHMARK(PaintFittedPreview)->Unit(benchmark::kMillisecond);

// A 24-megapixel photo zoomed 8 times in the viewer: each repaint of a
// screenful scales only the exposed part.
void PaintZoomedScreenful(benchmark::State& state) {
  const platform::Picture picture = platform::Picture::load(photo(6000, 4000));
  QWidget window;
  platform::ImageControl image(&window, platform::ImageControl::Border::None);
  image.setPicture(picture);
  image.setStretch(true);
  const float zoom = static_cast<float>(state.range(0));
  image.move(0, 0, picture.width() * zoom, picture.height() * zoom);
  const QRect screenful(5000, 3000, 1000, 700);
  for (auto _ : state) benchmark::DoNotOptimize(image.widget()->grab(screenful));
}
BENCHMARK(PaintZoomedScreenful)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

QString metafile(std::int64_t which) {
  return QStringLiteral(TAVLO_TEST_DATA "/metafiles/") +
         (which == 0 ? QStringLiteral("emf2svg_test-000.emf") : QStringLiteral("libgdiplus_test.wmf"));
}

// Loading a metafile: read, then converted, read and first drawn by the helper.
void LoadMetafile(benchmark::State& state) {
  const QString path = metafile(state.range(0));
  for (auto _ : state) {
    // Each time a file of its own, so that nothing is shared from the last load.
    const QString copy = scratch().filePath(QStringLiteral("copy%1.emf").arg(state.iterations()));
    QFile::copy(path, copy);
    benchmark::DoNotOptimize(platform::Picture::load(copy));
  }
  state.SetLabel(state.range(0) == 0 ? "EMF+ dual, 95 KB" : "placeable WMF, 68 KB");
}
BENCHMARK(LoadMetafile)->Arg(0)->Arg(1)->Iterations(10)->Unit(benchmark::kMillisecond);

// The WMF crown zoomed 16 times (92,000 by 78,000 twips): each screenful
// exposed somewhere new has only its own tiles drawn (in the background, as
// its first paint asks), and is painted again; the same screenful again
// reuses them.
void PaintMetafileZoomed(benchmark::State& state) {
  const platform::Picture picture = platform::Picture::load(metafile(1));
  QWidget window;
  platform::ImageControl image(&window, platform::ImageControl::Border::None);
  image.setPicture(picture);
  image.setStretch(true);
  image.move(0, 0, picture.width() * 16, picture.height() * 16);
  const bool somewhereNew = state.range(0) == 0;
  int step = 0;
  for (auto _ : state) {
    const int column = somewhereNew ? step % 10 : 3;
    const int row = somewhereNew ? step / 10 % 10 : 3;
    const QRect screenful(column * 1024, row * 1024, 1000, 700);
    picture.prepareDrawing(image.pictureDevicePixels(), screenful);
    benchmark::DoNotOptimize(image.widget()->grab(screenful));
    ++step;
  }
  state.SetLabel(somewhereNew ? "new screenful" : "same screenful");
}
BENCHMARK(PaintMetafileZoomed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PausedDown)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const bool ownMounts = keepMountsInThisProcess();
  QTemporaryDir configHome;
  qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tavlo"));
  QApplication::setQuitOnLastWindowClosed(false);
  benchmark::Initialize(&argc, argv);
  mountStuckVolumes(ownMounts);
  benchmark::RunSpecifiedBenchmarks();
  endStuckVolumes();
  benchmark::Shutdown();

  std::printf("\n| What the user does | Tavlo | Reference in the same run | Ratio |\n|---|---|---|---|\n");
  for (const Row& row : table())
    std::printf("| %s | %s | %s | %s |\n", row.what.c_str(), row.now.c_str(), row.reference.c_str(), row.ratio.c_str());
  std::printf("\n%d rounds a row (TAVLO_BENCH_ROUNDS); medians, ratios taken round by round.\n", rounds());
  platform::endProgram();
  return 0;
}
