// Fuzz target for loading metafiles: the header reader, then what the
// metafile helper does with the picture, run here in-process: the conversion
// to SVG, reading that, and drawing it at two sizes. Built with libFuzzer
// under clang (make fuzz); with other compilers it is built with a driver
// that replays the corpus, as a test, where each file then also goes through
// the locked helper as the program sends it: its faults must come back here
// as a failed start, never reach this process; and what the helper draws
// must be what is drawn here, or its lock kept it from something it needs.

#include "metafile_helper/MetafileConversion.h"
#include "metafile_helper/SvgRenderer.h"
#include "platform/pictures/MetafileHeader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

#ifdef TAVLO_THROUGH_THE_HELPER
#include "FuzzSupport.h"
#include "platform/pictures/MetafileHelper.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#endif

namespace {

constexpr QSize Small(96, 64), Large(4000, 3000);
constexpr QRect SmallWhole(0, 0, 96, 64), LargePart(1000, 1000, 32, 32);

#ifdef TAVLO_THROUGH_THE_HELPER
void drawnTheSameByTheHelper(const QByteArray& bytes, const QByteArray& small, const QByteArray& large) {
  fuzzing::workFolder<QGuiApplication>("metafile_fuzzer");
  const auto helper = platform::MetafileHelper::start(bytes);
  if (!helper) return;
  const auto same = [&](QSize size, const QRect& part, const QByteArray& here) {
    const QImage there = helper->render(size, part);
    if (there.isNull() ||
        QByteArray::fromRawData(reinterpret_cast<const char*>(there.constBits()), there.sizeInBytes()) == here)
      return;
    std::fprintf(stderr, "The locked helper draws a metafile otherwise than it is drawn unlocked.\n");
    std::abort();
  };
  same(Small, SmallWhole, small);
  same(Large, LargePart, large);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  if (!platform::readMetafileHeader(bytes)) return 0;
  const QByteArray svg = metafile::convertToSvg(bytes);
  if (svg.isEmpty()) return 0;
  if (const auto picture = metafile::SvgRenderer::fromSvg(svg)) {
    const QByteArray small = picture->render(Small, SmallWhole);
    const QByteArray large = picture->render(Large, LargePart);
#ifdef TAVLO_THROUGH_THE_HELPER
    drawnTheSameByTheHelper(bytes, small, large);
#endif
  }
  return 0;
}
