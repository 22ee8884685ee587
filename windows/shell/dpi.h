// The screen's dots per inch, which the program declares itself aware of
// (its manifest): lengths given in pixels at 96 dots per inch are scaled
// to it, so that they keep their proportion to the dialogs, whose dialog
// units the system scales itself. UI thread.
#pragma once

namespace pw {

// The system's dots per inch (96 at 100 %, 144 at 150 %), read once.
int SystemDpi();

// `pixels` at 96 dots per inch, scaled to the system's dots per inch.
int ScaledPixels(int pixels);

}  // namespace pw
