#pragma once

class QStyle;

namespace platform {

// The style of check boxes and option buttons: the desktop's own, with the
// caption half as far from the box, as close as the windows' layout in twips
// was designed for, so that captions have the room it gives them.
QStyle* compactIndicatorStyle();

}  // namespace platform
