#pragma once

// The font files, opened before the helper locks itself and handed out
// after it. The text drawing opens a font file by its name the first time it
// draws in that font; once locked, the helper can open no file at all, so
// every font file fontconfig knows is opened while it still can, and the
// libraries' calls to open a file are answered from these: a font file gets a
// descriptor of its own, anything else is refused.

namespace metafile {

// Opens every font file fontconfig lists, and the maps of fonts the WMF
// reader reads; stops fontconfig looking at its folders again.
void openEveryFont();

// From now on no file but a font file opened above is opened.
void refuseOtherFiles();

}  // namespace metafile
