#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>

// Small functions over the operating system's file and program services.
namespace MODULE_Win32Api {

// True (-1) when the path can be opened for reading now, false (0)
// otherwise: a folder, a FIFO, a device, a missing or unreadable file, an
// empty text. Never blocks and never fails.
std::int16_t FileExists(const QString& path);

// The code of the last program lookup: above 32 when a program was found,
// otherwise why not (2 no such file, 31 no program for the file's type).
// Lookups run off the window's thread.
inline std::atomic<std::int32_t> FindExeResult = 0;

// The program the desktop opens the file with, as the full path of its
// desktop entry, or empty text when there is none or the lookup fails.
QString FindAssociatedProgram(const QString& file);

// Starts the program of a desktop entry (as FindAssociatedProgram gives it),
// detached, the way the entry says, with the parameters as the one file it
// opens. Show mode 1 without a style, 2 for a style beginning "min" in any
// case, 3 for any other. Whether the start worked is not reported.
void ShellOpen(const QString& file, const std::optional<QString>& parameters = std::nullopt,
               const std::optional<QString>& style = std::nullopt);

// The text up to its first NUL character; the whole text when it has none.
QString StripNull(const QString& text);

}  // namespace MODULE_Win32Api
