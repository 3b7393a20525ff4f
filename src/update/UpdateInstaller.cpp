#include "update/UpdateInstaller.h"
// Anchors the seam in the update layer; the updater's sources join it here.
