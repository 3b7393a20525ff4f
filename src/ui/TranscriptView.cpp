#include "ui/TranscriptView.h"

#include "desktop/HotkeyOption.h"
#include "ui/BrandFonts.h"
#include "ui/TranscriptEntryView.h"
#include "ui/UnsentEntryView.h"
#include "ui/ViewStyle.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vokari {

using BrandFonts::Weight;
using ViewStyle::makeLabel;

TranscriptView::TranscriptView(Dependencies deps, QWidget* parent)
    : QWidget(parent), settings(deps.settings), notificationCenter(deps.notificationCenter), mainQueue(deps.mainQueue),
      fetchHistory(std::move(deps.fetchHistory)), retryRecording(std::move(deps.retryRecording)),
      alive(std::make_shared<TranscriptView*>(this)) {
    scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("transcriptScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(false);
    scroll->viewport()->setAutoFillBackground(false);
    ViewStyle::styleScroller(scroll);
    container = new QWidget();
    container->setAutoFillBackground(false);
    column = new QVBoxLayout(container);
    column->setContentsMargins(12, 8, 12, 8);
    column->setSpacing(16);
    older = makeLabel(QString(), BrandFonts::spaceMono(10), "#3A3A3C", container);
    older->setObjectName(QStringLiteral("olderTranscripts"));
    older->hide();
    column->addWidget(older);
    unsentBox = new QWidget(container);
    unsentColumn = new QVBoxLayout(unsentBox);
    unsentColumn->setContentsMargins(0, 0, 0, 0);
    unsentColumn->setSpacing(16);
    unsentBox->hide();
    column->addWidget(unsentBox);
    scroll->setWidget(container);
    onboarding = buildOnboarding();

    rebuild();
    loadHistory();
    if (deps.keptRecordings) {
        // The keeper publishes on the main thread.
        unsentSubscription = deps.keptRecordings->recordings.subscribe(
            [this](const std::vector<UnsentRecording>& list) { setUnsent(list); });
    }
}

TranscriptView::~TranscriptView() {
    *alive = nullptr;
}

QWidget* TranscriptView::buildOnboarding() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("onboardingContainer"));
    auto* stack = new QVBoxLayout(panel);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    auto* name = makeLabel(QString::fromStdString(displayName(hotkeyOption::stored(settings), settings)),
                           BrandFonts::figtree(22, Weight::semibold), "#E0E0E0", panel);
    name->setAlignment(Qt::AlignCenter);
    auto* how =
        makeLabel(QStringLiteral("Press to start · Press again to stop"), BrandFonts::figtree(13), "#98989D", panel);
    how->setAlignment(Qt::AlignCenter);
    auto* link = ViewStyle::makeLink(
        QStringLiteral("Customise hotkey →"), [this] { openHotkeySettings(); }, panel);
    QFont font = BrandFonts::figtree(11);
    font.setUnderline(true);
    link->setFont(font);
    link->setObjectName(QStringLiteral("customiseHotkey"));
    link->setStyleSheet(QStringLiteral("QPushButton { color: #555555; border: none; background: transparent; "
                                       "padding: 0px; }"));
    stack->addWidget(name, 0, Qt::AlignHCenter);
    stack->addSpacing(8);
    stack->addWidget(how, 0, Qt::AlignHCenter);
    stack->addSpacing(12);
    stack->addWidget(link, 0, Qt::AlignHCenter);
    return panel;
}

void TranscriptView::openHotkeySettings() {
    notificationCenter.post(notifications::showHotkeySettings);
}

std::optional<TranscriptHistory::Clock::time_point> TranscriptView::parseDate(const std::string& iso) {
    const QString text = QString::fromStdString(iso);
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid()) {
        when = QDateTime::fromString(text, Qt::ISODate);
    }
    if (!when.isValid()) {
        return std::nullopt;
    }
    return TranscriptHistory::Clock::time_point(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
}

