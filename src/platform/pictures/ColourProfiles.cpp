#include "platform/pictures/ColourProfiles.h"

#include "platform/desktop/ErrorHandling.h"
#include "platform/desktop/FileAccess.h"

#include <QColorSpace>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include <lcms2_plugin.h>
#include <zlib.h>

namespace platform {

namespace {

// Printer profiles with large tables reach a few megabytes; beyond this a
// profile is taken for a forgery.
constexpr std::int64_t MaxProfileBytes = 8 << 20;

// ------------------------------------------------------------ where files keep
// them

std::uint32_t bigEndian32(const QByteArray& bytes, qsizetype at) {
  return qFromBigEndian<quint32>(bytes.constData() + at);
}

// zlib data unpacked, as long as it stays within the bound.
QByteArray inflated(const QByteArray& packed) {
  QByteArray out;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return {};
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
  stream.avail_in = static_cast<uInt>(packed.size());
  int status = Z_OK;
  char chunk[16384];
  while (status == Z_OK && out.size() <= MaxProfileBytes) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
    if (status == Z_OK && stream.avail_in == 0 && stream.avail_out != 0) status = Z_DATA_ERROR;  // cut short
  }
  inflateEnd(&stream);
  return status == Z_STREAM_END && out.size() <= MaxProfileBytes ? out : QByteArray();
}

// PNG: chunks from byte 8 on; iCCP (a name, a NUL, the method 0, zlib data)
// comes before the first IDAT.
QByteArray pngProfile(const ReadableFile& file) {
  for (std::int64_t at = 8; at + 8 <= file.size();) {
    const QByteArray head = file.readAt(at, 8);
    if (head.size() < 8) break;
    const std::int64_t length = bigEndian32(head, 0);
    const QByteArray type = head.mid(4, 4);
    if (type == "IDAT" || type == "IEND") break;
    if (type == "iCCP") {
      if (length > MaxProfileBytes) break;
      const QByteArray data = file.readAt(at + 8, length);
      const qsizetype nameEnd = data.indexOf('\0');
      if (data.size() != length || nameEnd < 1 || nameEnd > 79 || nameEnd + 2 > data.size() || data[nameEnd + 1] != 0)
        break;
      return inflated(data.mid(nameEnd + 2));
    }
    at += 12 + length;
  }
  return {};
}

// WebP: a RIFF file of chunks, each a name, a little-endian length and the
// data padded to an even length; ICCP holds the profile as it is.
QByteArray webpProfile(const ReadableFile& file) {
  const QByteArray riff = file.read(12);
  if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WEBP") return {};
  for (std::int64_t at = 12; at + 8 <= file.size();) {
    const QByteArray head = file.readAt(at, 8);
    if (head.size() < 8) break;
    const std::int64_t length = qFromLittleEndian<quint32>(head.constData() + 4);
    if (head.startsWith("ICCP")) {
      if (length > MaxProfileBytes) break;
      const QByteArray profile = file.readAt(at + 8, length);
      return profile.size() == length ? profile : QByteArray();
    }
    if (head.startsWith("VP8 ") || head.startsWith("VP8L") || head.startsWith("ANIM"))
      break;  // no profile before the pixels
    at += 8 + length + (length & 1);
  }
  return {};
}

// TIFF: the first directory's entry 34675 (InterColorProfile): twelve bytes
// of tag, type, count and the offset of the bytes, in the file's byte order.
QByteArray tiffProfile(const ReadableFile& file) {
  const QByteArray header = file.read(8);
  if (header.size() < 8) return {};
  const bool little = header.startsWith("II*");
  if (!little && !header.startsWith("MM\0*")) return {};
  const auto number = [little](const char* at, int bytes) -> std::uint32_t {
    if (bytes == 2) return little ? qFromLittleEndian<quint16>(at) : qFromBigEndian<quint16>(at);
    return little ? qFromLittleEndian<quint32>(at) : qFromBigEndian<quint32>(at);
  };
  const std::int64_t directory = number(header.constData() + 4, 4);
  const QByteArray countBytes = file.readAt(directory, 2);
  if (countBytes.size() < 2) return {};
  const std::int64_t count = number(countBytes.constData(), 2);
  const QByteArray entries = file.readAt(directory + 2, count * 12);
  for (qsizetype entry = 0; entry + 12 <= entries.size(); entry += 12) {
    const char* at = entries.constData() + entry;
    if (number(at, 2) != 34675) continue;
    const std::int64_t length = number(at + 4, 4);
    if (length <= 4 || length > MaxProfileBytes) return {};
    const QByteArray profile = file.readAt(number(at + 8, 4), length);
    return profile.size() == length ? profile : QByteArray();
  }
  return {};
}

// ------------------------------------------------------------ EXIF

// A TIFF structure inside the EXIF block, read with bounds checked.
class ExifReader {
 public:
  explicit ExifReader(const QByteArray& exif)
      : tiff_(exif.startsWith(QByteArray("Exif\0\0", 6)) ? exif.mid(6) : QByteArray()) {
    little_ = tiff_.startsWith("II");
  }
  bool valid() const { return tiff_.size() >= 8 && (little_ || tiff_.startsWith("MM")); }
  std::uint32_t number(qsizetype at, int bytes) const {
    if (at < 0 || at + bytes > tiff_.size()) return 0;
    const char* p = tiff_.constData() + at;
    if (bytes == 2) return little_ ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    return little_ ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
  }
  // The offset of the tag's entry in the directory at the offset, or -1.
  qsizetype entry(std::uint32_t directory, std::uint32_t tag) const {
    const std::uint32_t count = number(directory, 2);
    for (std::uint32_t i = 0; i < count && i < 1000; ++i) {
      const qsizetype at = directory + 2 + qsizetype{i} * 12;
      if (at + 12 > tiff_.size()) return -1;
      if (number(at, 2) == tag) return at;
    }
    return -1;
  }
  QByteArray inlineValue(qsizetype entry) const { return tiff_.mid(entry + 8, 4); }
  std::uint32_t firstDirectory() const { return number(4, 4); }

