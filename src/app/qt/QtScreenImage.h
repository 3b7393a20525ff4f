#pragma once
// A screen image held as a QImage: smooth scaling and Qt's JPEG writer. Main thread (or any thread that owns it).
#include "command/ScreenImage.h"

#include <QImage>

namespace vokari {

class QtScreenImage : public ScreenImage {
public:
    explicit QtScreenImage(QImage image);

    int width() const override;
    int height() const override;
    std::unique_ptr<ScreenImage> scaled(int newWidth, int newHeight) const override;
    std::optional<std::vector<std::uint8_t>> jpeg(double quality) const override;

private:
    QImage image;
};

} // namespace vokari
