// How fast the browser lists big folders and previews big pictures.
//   make bench
#include "platform/forms/FileListBox.h"
#include "platform/forms/ImageControl.h"
#include "platform/pictures/Picture.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
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
      image.setPicture(platform::Picture::fromImage(picture.image()));  // no scaled copy yet
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

QString metafile(std::int64_t which) {
  return QStringLiteral(TAVLO_TEST_DATA "/metafiles/") +
         (which == 0 ? QStringLiteral("emf2svg_test-000.emf") : QStringLiteral("libgdiplus_test.wmf"));
}

// Loading a metafile: read, then converted, read and first drawn by the helper.
void LoadMetafile(benchmark::State& state) {
  const QString path = metafile(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(platform::Picture::load(path));
  state.SetLabel(state.range(0) == 0 ? "EMF+ dual, 95 KB" : "placeable WMF, 68 KB");
}
BENCHMARK(LoadMetafile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A metafile in the preview box: the first paint draws it at the box's size,
// repaints reuse the drawn tiles.
void PaintMetafilePreview(benchmark::State& state) {
  const platform::Picture loaded = platform::Picture::load(metafile(state.range(0)));
  QWidget window;
  window.resize(200, 200);
  platform::ImageControl image(&window, platform::ImageControl::Border::FixedSingle);
  image.setStretch(true);
  image.move(0, 0, 1635, 1090);
  image.setPicture(loaded);
  const bool firstPaintOnly = state.range(1) == 0;
  for (auto _ : state) {
    if (firstPaintOnly) {
      state.PauseTiming();
      image.setPicture(platform::Picture::load(metafile(state.range(0))));  // nothing drawn yet
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(image.widget()->grab());
  }
  state.SetLabel(firstPaintOnly ? "first paint (draws)" : "repaint (cached tiles)");
}
BENCHMARK(PaintMetafilePreview)->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);

// The WMF crown zoomed 16 times (92,000 by 78,000 twips): each screenful
// exposed somewhere new draws only its own tiles; the same screenful again
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
    benchmark::DoNotOptimize(image.widget()->grab(QRect(column * 1024, row * 1024, 1000, 700)));
    ++step;
  }
  state.SetLabel(somewhereNew ? "new screenful" : "same screenful");
}
BENCHMARK(PaintMetafileZoomed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