 private:
  QByteArray tiff_;
  bool little_ = false;
};

// ------------------------------------------------------------ lcms2

void quiet(cmsContext, cmsUInt32Number, const char*) {}

struct ProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

cmsUInt32Number typeOf(ColourTransform::Layout layout, bool input) {
  using Layout = ColourTransform::Layout;
  switch (layout) {
    case Layout::Bgra8:
      return TYPE_BGRA_8;
    case Layout::Gray8:
      return input ? TYPE_GRAY_8 : TYPE_BGRA_8;
    case Layout::Rgba16:
      return TYPE_RGBA_16;
    case Layout::Gray16:
      return input ? TYPE_GRAY_16 : TYPE_RGBA_16;
    case Layout::Cmyk8:
      return input ? TYPE_CMYK_8 : TYPE_BGRA_8;
    case Layout::InvertedCmyk8:
      return input ? TYPE_CMYK_8_REV : TYPE_BGRA_8;
  }
  return 0;
}

cmsColorSpaceSignature coloursOf(ColourTransform::Layout layout) {
  using Layout = ColourTransform::Layout;
  switch (layout) {
    case Layout::Bgra8:
    case Layout::Rgba16:
      return cmsSigRgbData;
    case Layout::Gray8:
    case Layout::Gray16:
      return cmsSigGrayData;
    case Layout::Cmyk8:
    case Layout::InvertedCmyk8:
      return cmsSigCmykData;
  }
  return cmsSigRgbData;
}

// A coarse grid of colours and every grey, as 8-bit BGRA pixels.
std::vector<std::uint8_t> colourGrid() {
  std::vector<std::uint8_t> grid;
  for (int r = 0; r < 256; r += 17)
    for (int g = 0; g < 256; g += 17)
      for (int b = 0; b < 256; b += 17)
        grid.insert(grid.end(), {std::uint8_t(b), std::uint8_t(g), std::uint8_t(r), 255});
  for (int v = 0; v < 256; ++v) grid.insert(grid.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 255});
  return grid;
}

