#pragma once

// GIO, the desktop's own services (file types, desktop entries, the trash),
// with owning pointers for what it hands out.

// GLib names a member "signals", which Qt's keyword macro would rewrite.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <memory>

namespace platform::gio {

struct FreeText {
  void operator()(gchar* text) const { g_free(text); }
};
struct Unref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
struct FreeError {
  void operator()(GError* error) const { g_error_free(error); }
};

using Text = std::unique_ptr<gchar, FreeText>;
template <class T>
using Object = std::unique_ptr<T, Unref>;
using Error = std::unique_ptr<GError, FreeError>;

}  // namespace platform::gio
