#pragma once

#include <QString>

#include <cstdint>

// The working state that the windows share.
namespace MODULE_Public {

// The folder the browser shows, always ending with "/".
inline QString CurrentPath;
// The folder the browser opens in; empty: the folder the process started in.
inline QString StartPath;
// Check-box states: only 1 turns the choice on.
inline std::int16_t ConfirmRename = 0;
inline std::int16_t ConfirmDelete = 0;
inline std::int16_t CommandFullSize = 0;
// Applied once when the browser loads.
inline std::int16_t FilterIndex = 0;
inline std::int16_t ShowHidden = 0;
// True (-1) while the viewer is open from the browser.
inline std::int16_t ViewerFromBrowser = 0;

// Puts every variable back to its value at process start.
void resetToProcessStart();

// The folder-with-separator rule: a path that ends with "/" (the root) is
// used as it is, any other gets "/" appended.
QString folderWithSeparator(const QString& path);

}  // namespace MODULE_Public