// The largest difference between two sets of BGRA pixels' colours.
int largestDifference(const std::vector<std::uint8_t>& one, const std::vector<std::uint8_t>& other) {
  int largest = 0;
  for (size_t i = 0; i < one.size(); ++i)
    if (i % 4 != 3) largest = std::max(largest, std::abs(one[i] - other[i]));
  return largest;
}

// Whether the 8-bit conversion leaves every colour of the grid (every grey,
// for grey pixels) within one step of where it was: the profile is sRGB's.
bool leavesColoursAsTheyAre(const ColourTransform& transform, ColourTransform::Layout layout) {
  std::vector<std::uint8_t> in = colourGrid();
  if (layout == ColourTransform::Layout::Gray8) in.erase(in.begin(), in.end() - 256 * 4);  // the greys, last
  std::vector<std::uint8_t> out(in.size(), 255);
  if (layout == ColourTransform::Layout::Gray8) {
    std::vector<std::uint8_t> greys(256);
    for (int v = 0; v < 256; ++v) greys[static_cast<size_t>(v)] = static_cast<std::uint8_t>(v);
    transform.convert(greys.data(), out.data(), 256);
  } else {
    transform.convert(in.data(), out.data(), static_cast<int>(in.size() / 4));
  }
  return largestDifference(in, out) <= 1;
}

int coresForConversion() {
  static const int cores = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  return cores;
}

