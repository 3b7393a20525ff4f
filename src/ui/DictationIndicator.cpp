#include "ui/DictationIndicator.h"

#include "ui/CapsuleLayout.h"
#include "ui/CapsuleTimerText.h"
#include "ui/CompositingProbe.h"
#include "ui/HexColor.h"
#include "ui/MiniEqualizer.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace vokari {

namespace {
constexpr int fadeInMs = 150;
constexpr int fadeOutMs = 120;
constexpr int pulseMs = 1000; // 0.5 s down to 0.4, 0.5 s back
constexpr int topMargin = 6;

QString toQString(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

template <typename Fn> Task DictationIndicator::guarded(Fn fn) {
    return [weak = std::weak_ptr<int>(lifetime), this, fn = std::move(fn)] {
        if (weak.lock()) {
            fn();
        }
    };
}

DictationIndicator::DictationIndicator(MainQueue& queue, const Settings& settingsRef, NotificationCenter& center)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::X11BypassWindowManagerHint),
      mainQueue(queue), settings(settingsRef), sizeInForce(storedCapsuleSize(settingsRef)) {
    // Override-redirect: the window manager never focuses it, lists it in a taskbar or pager, or leaves it on one
    // workspace, and it maps above full-screen windows.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11NetWmWindowTypeNotification);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Vokari capsule"));
    compositing = compositingManagerRunning();
    setAttribute(Qt::WA_TranslucentBackground, compositing);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, colorFromHex(capsuleColors::background));
    setPalette(palette);

    left = new MiniEqualizer(frames, this);
    right = new MiniEqualizer(frames, this);
    label = new QLabel(this);
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::NoFocus);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);

    fade = new QVariantAnimation(this);
    QObject::connect(fade, &QVariantAnimation::valueChanged, this,
                     [this](const QVariant& value) { setWindowOpacity(value.toDouble()); });
    QObject::connect(fade, &QVariantAnimation::finished, this, [this] {
        if (fadingOut) {
            finishHide();
        }
    });
    pulse = new QVariantAnimation(this);
    pulse->setDuration(pulseMs);
    pulse->setKeyValueAt(0.0, 1.0);
    pulse->setKeyValueAt(0.5, 0.4);
    pulse->setKeyValueAt(1.0, 1.0);
    QObject::connect(pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        labelOpacity = value.toDouble();
        applyLabelColor();
    });

    const CapsuleMetrics metrics = capsuleMetrics(sizeInForce);
    resize(metrics.width, metrics.height);
    setLabel("0:00", capsuleColors::timer);
    applySize();
    sizeObserver = center.addObserver(
        sizeChangedNotification,
        [weak = std::weak_ptr<int>(lifetime), this](const std::any&) {
            if (weak.lock()) {
                onSizeChanged();
            }
        },
        &mainQueue);
}

DictationIndicator::~DictationIndicator() {
    sizeObserver.reset();
    elapsedTimer.cancel();
    pulseTimer.cancel();
}

void DictationIndicator::showIndicator() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    ++generation;
    followCompositor();
    const CapsuleMetrics metrics = capsuleMetrics(sizeInForce);
    setContentSize(metrics.width, metrics.height);
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - metrics.width) / 2, area.y() + topMargin);
    currentLook = Look::recording;
    setLabel("0:00", capsuleColors::timer);
    left->reset();
    right->reset();
    startTime = mainQueue.now();

    fade->stop();
    fadingOut = false;
    if (compositing) {
        setWindowOpacity(0.0);
        show();
        raise();
        fade->setDuration(fadeInMs);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        fade->start();
    } else {
        setWindowOpacity(1.0);
        show();
        raise();
    }
    startElapsedTimer();
    left->startRendering();
    right->startRendering();
}

void DictationIndicator::pushLevel(float level) {
    left->pushLevel(level);
    right->pushLevel(level);
}

void DictationIndicator::showProcessing() {
    stopPulse();
    stopElapsedTimer();
    stopMeters();
    left->setDimmed(true);
    right->setDimmed(true);
    currentLook = Look::processing;
    setLabel(labelText, capsuleColors::processing);
    startProcessingPulse();
}

void DictationIndicator::showError(const std::string& message) {
    stopPulse();
    stopElapsedTimer();
    stopMeters();
    currentLook = Look::error;
    const CapsuleMetrics metrics = capsuleMetrics(sizeInForce);
    setContentSize(metrics.errorWidth, metrics.height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - metrics.errorWidth) / 2, y());
    }
    setLabel(message, capsuleColors::error);
    mainQueue.postAfter(2.0, guarded([this, g = generation] {
                            if (generation == g) {
                                hideIndicator();
                            }
                        }));
}

void DictationIndicator::hideIndicator() {
    stopPulse();
    stopElapsedTimer();
    stopMeters();
    startTime.reset();
    if (!isVisible()) {
        finishHide();
        return;
    }
    fadeOut();
}

void DictationIndicator::fadeOut() {
    fade->stop();
    if (!compositing) {
        finishHide();
        return;
    }
    fadingOut = true;
    fade->setDuration(fadeOutMs);
    fade->setStartValue(windowOpacity());
    fade->setEndValue(0.0);
    fade->start();
}

// Hidden for good: the next show sets the normal size again, so an error's width ends here too.
void DictationIndicator::finishHide() {
    fadingOut = false;
    hide();
    currentLook = Look::hidden;
    const CapsuleMetrics metrics = capsuleMetrics(sizeInForce);
    setContentSize(metrics.width, metrics.height);
    updateAccessibleNames();
}