// A failed request delivers nothing, and the view keeps what it shows.
void TranscriptView::loadHistory() {
    if (!fetchHistory) {
        return;
    }
    std::weak_ptr<TranscriptView*> weak = alive;
    fetchHistory([weak, queue = &mainQueue](std::vector<Transcript> page) {
        if (page.empty()) {
            return;
        }
        queue->post([weak, page = std::move(page)] {
            auto self = weak.lock();
            if (!self || !*self) {
                return;
            }
            TranscriptView* view = *self;
            if (view->entries.merge(page, &TranscriptView::parseDate, TranscriptHistory::Clock::now())) {
                view->rebuild();
            }
        });
    });
}

void TranscriptView::addEntry(const std::string& text) {
    std::weak_ptr<TranscriptView*> weak = alive;
    mainQueue.post([weak, text] {
        auto self = weak.lock();
        if (self && *self) {
            (*self)->entries.add(text, TranscriptHistory::Clock::now());
            (*self)->rebuild();
        }
    });
}

QLabel* TranscriptView::olderLabel() const {
    return older->isHidden() ? nullptr : older;
}

void TranscriptView::setUnsent(const std::vector<UnsentRecording>& recordings) {
    unsent = recordings;
    for (UnsentEntryView* row : unsentViews) {
        delete row;
    }
    unsentViews.clear();
    // Oldest first, like the history above them.
    for (auto it = unsent.rbegin(); it != unsent.rend(); ++it) {
        auto* row = new UnsentEntryView(*it, retryRecording, unsentBox);
        unsentColumn->addWidget(row);
        row->show(); // as for the history rows: a child added to a shown parent stays hidden otherwise
        unsentViews.push_back(row);
    }
    unsentBox->setVisible(!unsent.empty());
    rebuild();
}

void TranscriptView::rebuild() {
    const bool empty = entries.empty() && unsent.empty();
    onboarding->setVisible(empty);
    scroll->setVisible(!empty);
    if (empty) {
        return;
    }
    const std::string label = entries.olderLabel();
    older->setText(QString::fromStdString(label));
    older->setVisible(!label.empty());
    const std::vector<TranscriptHistory::Entry> visible = entries.visible();
    while (rowViews.size() > visible.size()) {
        delete rowViews.back();
        rowViews.pop_back();
    }
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(visible[i].timestamp.time_since_epoch()).count();
        const QString text = QString::fromStdString(visible[i].text);
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
        if (i < rowViews.size()) {
            rowViews[i]->setEntry(text, when);
            continue;
        }
        auto* row = new TranscriptEntryView(text, when, mainQueue, container);
        column->insertWidget(column->indexOf(unsentBox), row);
        row->show(); // a child added to a shown parent stays hidden, and the layout would skip it
        rowViews.push_back(row);
    }
    sizeContainer();
    std::weak_ptr<TranscriptView*> weak = alive;
    mainQueue.post([weak] {
        auto self = weak.lock();
        if (self && *self) {
            (*self)->scrollToNewest();
        }
    });
}

// The rows wrap, so the list is as tall as its layout needs at the list's width. The width comes from this view
// (room kept for the scroller), since the viewport of a hidden scroll view has not followed resizes yet.
void TranscriptView::sizeContainer() {
    const int width = std::max(1, this->width() - scroll->verticalScrollBar()->sizeHint().width());
    const int height = column->hasHeightForWidth() ? column->heightForWidth(width) : column->sizeHint().height();
    container->resize(width, height);
}

// Only a list taller than the visible area moves, to its bottom where the newest entry is.
void TranscriptView::scrollToNewest() {
    sizeContainer();
    if (container->height() > scroll->viewport()->height()) {
        QScrollBar* bar = scroll->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}

void TranscriptView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    scroll->setGeometry(rect());
    const QSize panel = onboarding->sizeHint();
    onboarding->setGeometry((width() - panel.width()) / 2, (height() - panel.height()) / 2, panel.width(),
                            panel.height());
    sizeContainer();
}

} // namespace vokari
