#pragma once
// One row of the dictation history: the time of day, a copy button that shows while the pointer is over the
// row, and the wrapping, selectable text. The copy puts the text on the clipboard and shows a green check for
// one second. Main thread; the queue must outlive the row.
#include "core/MainQueue.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QWidget>

class QLabel;
class QVariantAnimation;

namespace vokari {

// The copy control: two overlapping sheets, or a check mark once copied, drawn in the tint colour.
class CopyGlyphButton : public QAbstractButton {
public:
    explicit CopyGlyphButton(QWidget* parent = nullptr);
    void setCopied(bool copied);
    bool isCopied() const { return copied; }
    QColor tint() const;
    // 0 hides the glyph (the button still takes its place), 1 shows it fully.
    void setGlyphOpacity(double value);
    double glyphOpacity() const { return opacity; }
    QSize sizeHint() const override { return {16, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool copied = false;
    double opacity = 0;
};

class TranscriptEntryView : public QWidget {
public:
    TranscriptEntryView(const QString& text, const QDateTime& timestamp, MainQueue& queue, QWidget* parent = nullptr);

    // Shows another entry in this row (rows are reused across rebuilds); a copy confirmation is cleared.
    void setEntry(const QString& text, const QDateTime& timestamp);
    // "h:mm a" in the user's locale and time zone.
    static QString timeOfDay(const QDateTime& timestamp);

    const QString& entryText() const { return text; }
    CopyGlyphButton* copyButton() const { return button; }
    QLabel* timeLabel() const { return timeText; }
    QLabel* textLabel() const { return bodyText; }
    // The opacity the copy button is shown at or moving towards.
    double copyButtonTargetOpacity() const { return targetOpacity; }

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void copyTapped();
    void fadeCopyButton(double to);

    QString text;
    MainQueue& queue;
    CopyGlyphButton* button = nullptr;
    QLabel* timeText = nullptr;
    QLabel* bodyText = nullptr;
    QVariantAnimation* fade = nullptr; // made on the first hover: most rows are never hovered
    double targetOpacity = 0;
};

} // namespace vokari