void DictationIndicator::onSizeChanged() {
    sizeInForce = storedCapsuleSize(settings);
    applySize();
}

// Restyles at once; the window's own width and height follow at the next show.
void DictationIndicator::applySize() {
    const CapsuleMetrics metrics = capsuleMetrics(sizeInForce);
    QFont font = QApplication::font();
    font.setPixelSize(metrics.fontSize);
    font.setWeight(QFont::Medium);
    label->setFont(font);
    layoutContent();
    update();
}

void DictationIndicator::setContentSize(int width, int height) {
    if (this->width() != width || this->height() != height) {
        resize(width, height);
    }
}

void DictationIndicator::layoutContent() {
    const CapsuleMetrics metrics = capsuleMetrics(sizeInForce);
    const QFontMetrics fm(label->font());
    const int maxWidth = static_cast<int>(capsuleLabelMaxWidth(width(), metrics));
    // A message wider than the capsule is cut with an ellipsis; the accessible name keeps it whole.
    const QString shown = fm.elidedText(toQString(labelText), Qt::ElideRight, maxWidth);
    if (label->text() != shown) {
        label->setText(shown);
    }
    const QSize natural = label->sizeHint();
    const int labelWidth = std::min(natural.width(), std::max(maxWidth, 0));
    const CapsuleLayout layout = capsuleLayout(width(), height(), labelWidth, natural.height(), metrics);
    const auto toRect = [](const CapsuleRect& r) {
        return QRect(static_cast<int>(r.x), static_cast<int>(r.y), static_cast<int>(std::lround(r.width)),
                     static_cast<int>(std::lround(r.height)));
    };
    label->setGeometry(toRect(layout.label));
    left->setGeometry(toRect(layout.leftEQ));
    right->setGeometry(toRect(layout.rightEQ));
}

void DictationIndicator::setLabel(const std::string& text, std::string_view color) {
    const bool textChanged = text != labelText;
    labelText = text;
    labelColor = color;
    applyLabelColor();
    if (textChanged || label->text().isEmpty()) {
        layoutContent();
    }
    updateAccessibleNames();
}

void DictationIndicator::applyLabelColor() {
    QColor color = colorFromHex(labelColor);
    color.setAlphaF(static_cast<float>(color.alphaF() * labelOpacity));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

void DictationIndicator::updateAccessibleNames() {
    const QString text = toQString(labelText);
    label->setAccessibleName(text);
    switch (currentLook) {
    case Look::recording:
        setAccessibleName(QStringLiteral("Recording %1").arg(text));
        break;
    case Look::processing:
        setAccessibleName(QStringLiteral("Processing %1").arg(text));
        break;
    case Look::error:
        setAccessibleName(QStringLiteral("Error: %1").arg(text));
        break;
    case Look::hidden:
        setAccessibleName(QStringLiteral("Dictation capsule"));
        break;
    }
}

void DictationIndicator::startElapsedTimer() {
    stopElapsedTimer();
    elapsedTimer = mainQueue.postRepeating(1.0, guarded([this] {
                                               if (!startTime) {
                                                   return;
                                               }
                                               const CapsuleTimerText t =
                                                   capsuleTimerText(mainQueue.now() - *startTime, maxDuration);
                                               setLabel(t.text, t.color);
                                           }));
}

void DictationIndicator::stopElapsedTimer() {
    elapsedTimer.cancel();
    elapsedTimer = {};
}

void DictationIndicator::startProcessingPulse() {
    pulseTimer = mainQueue.postRepeating(1.0, guarded([this] {
                                             pulse->stop();
                                             pulse->start();
                                         }));
}

void DictationIndicator::stopPulse() {
    pulseTimer.cancel();
    pulseTimer = {};
    pulse->stop();
    labelOpacity = 1.0;
    applyLabelColor();
}

void DictationIndicator::stopMeters() {
    left->stopRendering();
    right->stopRendering();
}

void DictationIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outline = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    // A size change while shown restyles the corners before the window itself resizes.
    const double radius = std::min(capsuleMetrics(sizeInForce).height / 2.0, outline.height() / 2);
    QColor background = colorFromHex(capsuleColors::background);
    background.setAlphaF(compositing ? 0.92f : 1.0f);
    painter.setPen(QPen(QColor(255, 255, 255, 20), 0.5));
    painter.setBrush(background);
    painter.drawRoundedRect(outline, radius, radius);
}

void DictationIndicator::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContent();
    updateShape();
}

// Without a compositor the corners are cut by a shape mask instead of drawn clear.
void DictationIndicator::updateShape() {
    if (compositing) {
        clearMask();
        return;
    }
    QPainterPath path;
    const double radius = std::min(capsuleMetrics(sizeInForce).height / 2.0, height() / 2.0);
    path.addRoundedRect(QRectF(rect()), radius, radius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

// A compositor started (or stopped) after launch: the window is made again with or without an alpha channel.
// Only while hidden, which is when the next recording asks.
void DictationIndicator::followCompositor() {
    const bool running = compositingManagerRunning();
    if (running == compositing || isVisible()) {
        return;
    }
    compositing = running;
    if (testAttribute(Qt::WA_WState_Created)) {
        destroy();
    }
    setAttribute(Qt::WA_TranslucentBackground, compositing);
    updateShape();
}

void DictationIndicator::mousePressEvent(QMouseEvent* event) {
    dragOffset = event->globalPosition().toPoint() - pos();
}

void DictationIndicator::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) {
        move(event->globalPosition().toPoint() - dragOffset);
    }
}

} // namespace vokari
