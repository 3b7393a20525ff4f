#include "ui/KeyRecorderDialog.h"

#include "core/DebugLog.h"
#include "ui/BrandFonts.h"
#include "ui/ViewStyle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vokari {

KeyRecorderDialog::KeyRecorderDialog(KeyTranslator translator, QWidget* parent)
    : QDialog(parent), translate(std::move(translator)) {
    setWindowTitle(QStringLiteral("Press any key"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 18, 20, 14);
    column->setSpacing(8);
    auto* message = new QLabel(QStringLiteral("Press any key"), this);
    message->setFont(BrandFonts::figtree(13, BrandFonts::Weight::semibold));
    column->addWidget(message);
    column->addWidget(new QLabel(QStringLiteral("Press the key you want to use as your hotkey."), this));
    waiting = ViewStyle::makeLabel(QStringLiteral("Waiting for key press…"), BrandFonts::figtree(13), "#98989D", this);
    waiting->setObjectName(QStringLiteral("waitingLabel"));
    waiting->setAlignment(Qt::AlignCenter);
    waiting->setMinimumSize(250, 24);
    column->addWidget(waiting);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setFocusPolicy(Qt::NoFocus); // Space or Return is a key to record, not a click
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    column->addLayout(buttons);
}

KeyRecorderDialog::~KeyRecorderDialog() {
    removeMonitor();
}

std::optional<KeyRecorderDialog::CapturedKey> KeyRecorderDialog::record() {
    captured.reset();
    qApp->installEventFilter(this);
    monitoring = true;
    exec();
    removeMonitor();
    return captured;
}

void KeyRecorderDialog::removeMonitor() {
    if (monitoring) {
        qApp->removeEventFilter(this);
        monitoring = false;
    }
}

QString KeyRecorderDialog::keyName(const QKeyEvent& event, std::uint16_t keyCode) {
    // Qt reports printable keys by their unshifted character, so modifiers held with it do not change the name.
    const int key = event.key();
    if (key > 0x20 && key <= 0xFF) {
        return QString(QChar(key)).toUpper();
    }
    const QString text = event.text().trimmed();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        return text.toUpper();
    }
    return QStringLiteral("Key ") + QString::number(keyCode);
}

bool KeyRecorderDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        return false; // the dialog treats it as Cancel
    }
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept(); // keeps shortcuts from eating the key; the press follows
        return true;
    }
    const std::optional<std::uint16_t> code = translate ? translate(*key) : std::nullopt;
    if (!code) {
        debugLog("⌨️ Key recorder: no hotkey code for key " + std::to_string(key->key()) + " (native " +
                 std::to_string(key->nativeVirtualKey()) + ")" + (translate ? "" : ", no translator"));
        waiting->setText(QStringLiteral("That key can't be used — press another"));
        return true;
    }
    captured = CapturedKey{*code, keyName(*key, *code)};
    removeMonitor();
    accept();
    return true;
}

} // namespace vokari
