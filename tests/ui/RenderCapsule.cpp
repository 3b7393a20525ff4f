// Renders the recording capsule in each look (recording with live levels, countdown, processing, error) for each
// size on a real display and writes one PNG sheet per size, cropped from the screen as the user would see it.
// Usage: vokari_render_capsule <out-dir> <name-suffix> [size...]. Run it under Xvfb (scripts/screenshots.sh).
#include "core/DefaultsStore.h"
#include "core/VirtualMainQueue.h"
#include "ui/DictationIndicator.h"
#include "ui/MiniEqualizer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <vector>

using namespace vokari;

namespace {

void paintBackdrop(QPainter& painter, const QRect& rect) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
    gradient.setColorAt(0, QColor("#5b6f8a"));
    gradient.setColorAt(1, QColor("#c9b38f"));
    painter.fillRect(rect, gradient);
}

// A strip of "desktop" behind the capsule, so its translucency and corners show against something.
class Backdrop : public QWidget {
public:
    Backdrop() : QWidget(nullptr, Qt::FramelessWindowHint) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintBackdrop(painter, rect());
    }
};

// Scaled displays: the screen grab works in device pixels that Xvfb does not scale, so draw the capsule itself at
// the screen's pixel ratio over the same backdrop.
QImage renderScaled(DictationIndicator& indicator, const QRect& crop, double ratio) {
    QImage image(crop.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    paintBackdrop(painter, QRect(QPoint(0, 0), crop.size()));
    painter.drawPixmap(indicator.pos() - crop.topLeft(), indicator.grab());
    return image;
}

void settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// Speech-like levels: pushed at 10 Hz while the frame timers animate the meters in real time.
void speak(DictationIndicator& indicator, const std::vector<float>& levels) {
    for (float level : levels) {
        indicator.pushLevel(level);
        settle(100);
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <out-dir> <name-suffix> [small|medium|large...]\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString suffix = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    std::vector<std::string> sizes;
    for (int i = 3; i < argc; ++i) {
        sizes.emplace_back(argv[i]);
    }
    if (sizes.empty()) {
        sizes = {"small", "medium", "large"};
    }

    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    Backdrop backdrop;
    backdrop.setGeometry(area.x(), area.y(), area.width(), 90);
    backdrop.show();
    settle(200);

    for (const std::string& raw : sizes) {
        VirtualMainQueue queue;
        MemoryDefaultsStore store;
        store.setString("capsuleSize", raw);
        Settings settings(store);
        NotificationCenter center;
        DictationIndicator indicator(queue, settings, center);
        const CapsuleMetrics m = capsuleMetrics(capsuleSizeFromRaw(raw));
        const QRect crop(area.x() + (area.width() - m.errorWidth) / 2 - 12, area.y(), m.errorWidth + 24, m.height + 12);
        std::vector<QImage> shots;
        const auto shoot = [&] {
            settle(350); // past the fade-in, and the X server has drawn
            const double ratio = screen->devicePixelRatio();
            shots.push_back(ratio > 1
                                ? renderScaled(indicator, crop, ratio)
                                : screen->grabWindow(0, crop.x(), crop.y(), crop.width(), crop.height()).toImage());
        };

        indicator.setMaxDuration(300);
        indicator.showIndicator();
        queue.advance(7.3);
        speak(indicator, {0.01f, 0.03f, 0.05f, 0.04f, 0.02f, 0.035f});
        shoot();
        queue.advance(285.5 - 7.3);
        speak(indicator, {0.02f, 0.012f, 0.018f});
        shoot();
        indicator.showProcessing();
        shoot();
        indicator.showError("Request timed out — try again");
        shoot();
        indicator.hideIndicator();
        settle(200);

        const int gap = 2 * static_cast<int>(std::ceil(screen->devicePixelRatio()));
        for (QImage& shot : shots) {
            shot.setDevicePixelRatio(1.0); // the sheet is laid out in the shots' own pixels
        }
        QImage sheet(shots[0].width(), static_cast<int>(shots.size()) * (shots[0].height() + gap) - gap,
                     QImage::Format_RGB32);
        sheet.fill(QColor("#202020"));
        QPainter painter(&sheet);
        for (std::size_t i = 0; i < shots.size(); ++i) {
            painter.drawImage(0, static_cast<int>(i) * (shots[0].height() + gap), shots[i]);
        }
        painter.end();
        const QString path = QStringLiteral("%1/capsule-%2%3.png").arg(outDir, QString::fromStdString(raw), suffix);
        if (!sheet.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s (%s)\n", qPrintable(path), indicator.translucent() ? "compositor" : "no compositor");
    }
    return 0;
}
