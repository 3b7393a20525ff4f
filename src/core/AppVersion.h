#pragma once
// The version this build of Vokari reports (About, tray menu, update check, --version). It lives in one generated
// source, so building the same tree as another version (the VOKARI_APP_VERSION cache variable) recompiles one
// file and relinks.

namespace vokari {

const char* appVersion();

} // namespace vokari