// Runs the body over bands of rows, on as many threads as the machine has
// and the picture is worth; on this thread alone where no other starts.
void forRowBands(int rows, qint64 pixels, const std::function<void(int first, int count)>& body) {
  const int threads = pixels < 1'000'000 ? 1 : coresForConversion();
  const int band = (rows + threads - 1) / threads;
  std::vector<std::thread> helpers;
  for (int first = band; first < rows; first += band) {
    const auto started = runCatchingErrors([&] { helpers.emplace_back(body, first, std::min(band, rows - first)); });
    if (started) body(first, std::min(band, rows - first));
  }
  body(0, std::min(band, rows));
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace

// ------------------------------------------------------------ the interface

QByteArray embeddedProfile(const ReadableFile& file, const QByteArray& format) {
  QByteArray profile;
  runCatchingErrors([&] {
    if (format == "png")
      profile = pngProfile(file);
    else if (format == "webp")
      profile = webpProfile(file);
    else if (format == "tif" || format == "tiff")
      profile = tiffProfile(file);
  });
  return profile;
}

bool exifDeclaresAdobeRgb(const QByteArray& exif) {
  const ExifReader reader(exif);
  if (!reader.valid()) return false;
  const qsizetype exifPointer = reader.entry(reader.firstDirectory(), 0x8769);
  if (exifPointer < 0) return false;
  const std::uint32_t exifDirectory = reader.number(exifPointer + 8, 4);
  const qsizetype colourSpace = reader.entry(exifDirectory, 0xA001);
  const qsizetype interopPointer = reader.entry(exifDirectory, 0xA005);
  if (colourSpace < 0 || interopPointer < 0 || reader.number(colourSpace + 8, 2) != 0xFFFF) return false;
  const qsizetype index = reader.entry(reader.number(interopPointer + 8, 4), 0x0001);
  return index >= 0 && reader.inlineValue(index).startsWith("R03");
}

namespace {

// The bytes of an RGB profile of these primaries and white, with the one
// curve (which it frees) for all three channels; empty where lcms2 cannot
// make it.
QByteArray rgbProfile(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
  if (!curve) return {};
  cmsToneCurve* const curves[3] = {curve, curve, curve};
  const Profile made(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  cmsUInt32Number size = 0;
  QByteArray bytes;
  if (made && cmsSaveProfileToMem(made.get(), nullptr, &size) && size <= MaxProfileBytes) {
    bytes.resize(static_cast<qsizetype>(size));
    if (!cmsSaveProfileToMem(made.get(), bytes.data(), &size)) bytes.clear();
  }
  return bytes;
}

}  // namespace

QByteArray adobeRgbProfile() {
  // Its primaries and white point, and a gamma of 563/256.
  static const QByteArray profile =
      rgbProfile({0.3127, 0.3290, 1.0}, {{0.6400, 0.3300, 1.0}, {0.2100, 0.7100, 1.0}, {0.1500, 0.0600, 1.0}},
                 cmsBuildGamma(nullptr, 563.0 / 256.0));
  return profile;
}

QByteArray cicpProfile(const CicpColours& colours) {
  // The transfer functions by their numbers: BT.709's, BT.601's and
  // BT.2020's are shown as sRGB's; 4 and 5 are plain powers, 8 linear.
  enum Transfer {
    Unspecified = 2,
    Bt709 = 1,
    Gamma22 = 4,
    Gamma28 = 5,
    Bt601 = 6,
    Linear = 8,
    Srgb = 13,
    Bt2020Ten = 14,
    Bt2020Twelve = 15
  };
  const int t = colours.transfer;
  const bool srgbCurve =
      t == Bt709 || t == Unspecified || t == Bt601 || t == Srgb || t == Bt2020Ten || t == Bt2020Twelve;
  if (colours.srgbPrimaries && srgbCurve) return {};
  if (!srgbCurve && t != Gamma22 && t != Gamma28 && t != Linear) return {};
  const auto xyY = [](const double(&xy)[2]) { return cmsCIExyY{xy[0], xy[1], 1.0}; };
  const cmsCIExyY white = xyY(colours.white);
  const cmsCIExyYTRIPLE primaries{xyY(colours.red), xyY(colours.green), xyY(colours.blue)};
  const double srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  return rgbProfile(white, primaries,
                    srgbCurve ? cmsBuildParametricToneCurve(nullptr, 4, srgb)
                              : cmsBuildGamma(nullptr, t == Gamma22   ? 2.2
                                                       : t == Gamma28 ? 2.8
                                                                      : 1.0));
}

struct ColourTransform::MatrixShaper {
  // A target pixel's three channels of linear light, and a fourth unused,
  // summed at once by the processor's vector instructions.
  using Light = std::int32_t __attribute__((vector_size(16)));
  static constexpr std::int32_t AllLight = 65535;
  static constexpr std::int32_t MostSteps = 1 << 20;

  // Each source channel's share of each target channel's linear light, in
  // 65,535ths, by the channel's 8-bit value: the matrix times the curve,
  // summed in integers, exact enough that the result is lcms2's within a
  // step; small enough to stay in the nearest cache. The first channel's
  // shares carry the offset that makes every sum a place in the table.
  std::array<std::array<Light, 256>, 3> share;  // [source][value] = {red, green, blue, 0}
  // The target's value of every sum the shares can make, from the least:
  // light beyond the target's gamut is its nearest edge, with no test for it.
  std::vector<std::uint8_t> encoded;

  void convert(const std::uint8_t* from, std::uint8_t* to, int pixels) const {
    const std::uint8_t* const encode = encoded.data();
    for (int i = 0; i < pixels; ++i, from += 4, to += 4) {
      const Light light = share[0][from[2]] + share[1][from[1]] + share[2][from[0]];
      const std::uint8_t alpha = from[3];
      to[0] = encode[light[2]];
      to[1] = encode[light[1]];
      to[2] = encode[light[0]];
      to[3] = alpha;
    }
  }

  // The curves and the colorants of a matrix-shaper RGB profile and of the
  // target's (whose red curve stands for all three: the fast path is taken
  // only where it agrees with lcms2); nothing where a profile has not both.
  static std::unique_ptr<MatrixShaper> of(cmsHPROFILE source, cmsHPROFILE target) {
    const auto columns = [](cmsHPROFILE profile, cmsMAT3& into) {
      const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
      for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        if (!xyz) return false;
        into.v[0].n[c] = xyz->X, into.v[1].n[c] = xyz->Y, into.v[2].n[c] = xyz->Z;
      }
      return true;
    };
    cmsMAT3 fromSource, fromTarget, toTarget, product;
    if (!cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(target) || !columns(source, fromSource) ||
        !columns(target, fromTarget) || !_cmsMAT3inverse(&fromTarget, &toTarget))
      return nullptr;
    _cmsMAT3per(&product, &toTarget, &fromSource);
    auto made = std::make_unique<MatrixShaper>();
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
      const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
      if (!curve) return nullptr;
      // A forged profile may give curves or colorants of no number at all,
      // or far beyond any real one's.
      for (int r = 0; r < 3; ++r)
        if (const double coefficient = product.v[r].n[c]; !(coefficient >= -16.0 && coefficient <= 16.0))
          return nullptr;
      for (int v = 0; v < 256; ++v) {
        const float light = cmsEvalToneCurveFloat(curve, static_cast<float>(v) / 255.0f);
        if (!(light >= -1.0f && light <= 2.0f)) return nullptr;
        for (int r = 0; r < 3; ++r)
          made->share[static_cast<size_t>(c)][static_cast<size_t>(v)][r] =
              static_cast<std::int32_t>(std::lround(product.v[r].n[c] * light * AllLight));
      }
    }
    // The least and the most light the shares can sum to, over the targets.
    std::int32_t least = 0, most = AllLight;
    for (int r = 0; r < 3; ++r) {
      std::int32_t low = 0, high = 0;
      for (const auto& channel : made->share) {
        const auto [fewest, greatest] = std::minmax_element(
            channel.begin(), channel.end(), [r](const Light& a, const Light& b) { return a[r] < b[r]; });
        low += (*fewest)[r], high += (*greatest)[r];
      }
      least = std::min(least, low), most = std::max(most, high);
    }
    if (most - least >= MostSteps) return nullptr;
    for (auto& value : made->share[0])
      for (int r = 0; r < 3; ++r) value[r] -= least;

    const auto* targetCurve = static_cast<const cmsToneCurve*>(cmsReadTag(target, cmsSigRedTRCTag));
    cmsToneCurve* encoding = targetCurve ? cmsReverseToneCurve(targetCurve) : nullptr;
    if (!encoding) return nullptr;
    made->encoded.resize(static_cast<size_t>(most - least + 1));
    for (std::int32_t step = 0; step <= AllLight; ++step)
      made->encoded[static_cast<size_t>(step - least)] = static_cast<std::uint8_t>(std::lround(
          std::clamp(cmsEvalToneCurveFloat(encoding, static_cast<float>(step) / AllLight), 0.0f, 1.0f) * 255));
    cmsFreeToneCurve(encoding);
    // Less than no light is black; more than all of it, white.
    const auto none = made->encoded.begin() - least, all = none + AllLight;
    std::fill(made->encoded.begin(), none, *none);
    std::fill(all + 1, made->encoded.end(), *all);
    return made;
  }
};

