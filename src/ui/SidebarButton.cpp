#include "ui/SidebarButton.h"

#include "ui/BrandFonts.h"
#include "ui/HexColor.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace vokari {

namespace {

constexpr int kIconSize = 12;

// Symbols are drawn as silhouettes in one colour, whatever colours the theme's icon has.
QPixmap tinted(const QIcon& icon, int size, qreal dpr, const QColor& color) {
    QPixmap pixmap = icon.pixmap(QSize(size, size), dpr);
    if (pixmap.isNull()) {
        return pixmap;
    }
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    return pixmap;
}

} // namespace

SidebarButton::SidebarButton(const QIcon& icon, const QString& titleText, int tag, QWidget* parent)
    : QAbstractButton(parent), title(titleText), tabTag(tag), symbol(icon) {
    setFixedHeight(32);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(title);
    setCheckable(false);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 8, 0);
    row->setSpacing(8);
    iconView = new QLabel(this);
    iconView->setFixedWidth(16);
    iconView->setAlignment(Qt::AlignCenter);
    iconView->setAccessibleName(title);
    text = new QLabel(title, this);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    iconView->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(iconView, 0, Qt::AlignVCenter);
    row->addWidget(text, 1, Qt::AlignVCenter);
    setActive(false);
}

void SidebarButton::setActive(bool isActive) {
    active = isActive;
    hovered = !active && underMouse() && window()->isActiveWindow();
    tint = colorFromHex(active ? "#E0E0E0" : "#6E6E73");
    text->setFont(BrandFonts::figtree(13, active ? BrandFonts::Weight::medium : BrandFonts::Weight::regular));
    QPalette palette = text->palette();
    palette.setColor(QPalette::WindowText, colorFromHex(active ? "#F0F0F0" : "#98989D"));
    text->setPalette(palette);
    refreshIcon();
    update();
}

void SidebarButton::refreshIcon() {
    iconView->setPixmap(tinted(symbol, kIconSize, devicePixelRatioF(), tint));
}

double SidebarButton::backgroundAlpha() const {
    if (active) {
        return 0.08;
    }
    return hovered ? 0.04 : 0.0;
}

void SidebarButton::paintEvent(QPaintEvent*) {
    const double alpha = backgroundAlpha();
    if (alpha <= 0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(1, 1, 1, static_cast<float>(alpha)));
    painter.drawRoundedRect(QRectF(rect()), 7, 7);
}

// Hover counts only while the window is the active one, as tracking does for a key window.
void SidebarButton::enterEvent(QEnterEvent*) {
    if (!active && window()->isActiveWindow()) {
        hovered = true;
        update();
    }
}

void SidebarButton::leaveEvent(QEvent*) {
    if (hovered) {
        hovered = false;
        update();
    }
}

} // namespace vokari
