#include "core/MainQueue.h"

// The interface is header-only; this unit anchors its vtable.
