// How fast the browser lists big folders and previews big pictures.
//   make bench
#include "platform/FileListBox.h"
#include "platform/ImageControl.h"
#include "platform/Picture.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>

namespace {

QTemporaryDir& scratch() {
  static QTemporaryDir dir;
  return dir;
}

// A folder of n empty files, a tenth of them pictures by name.
QString folderOf(int n) {
  const QString path = scratch().filePath(QStringLiteral("files%1").arg(n));
  if (!QDir(path).exists()) {
    QDir().mkpath(path);
    for (int i = 0; i < n; ++i) {
      const char* extension = i % 10 == 0 ? ".JPG" : ".txt";
      QFile(path + QStringLiteral("/file%1%2").arg(i).arg(QLatin1String(extension))).open(QIODevice::WriteOnly);
    }
  }
  return path;
}

// A photo-like JPEG of the given size, made once.
QString photoOf(int width, int height) {
  static std::map<std::pair<int, int>, QString> made;
  auto& path = made[{width, height}];
  if (path.isEmpty()) {
    path = scratch().filePath(QStringLiteral("photo%1x%2.jpg").arg(width).arg(height));
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(20, 60, 160));
    gradient.setColorAt(1, QColor(240, 200, 80));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    image.save(path, "JPEG", 85);
  }
  return path;
}

void ListFolder(benchmark::State& state) {
  const QString folder = folderOf(static_cast<int>(state.range(0)));
  const auto patterns = platform::compilePatterns(QStringLiteral("*.jpg;*.gif;*.bmp"));
  for (auto _ : state) benchmark::DoNotOptimize(platform::listFiles(folder, patterns, false));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ListFolder)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void FillFileList(benchmark::State& state) {
  const QString folder = folderOf(static_cast<int>(state.range(0)));
  QWidget window;
  platform::FileListBox list(&window);
  list.setPattern(QStringLiteral("*.*"));
  for (auto _ : state) {
    list.setPath(folder);
    state.PauseTiming();
    list.setPath(QDir::tempPath());
    state.ResumeTiming();
  }
}
BENCHMARK(FillFileList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void LoadPhoto(benchmark::State& state) {
  const QString path = photoOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(platform::Picture::load(path));
}
BENCHMARK(LoadPhoto)->Args({4000, 3000})->Args({11600, 8700})->Unit(benchmark::kMillisecond)->Iterations(3);

// The first paint of a fitted preview scales the picture once; later paints reuse it.
void PaintFittedPreview(benchmark::State& state) {
  const platform::Picture picture = platform::Picture::load(photoOf(6000, 4000));
  QWidget window;
  window.resize(200, 200);
  platform::ImageControl image(&window, platform::ImageControl::Border::FixedSingle);
  image.setStretch(true);
  image.move(0, 0, 1635, 1090);
  const bool firstPaintOnly = state.range(0) == 0;
  for (auto _ : state) {
    if (firstPaintOnly) {
      state.PauseTiming();
      image.setPicture(picture);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(image.widget()->grab());
  }
  state.SetLabel(firstPaintOnly ? "first paint (scales)" : "repaint (cached)");
}
BENCHMARK(PaintFittedPreview)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A 24-megapixel photo zoomed 8 times in the viewer: each repaint of a
// screenful scales only the exposed part.
void PaintZoomedScreenful(benchmark::State& state) {
  const platform::Picture picture = platform::Picture::load(photoOf(6000, 4000));
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

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