namespace {

std::mutex displayMutex;
QByteArray displayProfileBytes;  // empty: sRGB

QByteArray targetProfile(ColourTarget target) {
  if (target == ColourTarget::Srgb) return {};
  const std::lock_guard lock(displayMutex);
  return displayProfileBytes;
}

Profile openedProfile(const QByteArray& bytes) {
  static std::once_flag silenced;
  std::call_once(silenced, [] { cmsSetLogErrorHandler(quiet); });
  if (bytes.isEmpty()) return Profile(cmsCreate_sRGBProfile());
  return Profile(cmsOpenProfileFromMem(bytes.constData(), static_cast<cmsUInt32Number>(bytes.size())));
}

}  // namespace

void setDisplayProfile(const QByteArray& profile) {
  QByteArray usable;
  if (!profile.isEmpty() && profile.size() <= MaxProfileBytes) {
    // A display profile must take sRGB's colours; one that leaves them as
    // they are is sRGB's, and converting to it would only cost time.
    const Profile display = openedProfile(profile);
    const Profile srgb = openedProfile({});
    if (display && cmsGetColorSpace(display.get()) == cmsSigRgbData &&
        cmsGetDeviceClass(display.get()) != cmsSigLinkClass) {
      void* handle = cmsCreateTransform(srgb.get(), TYPE_BGRA_8, display.get(), TYPE_BGRA_8,
                                        INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
      if (handle) {
        const std::unique_ptr<void, void (*)(void*)> transform(handle, [](void* t) { cmsDeleteTransform(t); });
        std::vector<std::uint8_t> grid = colourGrid(), shown(grid.size());
        cmsDoTransform(handle, grid.data(), shown.data(), static_cast<cmsUInt32Number>(grid.size() / 4));
        if (largestDifference(grid, shown) > 1) usable = profile;
      }
    }
  }
  const std::lock_guard lock(displayMutex);
  displayProfileBytes = usable;
}

void prepareColourConversion() {
  coresForConversion();
  ColourTransform::to(ColourTarget::Srgb, adobeRgbProfile(), ColourTransform::Layout::Bgra8);
}

bool displayHasOwnProfile() { return !targetProfile(ColourTarget::Display).isEmpty(); }

std::shared_ptr<const ColourTransform> ColourTransform::to(ColourTarget target, const QByteArray& profile,
                                                           Layout from) {
  if (profile.isEmpty() || profile.size() > MaxProfileBytes) return nullptr;
  // A 16-bit picture in sRGB's colours needs no conversion either.
  if (from == Layout::Rgba16 && !to(target, profile, Layout::Bgra8)) return nullptr;
  if (from == Layout::Gray16 && !to(target, profile, Layout::Gray8)) return nullptr;
  const QByteArray targetBytes = targetProfile(target);
  // A picture in sRGB is shown as one without a profile is, whatever the display.
  if (!targetBytes.isEmpty() && !to(ColourTarget::Srgb, profile, from)) return nullptr;

  static std::mutex mutex;
  static std::map<std::tuple<QByteArray, Layout, QByteArray>, std::shared_ptr<const ColourTransform>> transforms;
  const std::lock_guard lock(mutex);
  const auto key = std::make_tuple(profile, from, targetBytes);
  if (const auto found = transforms.find(key); found != transforms.end()) return found->second;
  if (transforms.size() >= 64) transforms.clear();  // a folder of photos from a few cameras keeps a handful
  auto& transform = transforms[key];

  const Profile source = openedProfile(profile);
  if (!source || cmsGetColorSpace(source.get()) != coloursOf(from)) return nullptr;
  const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
  if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass) return nullptr;
  const Profile shownIn = openedProfile(targetBytes);
  if (!shownIn) return nullptr;
  // Perceptual where the profile has tables for it, else colorimetric with
  // its black mapped onto the target's.
  const bool perceptual = cmsIsCLUT(source.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT);
  cmsUInt32Number flags = cmsFLAGS_NOCACHE;  // no state shared between the threads converting
  if (!perceptual) flags |= cmsFLAGS_BLACKPOINTCOMPENSATION;
  if (from == Layout::Bgra8 || from == Layout::Rgba16) flags |= cmsFLAGS_COPY_ALPHA;
  // At 16 bits lcms2 would sample the conversion into a table, whose
  // interpolation strays by several steps near the gamut's edge; 16-bit
  // pictures are few, and worth the exact sum.
  if (from == Layout::Rgba16 || from == Layout::Gray16) flags |= cmsFLAGS_NOOPTIMIZE;
  // CMYK goes through such a table at 8 bits too: a finer one.
  if (from == Layout::Cmyk8 || from == Layout::InvertedCmyk8) flags |= cmsFLAGS_HIGHRESPRECALC;
  void* handle = cmsCreateTransform(source.get(), typeOf(from, true), shownIn.get(), typeOf(from, false),
                                    perceptual ? INTENT_PERCEPTUAL : INTENT_RELATIVE_COLORIMETRIC, flags);
  if (!handle) return nullptr;
  std::shared_ptr<ColourTransform> made(new ColourTransform(handle));
  if ((from == Layout::Bgra8 || from == Layout::Gray8) && leavesColoursAsTheyAre(*made, from)) return nullptr;
  if (from == Layout::Bgra8 && !perceptual) {
    std::unique_ptr<const MatrixShaper> fast = MatrixShaper::of(source.get(), shownIn.get());
    const std::vector<std::uint8_t> grid = colourGrid();
    std::vector<std::uint8_t> exact(grid.size()), quick(grid.size());
    made->convert(grid.data(), exact.data(), static_cast<int>(grid.size() / 4));
    if (fast) fast->convert(grid.data(), quick.data(), static_cast<int>(grid.size() / 4));
    if (fast && largestDifference(exact, quick) <= 1) made->matrixShaper_ = std::move(fast);
  }
  transform = std::move(made);
  return transform;
}

