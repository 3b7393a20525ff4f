#pragma once
// One "Not sent" row at the bottom of the Home history: a recording whose request failed, with its time, length
// and the reason, and a "Retry" button that sends it again. Main thread.
#include "app/UnsentRecordings.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace vokari {

class UnsentEntryView : public QWidget {
public:
    using Retry = std::function<void(const std::string& id)>;
    UnsentEntryView(const UnsentRecording& recording, Retry retry, QWidget* parent = nullptr);

    // "12.3 s recording · Server error — try again"
    static QString describe(const UnsentRecording& recording);

    const std::string& recordingId() const { return id; }
    QPushButton* retryButton() const { return button; }
    QLabel* textLabel() const { return bodyText; }

private:
    std::string id;
    QPushButton* button = nullptr;
    QLabel* bodyText = nullptr;
};

} // namespace vokari
