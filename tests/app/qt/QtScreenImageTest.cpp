// The screenshot path with Qt's imaging on synthetic screens: the scaled JPEG decodes at the bounded size, is
// written at Qt quality 70, and translucent captures encode too.
#include "app/qt/QtScreenImage.h"
#include "command/ScreenCapture.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>
#include <gtest/gtest.h>

#include <cstdlib>

namespace vokari {
namespace {

QGuiApplication& offscreenApp() {
    static int argc = 1;
    static char name[] = "screen-image-test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QGuiApplication(argc, argv);
    }();
    return *app;
}

QImage syntheticScreen(int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage image(w, h, format);
    QPainter p(&image);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(20, 40, 200));
    g.setColorAt(1, QColor(250, 200, 10, 128));
    p.fillRect(image.rect(), g);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, w, h), Qt::AlignCenter, QStringLiteral("Send"));
    return image;
}

class Fixed : public ScreenSource {
public:
    explicit Fixed(QImage image) : image(std::move(image)) {}
    std::unique_ptr<ScreenImage> capturePrimaryScreen() override { return std::make_unique<QtScreenImage>(image); }

private:
    QImage image;
};

QImage decoded(const std::string& base64) {
    return QImage::fromData(QByteArray::fromBase64(QByteArray::fromStdString(base64)), "JPEG");
}

TEST(QtScreenImage, ScaledScreensDecodeAtTheBoundedSizeAndUseQualitySeventy) {
    offscreenApp();
    const auto shot = [](QImage image) {
        return ScreenCapture(std::make_shared<Fixed>(std::move(image))).captureScreenBase64();
    };
    auto wide = shot(syntheticScreen(2560, 1600));
    ASSERT_TRUE(wide);
    EXPECT_EQ(decoded(*wide).size(), QSize(1280, 800));
    auto odd = shot(syntheticScreen(2000, 1333, QImage::Format_ARGB32_Premultiplied));
    ASSERT_TRUE(odd);
    EXPECT_EQ(decoded(*odd).size(), QSize(1280, 853));

    const QImage same = syntheticScreen(1280, 800);
    auto plain = shot(same);
    ASSERT_TRUE(plain);
    QByteArray expected;
    QBuffer buffer(&expected);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(70);
    ASSERT_TRUE(writer.write(same.convertToFormat(QImage::Format_RGB888)));
    EXPECT_EQ(QByteArray::fromStdString(*plain), expected.toBase64());

    EXPECT_FALSE(QtScreenImage(QImage()).jpeg(0.7));
}

} // namespace
} // namespace vokari
