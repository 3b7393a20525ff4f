#pragma once
// Owns the main window (title "Vokari", 640 × 480 centred, at least 500 × 380, the main view as its content) and
// brings it to the front on demand. Closing the window hides it; the same window comes back on the next
// showAndFocus. Ctrl+W closes it and Ctrl+Q quits. Main thread; created once by the app wiring and kept for the
// life of the process.
#include "ui/MainView.h"

#include <QWidget>

#include <functional>
#include <memory>

namespace vokari {

class MainWindowController {
public:
    MainWindowController(MainView::Dependencies deps, std::function<void()> quit);
    ~MainWindowController();
    MainWindowController(const MainWindowController&) = delete;
    MainWindowController& operator=(const MainWindowController&) = delete;

    void showAndFocus();

    QWidget* window() const { return windowWidget.get(); }
    MainView* mainView() const { return view; }

private:
    std::unique_ptr<QWidget> windowWidget;
    MainView* view = nullptr;
};

} // namespace vokari
