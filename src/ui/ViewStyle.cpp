#include "ui/ViewStyle.h"

#include "ui/BrandFonts.h"
#include "ui/HexColor.h"

#include <QAbstractScrollArea>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace vokari::ViewStyle {

QLabel* makeLabel(const QString& text, const QFont& font, std::string_view hexColor, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    setTextColor(label, hexColor);
    return label;
}

void setTextColor(QLabel* label, std::string_view hexColor) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colorFromHex(hexColor));
    label->setPalette(palette);
}

QPushButton* makeLink(const QString& text, std::function<void()> action, QWidget* parent) {
    auto* link = new QPushButton(text, parent);
    link->setFlat(true);
    link->setCursor(Qt::PointingHandCursor);
    link->setAccessibleName(text);
    QFont font = BrandFonts::figtree(12);
    font.setUnderline(true);
    link->setFont(font);
    link->setStyleSheet(QStringLiteral("QPushButton { color: #4A9EFF; border: none; background: transparent; "
                                       "padding: 0px; }"));
    QObject::connect(link, &QPushButton::clicked, link, [fn = std::move(action)] {
        if (fn) {
            fn();
        }
    });
    return link;
}

void setBackground(QWidget* widget, std::string_view hexColor) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colorFromHex(hexColor));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void styleScroller(QAbstractScrollArea* scrollArea) {
    scrollArea->verticalScrollBar()->setStyleSheet(
        QStringLiteral("QScrollBar:vertical { width: 8px; background: transparent; margin: 2px 1px; } "
                       "QScrollBar::handle:vertical { background: #3A3A3C; border-radius: 3px; min-height: 24px; } "
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0px; } "
                       "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}

} // namespace vokari::ViewStyle
