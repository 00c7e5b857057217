#pragma once

#include <QString>

#include <cstdint>

// Small functions over the operating system's file and program services.
namespace MODULE_Win32Api {

// True (-1) when the path can be opened for reading now, false (0)
// otherwise: a folder, a FIFO, a device, a missing or unreadable file, an
// empty text. Never blocks and never fails.
std::int16_t FileExists(const QString& path);

}  // namespace MODULE_Win32Api