ColourTransform::ColourTransform(void* transform) : transform_(transform) {}

ColourTransform::~ColourTransform() { cmsDeleteTransform(transform_); }

void ColourTransform::convert(const void* from, void* to, int pixels) const {
  if (matrixShaper_)
    matrixShaper_->convert(static_cast<const std::uint8_t*>(from), static_cast<std::uint8_t*>(to), pixels);
  else
    cmsDoTransform(transform_, from, to, static_cast<cmsUInt32Number>(pixels));
}

QImage convertedColours(QImage image, const QByteArray& profile, ColourTarget target,
                        std::optional<ColourTransform::Layout> cmykStoredAs) {
  if (profile.isEmpty() || image.isNull()) return image;
  // The colours they end in, for whoever looks: sRGB's, or the display's, which
  // no program but this one should take them for.
  const QColorSpace convertedSpace = targetProfile(target).isEmpty() ? QColorSpace(QColorSpace::SRgb) : QColorSpace();
  using Layout = ColourTransform::Layout;
  const QImage::Format format = image.format();
  if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
    // The colours of the table alone.
    const auto transform = ColourTransform::to(target, profile, Layout::Bgra8);
    if (!transform) return image;
    QList<QRgb> colours = image.colorTable();
    transform->convert(colours.constData(), colours.data(), static_cast<int>(colours.size()));
    image.setColorTable(colours);
    image.setColorSpace(convertedSpace);
    return image;
  }
  Layout layout = Layout::Bgra8;
  QImage::Format into = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  if (cmykStoredAs)
    layout = *cmykStoredAs, into = QImage::Format_RGB32;
  else if (format == QImage::Format_Grayscale8)
    layout = Layout::Gray8, into = QImage::Format_RGB32;
  else if (format == QImage::Format_Grayscale16)
    layout = Layout::Gray16, into = QImage::Format_RGBX64;
  else if (format == QImage::Format_RGBA64 || format == QImage::Format_RGBX64 ||
           format == QImage::Format_RGBA64_Premultiplied)
    layout = Layout::Rgba16, into = image.hasAlphaChannel() ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
  const auto transform = ColourTransform::to(target, profile, layout);
  if (!transform) return image;

  // Four bytes a pixel in and out are converted where they are; grey into
  // new colour pixels. Colours made from grey or CMYK leave alpha as it
  // was: it is made opaque.
  const bool inPlace = layout != Layout::Gray8 && layout != Layout::Gray16;
  const bool madeOpaque = layout != Layout::Bgra8 && layout != Layout::Rgba16;
  if (inPlace && !cmykStoredAs && format != into) image = image.convertToFormat(into);
  QImage converted = inPlace ? std::move(image) : QImage(image.size(), into);
  // The pixels' addresses are taken before the threads start: a QImage is
  // not for several threads at once.
  uchar* const to = converted.isNull() ? nullptr : converted.bits();
  if (!to) return inPlace ? converted : image;
  const uchar* const from = inPlace ? to : image.constBits();
  const qsizetype toStride = converted.bytesPerLine(), fromStride = inPlace ? toStride : image.bytesPerLine();
  const int width = converted.width();
  const bool eightBits = converted.depth() == 32;
  forRowBands(converted.height(), qint64{width} * converted.height(), [=](int first, int count) {
    for (int y = first; y < first + count; ++y) {
      uchar* line = to + y * toStride;
      transform->convert(from + y * fromStride, line, width);
      if (madeOpaque && eightBits)
        for (int x = 0; x < width; ++x) reinterpret_cast<QRgb*>(line)[x] |= 0xFF000000u;
      else if (madeOpaque)
        for (int x = 0; x < width; ++x) reinterpret_cast<quint16*>(line)[x * 4 + 3] = 0xFFFF;
    }
  });
  converted.setColorSpace(convertedSpace);
  return converted;
}

}  // namespace platform
