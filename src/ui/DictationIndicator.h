#pragma once
// The floating recording capsule at the top centre of the primary screen: a running timer between two live level
// meters while recording, a dimmed pulsing timer while processing, a red message on errors (hidden 2 s later).
// It never takes focus or activates, so the window being dictated into keeps its focus and selection.
// Timers run on the main queue; the meters' frame timer runs only while they render. Main thread; owned by the
// app wiring for the whole run.
#include "app/Indicator.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Subscription.h"
#include "ui/CapsuleSize.h"
#include "ui/FrameClock.h"

#include <QWidget>

#include <optional>
#include <string_view>

class QLabel;
class QVariantAnimation;

namespace vokari {

class MiniEqualizer;

class DictationIndicator : public QWidget, public Indicator {
public:
    static constexpr const char* sizeChangedNotification = notifications::capsuleSizeChanged;

    // The capsule reads its size from `settings` at creation and on every size-change notification.
    DictationIndicator(MainQueue& mainQueue, const Settings& settings, NotificationCenter& notificationCenter);
    ~DictationIndicator() override;

    void showIndicator() override;
    void hideIndicator() override;
    void showProcessing() override;
    void showError(const std::string& message) override;
    void pushLevel(float level) override;
    void setMaxDuration(double seconds) override { maxDuration = seconds; }

    enum class Look { hidden, recording, processing, error };
    Look look() const { return currentLook; }
    CapsuleSize currentSize() const { return sizeInForce; }
    // True with a compositing manager: translucent corners and fades; otherwise a window mask and no fades.
    bool translucent() const { return compositing; }
    QLabel& timerLabel() const { return *label; }
    MiniEqualizer& leftEQ() const { return *left; }
    MiniEqualizer& rightEQ() const { return *right; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void onSizeChanged();
    void applySize();
    void followCompositor();
    void updateShape();
    void layoutContent();
    void setLabel(const std::string& text, std::string_view color);
    void applyLabelColor();
    void updateAccessibleNames();
    void setContentSize(int width, int height);
    void startElapsedTimer();
    void stopElapsedTimer();
    void startProcessingPulse();
    void stopPulse();
    void stopMeters();
    void fadeOut();
    void finishHide();
    template <typename Fn> Task guarded(Fn fn);

    MainQueue& mainQueue;
    const Settings& settings;
    std::shared_ptr<FrameClock> frames = std::make_shared<FrameClock>(); // both meters animate on one timer
    QLabel* label;
    MiniEqualizer* left;
    MiniEqualizer* right;
    QVariantAnimation* fade;
    QVariantAnimation* pulse;

    TaskHandle elapsedTimer;
    TaskHandle pulseTimer;
    std::optional<double> startTime;
    double maxDuration = 0;
    unsigned generation = 0;
    CapsuleSize sizeInForce;
    Look currentLook = Look::hidden;
    bool compositing = false;
    bool fadingOut = false;
    std::string labelText;
    std::string_view labelColor;
    double labelOpacity = 1.0;
    QPoint dragOffset;
    Subscription sizeObserver;
    std::shared_ptr<int> lifetime = std::make_shared<int>(0); // queued callbacks hold it weakly
};

} // namespace vokari
