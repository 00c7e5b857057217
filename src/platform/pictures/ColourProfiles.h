#pragma once

// Colours as the picture means them. A file may say in which colours its
// pixels are meant (an embedded ICC profile, or a camera's EXIF note that it
// is Adobe RGB); such pixels are converted once, right after decoding, at
// the decoded size and on the decoding thread, so that painting never
// converts: to the display's own profile where the desktop publishes one,
// else to sRGB. Pictures without a profile are taken as sRGB and left as
// they are, and so are those whose profile is sRGB: bit for bit. A damaged,
// truncated or hostile profile is ignored, and the picture shows as one
// without a profile.

#include <QByteArray>
#include <QImage>

#include <memory>
#include <optional>

namespace platform {

class ReadableFile;

// The profile a file embeds, from its format's own place for it: PNG's iCCP
// chunk, WebP's ICCP chunk, TIFF's profile tag (JPEG's are read by its
// decoder). Empty when there is none, or it cannot be read.
QByteArray embeddedProfile(const ReadableFile& file, const QByteArray& format);

// Whether a JPEG's EXIF block (an APP1 marker's data) declares Adobe RGB as
// cameras in Adobe RGB mode write it: colour space "uncalibrated" and the
// interoperability index "R03" of the DCF option file.
bool exifDeclaresAdobeRgb(const QByteArray& exif);
QByteArray adobeRgbProfile();

// The colours newer formats (HEIF, AVIF, JPEG XL) declare by numbers (CICP,
// ITU-T H.273) rather than by a profile: the primaries' and the white's
// chromaticities and the transfer function's number. A profile of them;
// empty for sRGB's own (and BT.709's, whose pictures are shown as sRGB, as
// every viewer does), and for transfers this program does not show (PQ and
// HLG, for HDR displays).
struct CicpColours {
  double red[2], green[2], blue[2], white[2];  // x, y
  int transfer;
  bool srgbPrimaries;
};
QByteArray cicpProfile(const CicpColours& colours);

// Where converted colours are to be seen.
enum class ColourTarget {
  Display,  // the display's profile where one is set, else sRGB
  Srgb,     // files written for other programs, which take them as sRGB
};

// The display's profile, as the desktop publishes it. Empty, or one that
// cannot take RGB colours, or sRGB's own, leaves the display at sRGB. Set
// before pictures are decoded: those decoded before keep their colours.
void setDisplayProfile(const QByteArray& profile);
// Whether pictures are converted to a display profile rather than sRGB.
bool displayHasOwnProfile();

// Does once what converting first needs of the system (the number of
// cores), for a process that may no longer ask it when it converts.
void prepareColourConversion();

// A conversion from a profile to the target's colours, for one layout of
// pixels; made once for each profile, layout and target, and shared. Any
// thread may use it at once.
class ColourTransform {
 public:
  enum class Layout {
    Bgra8,          // QImage's RGB32 and ARGB32, alpha kept
    Gray8,          // into Bgra8
    Rgba16,         // QImage's RGBA64 and RGBX64, alpha kept
    Gray16,         // into Rgba16
    Cmyk8,          // into Bgra8
    InvertedCmyk8,  // as Adobe's programs store CMYK in JPEG files; into Bgra8
  };

  // Nothing where the pixels need no conversion: no profile, an sRGB one,
  // one that is not of the layout's colours, or one that cannot be used.
  static std::shared_ptr<const ColourTransform> to(ColourTarget target, const QByteArray& profile, Layout from);

  ~ColourTransform();
  ColourTransform(const ColourTransform&) = delete;
  ColourTransform& operator=(const ColourTransform&) = delete;

  void convert(const void* from, void* to, int pixels) const;

 private:
  struct MatrixShaper;
  explicit ColourTransform(void* transform);
  void* transform_;
  // For 8-bit RGB from a profile of three curves and a matrix: the same sums
  // in tables and floats, several times faster than lcms2's general path,
  // used where they agree with it.
  std::unique_ptr<const MatrixShaper> matrixShaper_;
};

// The picture's pixels converted from the profile to the target, in its format
// where that holds the result (8-bit and 16-bit colour), else as RGB32 or
// ARGB32; the picture itself where no conversion is needed. CMYK pixels come
// four bytes each in an RGB32 picture, stored as the layout says. Large
// pictures are converted on every core.
QImage convertedColours(QImage image, const QByteArray& profile, ColourTarget target,
                        std::optional<ColourTransform::Layout> cmykStoredAs = std::nullopt);

}  // namespace platform
