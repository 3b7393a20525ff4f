#pragma once
// Opens a URL with the desktop's default handler for its scheme (GIO: mimeapps.list and the desktop entries),
// without a shell. Main thread. Owned by the app.
#include "command/UrlOpener.h"

namespace vokari::platform_linux {

class GioUrlOpener : public UrlOpener {
public:
    void open(const std::string& url) override;
};

} // namespace vokari::platform_linux
