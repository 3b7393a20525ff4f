#pragma once
// The small floating window shown while an update downloads and installs: "Updating to <version>", a divider, a
// spinner and a status line, on a dark rounded panel (320 × 150, #1A1A1C, radius 14) that stays above other
// windows and moves when dragged by its background. Escape, its × button or the window manager's close ask the
// cancel callback; the window closes only when that agrees (an installation under way cannot be cut short).
// Main thread; owned by the update presenter.
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace vokari {

class UpdateProgressWindow : public QWidget {
public:
    static constexpr int contentWidth = 320;
    static constexpr int contentHeight = 150;

    UpdateProgressWindow(const QString& version, std::function<bool()> cancel);

    // Centres the window on the primary screen, shows it and brings it to the front with the keyboard focus.
    void showCentred();
    // Replaces the status line.
    void updateStatus(const QString& status);
    // Closes without asking the cancel callback (the update ended by itself).
    void closeQuietly();

    QLabel* statusLabel() const { return status; }
    QLabel* titleLabel() const { return title; }
    QPushButton* cancelButton() const { return closeButton; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void requestCancel();

    std::function<bool()> cancel;
    QLabel* title = nullptr;
    QLabel* status = nullptr;
    QWidget* spinner = nullptr;
    QPushButton* closeButton = nullptr;
    bool compositing = false;
    bool closingQuietly = false;
};

} // namespace vokari
