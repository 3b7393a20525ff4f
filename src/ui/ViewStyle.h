#pragma once
// Small builders shared by the window's views: a label in a brand font and hex colour, a link-styled button, and a
// solid background. Main thread.
#include <QFont>
#include <QString>

#include <functional>
#include <string_view>

class QAbstractScrollArea;
class QLabel;
class QPushButton;
class QWidget;

namespace vokari::ViewStyle {

QLabel* makeLabel(const QString& text, const QFont& font, std::string_view hexColor, QWidget* parent);
void setTextColor(QLabel* label, std::string_view hexColor);
// A borderless button drawn as an underlined link (Figtree 12, "#4A9EFF") that runs `action` when clicked.
QPushButton* makeLink(const QString& text, std::function<void()> action, QWidget* parent);
void setBackground(QWidget* widget, std::string_view hexColor);
// A thin dark vertical scroller without arrows, for the window's scroll views.
void styleScroller(QAbstractScrollArea* scrollArea);

} // namespace vokari::ViewStyle
