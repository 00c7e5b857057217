#include "startup/MODULE_Public.h"

namespace MODULE_Public {

void resetToProcessStart() {
  CurrentPath.clear();
  StartPath.clear();
  ConfirmRename = 0;
  ConfirmDelete = 0;
  CommandFullSize = 0;
  FilterIndex = 0;
  ShowHidden = 0;
  ViewerFromBrowser = 0;
}

QString folderWithSeparator(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

}  // namespace MODULE_Public
