#include "ui/VocabTagEditor.h"

#include "ui/BrandFonts.h"
#include "ui/HexColor.h"
#include "ui/RoundedPanel.h"
#include "ui/ViewStyle.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace vokari {

namespace {

std::string lowered(const std::string& s) {
    std::string out = s;
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

} // namespace

VocabTagEditor::VocabTagEditor(std::vector<std::string> words, OnChange change, QWidget* parent)
    : QWidget(parent), list(std::move(words)), onChange(std::move(change)) {
    input = new QLineEdit(this);
    input->setObjectName(QStringLiteral("vocabInput"));
    input->setFont(BrandFonts::figtree(13));
    input->setFrame(false);
    input->setPlaceholderText(QStringLiteral("Type a word and press Enter…"));
    input->setAttribute(Qt::WA_MacShowFocusRect, false);
    input->setStyleSheet(QStringLiteral("QLineEdit { color: #E0E0E0; background: transparent; border: none; }"));
    input->installEventFilter(this);
    setFixedHeight(44);
}

// Lower-cased comparison: "kubernetes" after "Kubernetes" adds nothing, but the field is cleared either way.
void VocabTagEditor::addCurrentWord() {
    QString text = input->text().trimmed();
    while (text.startsWith(QLatin1Char(','))) {
        text.remove(0, 1);
    }
    while (text.endsWith(QLatin1Char(','))) {
        text.chop(1);
    }
    const std::string word = text.toStdString();
    if (word.empty()) {
        return;
    }
    const std::string key = lowered(word);
    const bool known = std::any_of(list.begin(), list.end(), [&](const std::string& w) { return lowered(w) == key; });
    if (!known) {
        list.push_back(word);
        if (onChange) {
            onChange(list);
        }
    }
    input->clear();
    relayout();
}

void VocabTagEditor::removeWord(std::size_t index) {
    if (index >= list.size()) {
        return;
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    if (onChange) {
        onChange(list);
    }
    relayout();
}

bool VocabTagEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == input && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            addCurrentWord();
            return true;
        }
        if (key == Qt::Key_Backspace && input->text().isEmpty() && !list.empty()) {
            removeWord(list.size() - 1);
            return true;
        }
    } else if (watched == input && event->type() == QEvent::FocusOut) {
        addCurrentWord();
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* VocabTagEditor::makeTag(const std::string& word, std::size_t index) {
    auto* chip = new RoundedPanel("#2C2C2E", "#3A3A3C", 6, this);
    auto* label = ViewStyle::makeLabel(QString::fromStdString(word),
                                       BrandFonts::figtree(12, BrandFonts::Weight::medium), "#E0E0E0", chip);
    label->adjustSize();
    auto* close = new QPushButton(QStringLiteral("×"), chip);
    close->setFlat(true);
    close->setFont(BrandFonts::figtree(13));
    close->setCursor(Qt::PointingHandCursor);
    close->setAccessibleName(QStringLiteral("Remove ") + QString::fromStdString(word));
    close->setStyleSheet(QStringLiteral("QPushButton { color: #6E6E73; border: none; background: transparent; "
                                        "padding: 0px; }"));
    const int buttonWidth = close->fontMetrics().horizontalAdvance(QStringLiteral("×")) + 6;
    const int width = label->width() + 14 + buttonWidth + 8;
    chip->resize(width, tagH);
    label->move(10, (tagH - label->height()) / 2);
    close->setGeometry(width - buttonWidth - 6, (tagH - 18) / 2, buttonWidth, 18);
    // Removal rebuilds the chips, so it runs after this click has finished.
    QPointer<VocabTagEditor> self(this);
    connect(close, &QPushButton::clicked, this, [self, index] {
        QMetaObject::invokeMethod(
            self,
            [self, index] {
                if (self) {
                    self->removeWord(index);
                }
            },
            Qt::QueuedConnection);
    });
    return chip;
}

// Rows are counted upwards from the field: row 0 sits directly above it.
void VocabTagEditor::relayout() {
    if (width() <= 0 || laying) {
        return;
    }
    laying = true;
    for (QWidget* tag : tags) {
        tag->hide();
        tag->deleteLater();
    }
    tags.clear();
    const int maxW = width() - 2 * pad;
    const int tagsY = pad + 24 + (list.empty() ? 0 : sp);
    int x = 0;
    int y = 0;
    std::vector<std::pair<QWidget*, QPoint>> placed;
    for (std::size_t i = 0; i < list.size(); ++i) {
        QWidget* chip = makeTag(list[i], i);
        if (x + chip->width() > maxW && x > 0) {
            x = 0;
            y += tagH + sp;
        }
        placed.emplace_back(chip, QPoint(pad + x, tagsY + y));
        tags.push_back(chip);
        x += chip->width() + sp;
    }
    const int height = pad + 24 + (list.empty() ? 0 : sp + y + tagH) + pad;
    if (std::abs(height - this->height()) > 1) {
        setFixedHeight(height);
    }
    const int h = this->height();
    input->setGeometry(pad + 2, h - pad - 24, maxW - 2, 24);
    for (auto& [chip, bottomUp] : placed) {
        chip->move(bottomUp.x(), h - bottomUp.y() - tagH);
        chip->show();
    }
    laying = false;
}

void VocabTagEditor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void VocabTagEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colorFromHex("#2C2C2E"), 0.5));
    p.setBrush(colorFromHex("#1F1F21"));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 10, 10);
}

} // namespace vokari
