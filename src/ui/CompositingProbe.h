#pragma once
// Whether a compositing manager runs on the display of this Qt application (X11: the _NET_WM_CM_Sn selection has
// an owner). Without one, translucent windows show black where they should be clear. Main thread.

namespace vokari {

bool compositingManagerRunning();

} // namespace vokari
