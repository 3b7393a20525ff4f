#pragma once
// The modal "Press any key" dialog behind the Custom hotkey choice. While it runs, an application-wide key filter
// takes the first key pressed (Escape passes through and cancels, like the Cancel button) and closes the dialog.
// Keys the hotkey cannot watch (no virtual key code) are refused with a note and the dialog keeps waiting.
// Main thread.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;
class QLabel;

namespace vokari {

class KeyRecorderDialog : public QDialog {
public:
    // Core's virtual key code for a key event, or nothing for a key the hotkey cannot watch.
    using KeyTranslator = std::function<std::optional<std::uint16_t>(const QKeyEvent&)>;
    struct CapturedKey {
        std::uint16_t keyCode = 0;
        QString name; // the key's character upper-cased, else "Key " + code
    };

    KeyRecorderDialog(KeyTranslator translate, QWidget* parent = nullptr);
    ~KeyRecorderDialog() override;

    // Runs the dialog modally; nothing on Cancel or Escape.
    std::optional<CapturedKey> record();

    static QString keyName(const QKeyEvent& event, std::uint16_t keyCode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void removeMonitor();

    KeyTranslator translate;
    QLabel* waiting = nullptr;
    bool monitoring = false;
    std::optional<CapturedKey> captured;
};

} // namespace vokari
