#include "ui/SettingsCards.h"

#include "ui/BrandFonts.h"
#include "ui/HexColor.h"
#include "ui/RoundedPanel.h"
#include "ui/ViewStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace vokari::SettingsCards {

namespace {

class Separator : public QWidget {
public:
    explicit Separator(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(QPen(colorFromHex("#2C2C2E"), 0.5));
        p.drawLine(QPointF(16, 0.5), QPointF(width(), 0.5));
    }
};

} // namespace

QLabel* sectionLabel(const QString& title, QWidget* parent) {
    return ViewStyle::makeLabel(title, BrandFonts::figtree(13, BrandFonts::Weight::medium), "#6E6E73", parent);
}

QWidget* makeSection(const QString& title, const std::vector<QWidget*>& rows, QWidget* parent) {
    auto* section = new QWidget(parent);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(sectionLabel(title, section));
    auto* card = new RoundedPanel("#1F1F21", "#2C2C2E", 12, section);
    auto* cardRows = new QVBoxLayout(card);
    cardRows->setContentsMargins(0, 0, 0, 0);
    cardRows->setSpacing(0);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) {
            cardRows->addWidget(makeSeparator(card));
        }
        rows[i]->setParent(card);
        cardRows->addWidget(rows[i]);
    }
    column->addWidget(card);
    return section;
}

QWidget* makeRow(const QString& title, QWidget* control, const QString& subtitle, QWidget* parent) {
    auto* row = new QWidget(parent);
    row->setFixedHeight(subtitle.isEmpty() ? 48 : 60);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(16, 0, 16, 0);
    line->setSpacing(12);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(3);
    texts->addStretch(1);
    auto* titleLabel = ViewStyle::makeLabel(title, BrandFonts::figtree(13), "#E0E0E0", row);
    texts->addWidget(titleLabel);
    if (!subtitle.isEmpty()) {
        auto* sub = ViewStyle::makeLabel(subtitle, BrandFonts::figtree(11), "#6E6E73", row);
        sub->setWordWrap(true);
        texts->addWidget(sub);
    }
    texts->addStretch(1);
    line->addLayout(texts, 1);
    if (control) {
        control->setParent(row);
        line->addWidget(control, 0, Qt::AlignVCenter | Qt::AlignRight);
    }
    row->setAccessibleName(title);
    return row;
}

QWidget* makeSeparator(QWidget* parent) {
    return new Separator(parent);
}

} // namespace vokari::SettingsCards
