// This file defines open and fopen: the C library's checked inline versions
// of them would stand in the way.
#undef _FORTIFY_SOURCE

#include "metafile_helper/FontFiles.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <type_traits>

namespace metafile {

namespace {

// By path; filled before the lock, only read after it.
std::unordered_map<std::string, int>& fontFiles() {
  static auto* files = new std::unordered_map<std::string, int>;
  return *files;
}

std::atomic<bool> othersRefused{false};

struct FontSetDeleter {
  void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};

// The descriptor of the font file at the path; -1 where it is none.
int fontFile(const char* path) {
  if (!path) return -1;
  const auto& files = fontFiles();
  const auto found = files.find(path);
  return found == files.end() ? -1 : found->second;
}

// A new descriptor of the font file, which reads from its start.
int copyOf(int font) {
  const int copy = ::fcntl(font, F_DUPFD_CLOEXEC, 0);
  if (copy >= 0) ::lseek(copy, 0, SEEK_SET);
  return copy;
}

// The C library's answer before the lock; after it, the failure, with EACCES.
template <typename Call>
auto passedOn(Call call, std::type_identity_t<decltype(call())> failed) {
  if (!othersRefused.load()) return call();
  errno = EACCES;
  return failed;
}

template <typename Call>
int passedOn(Call call) {
  return passedOn(call, -1);
}

bool readsOnly(int flags) { return (flags & (O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND)) == O_RDONLY; }

// What open and its kin answer: a new descriptor of a font file opened to be
// read; else what the call passed on answers.
template <typename Call>
int opened(const char* path, int flags, Call call) {
  const int font = readsOnly(flags) ? fontFile(path) : -1;
  return font >= 0 ? copyOf(font) : passedOn(call);
}

// What stat and its kin answer: a font file's state, as its descriptor
// tells it; else what the call passed on answers.
template <typename State, typename Call>
int stated(const char* path, State* state, Call call) {
  const int font = fontFile(path);
  if (font < 0) return passedOn(call);
  if constexpr (std::is_same_v<State, struct stat64>)
    return ::fstat64(font, state);
  else
    return ::fstat(font, state);
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

int modeOf(int flags, va_list arguments) {
  return (flags & O_CREAT) || (flags & __O_TMPFILE) == __O_TMPFILE ? va_arg(arguments, int) : 0;
}

}  // namespace

void openEveryFont() {
  // Thousands of fonts may be installed: as many descriptors as allowed.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  FcConfig* config = FcConfigGetCurrent();
  FcConfigSetRescanInterval(config, 0);
  const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> any(FcPatternCreate(), FcPatternDestroy);
  const std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> fileOnly(FcObjectSetBuild(FC_FILE, nullptr),
                                                                             FcObjectSetDestroy);
  if (!any || !fileOnly) return;
  const std::unique_ptr<FcFontSet, FontSetDeleter> fonts(FcFontList(config, any.get(), fileOnly.get()));
  if (!fonts) return;
  auto& opened = fontFiles();
  const auto open = [&](const std::string& path) {
    if (opened.count(path)) return;
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) opened.emplace(path, descriptor);
  };
  for (int i = 0; i < fonts->nfont; ++i) {
    FcChar8* file = nullptr;
    if (FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file) == FcResultMatch && file)
      open(reinterpret_cast<const char*>(file));
  }
  // The WMF reader looks up the fonts a picture names in these maps, as it
  // reads each picture.
  for (const char* map : {"/etc/libwmf.fontmap", "/var/lib/ghostscript/fonts/Fontmap"}) open(map);
}

void refuseOtherFiles() { othersRefused = true; }

}  // namespace metafile

// The calls the libraries open files with, answered here in place of the C
// library's (the helper's own definitions come first when a library's call is
// bound); before the lock they pass through to the C library's.
extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int mode = metafile::modeOf(flags, arguments);
  va_end(arguments);
  static const auto real = metafile::next<int (*)(const char*, int, ...)>("open");
  return metafile::opened(path, flags, [&] { return real(path, flags, mode); });
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int mode = metafile::modeOf(flags, arguments);
  va_end(arguments);
  static const auto real = metafile::next<int (*)(const char*, int, ...)>("open64");
  return metafile::opened(path, flags, [&] { return real(path, flags, mode); });
}

int __open_2(const char* path, int flags) {
  static const auto real = metafile::next<int (*)(const char*, int)>("__open_2");
  return metafile::opened(path, flags, [&] { return real(path, flags); });
}

int __open64_2(const char* path, int flags) {
  static const auto real = metafile::next<int (*)(const char*, int)>("__open64_2");
  return metafile::opened(path, flags, [&] { return real(path, flags); });
}

int openat(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int mode = metafile::modeOf(flags, arguments);
  va_end(arguments);
  static const auto real = metafile::next<int (*)(int, const char*, int, ...)>("openat");
  return metafile::opened(path, flags, [&] { return real(folder, path, flags, mode); });
}

int openat64(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const int mode = metafile::modeOf(flags, arguments);
  va_end(arguments);
  static const auto real = metafile::next<int (*)(int, const char*, int, ...)>("openat64");
  return metafile::opened(path, flags, [&] { return real(folder, path, flags, mode); });
}

FILE* fopen(const char* path, const char* mode) {
  static const auto real = metafile::next<FILE* (*)(const char*, const char*)>("fopen");
  const int font = mode && mode[0] == 'r' && !std::strchr(mode, '+') ? metafile::fontFile(path) : -1;
  if (font < 0) return metafile::passedOn([&] { return real(path, mode); }, nullptr);
  const int copy = metafile::copyOf(font);
  return copy >= 0 ? ::fdopen(copy, mode) : nullptr;
}

FILE* fopen64(const char* path, const char* mode) { return fopen(path, mode); }

// fontconfig looks at a font file's state, and whether it may read it,
// before it hands it out.
int stat(const char* path, struct stat* state) {
  static const auto real = metafile::next<int (*)(const char*, struct stat*)>("stat");
  return metafile::stated(path, state, [&] { return real(path, state); });
}

int stat64(const char* path, struct stat64* state) {
  static const auto real = metafile::next<int (*)(const char*, struct stat64*)>("stat64");
  return metafile::stated(path, state, [&] { return real(path, state); });
}

int lstat(const char* path, struct stat* state) {
  static const auto real = metafile::next<int (*)(const char*, struct stat*)>("lstat");
  return metafile::stated(path, state, [&] { return real(path, state); });
}

int lstat64(const char* path, struct stat64* state) {
  static const auto real = metafile::next<int (*)(const char*, struct stat64*)>("lstat64");
  return metafile::stated(path, state, [&] { return real(path, state); });
}

int access(const char* path, int mode) {
  static const auto real = metafile::next<int (*)(const char*, int)>("access");
  if (metafile::fontFile(path) < 0) return metafile::passedOn([&] { return real(path, mode); });
  if ((mode & (W_OK | X_OK)) == 0) return 0;
  errno = EACCES;
  return -1;
}
}
