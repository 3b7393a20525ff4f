#include "ui/UpdateProgressWindow.h"

#include "ui/BrandFonts.h"
#include "ui/CompositingProbe.h"
#include "ui/HexColor.h"
#include "ui/ViewStyle.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace vokari {

using BrandFonts::Weight;

namespace {

constexpr double cornerRadius = 14.0;

// A small indeterminate spinner in the dark style: twelve spokes, the brightest one stepping round.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent) {
        setFixedSize(16, 16);
        setAccessibleName(QStringLiteral("Progress"));
        auto* timer = new QTimer(this);
        timer->setInterval(80);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            step = (step + 1) % spokes;
            update();
        });
        timer->start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        for (int i = 0; i < spokes; ++i) {
            const int age = (step - i + spokes) % spokes;
            QColor colour = colorFromHex("#D0D0D5");
            colour.setAlphaF(std::max(0.15, 1.0 - age / static_cast<double>(spokes)));
            painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -3.6), QPointF(0, -7.0));
            painter.rotate(360.0 / spokes);
        }
    }

private:
    static constexpr int spokes = 12;
    int step = 0;
};

} // namespace

UpdateProgressWindow::UpdateProgressWindow(const QString& version, std::function<bool()> cancelFn)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), cancel(std::move(cancelFn)) {
    setObjectName(QStringLiteral("updateProgressWindow"));
    // Not drawn (the window has no title bar), but named for the window list and assistive technology.
    setWindowTitle(QStringLiteral("Updating to ") + version);
    setAccessibleName(windowTitle());
    setFixedSize(contentWidth, contentHeight);
    compositing = compositingManagerRunning();
    setAttribute(Qt::WA_TranslucentBackground, compositing);
    if (!compositing) {
        // Without a compositor the corners are cut by a shape mask instead of drawn clear.
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
        setMask(QRegion(path.toFillPolygon().toPolygon()));
    }

    title = ViewStyle::makeLabel(windowTitle(), BrandFonts::figtree(14, Weight::semibold), "#F0F0F0", this);
    title->setObjectName(QStringLiteral("title"));
    title->adjustSize();
    title->move((contentWidth - title->width()) / 2, 44);

    auto* divider = new QWidget(this);
    ViewStyle::setBackground(divider, "#2C2C2E");
    divider->setGeometry(0, title->geometry().bottom() + 1 + 14, contentWidth, 1);

    spinner = new Spinner(this);
    spinner->move(24, divider->geometry().bottom() + 1 + 18);

    status = ViewStyle::makeLabel(QStringLiteral("Downloading update..."), BrandFonts::figtree(13), "#98989D", this);
    status->setObjectName(QStringLiteral("status"));
    status->setGeometry(spinner->geometry().right() + 1 + 12, 0, contentWidth - 24 - (spinner->geometry().right() + 13),
                        status->sizeHint().height());
    status->move(status->x(), spinner->geometry().center().y() - status->height() / 2 + 1);

    // The pointer's way to cancel, where a title bar's close button would be.
    closeButton = new QPushButton(QStringLiteral("×"), this);
    closeButton->setObjectName(QStringLiteral("cancel"));
    closeButton->setAccessibleName(QStringLiteral("Cancel"));
    closeButton->setToolTip(QStringLiteral("Cancel the update"));
    closeButton->setFocusPolicy(Qt::NoFocus);
    closeButton->setCursor(Qt::PointingHandCursor);
    closeButton->setFont(BrandFonts::figtree(16));
    closeButton->setStyleSheet(QStringLiteral("QPushButton { color: #6E6E73; border: none; background: transparent; }"
                                              "QPushButton:hover { color: #F0F0F0; }"));
    closeButton->setGeometry(contentWidth - 34, 10, 24, 24);
    QObject::connect(closeButton, &QPushButton::clicked, this, [this] { requestCancel(); });
}

void UpdateProgressWindow::showCentred() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
}

void UpdateProgressWindow::updateStatus(const QString& text) {
    status->setText(text);
}

void UpdateProgressWindow::closeQuietly() {
    closingQuietly = true;
    close();
}

void UpdateProgressWindow::requestCancel() {
    if (!cancel || cancel()) {
        closeQuietly();
    }
}

void UpdateProgressWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!compositing) {
        // The shape mask cuts the corners; every pixel inside it must be painted.
        painter.fillRect(rect(), colorFromHex("#1A1A1C"));
    }
    // A hairline edge keeps the panel apart from a dark window behind it.
    painter.setPen(QPen(colorFromHex("#3A3A3C"), 1.0));
    painter.setBrush(colorFromHex("#1A1A1C"));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

void UpdateProgressWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        requestCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}

// The window manager's close (or Alt+F4) is a cancel too.
void UpdateProgressWindow::closeEvent(QCloseEvent* event) {
    if (closingQuietly) {
        event->accept();
        return;
    }
    if (!cancel || cancel()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void UpdateProgressWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        return;
    }
    QWidget::mousePressEvent(event);
}

} // namespace vokari
