// Test-only window that receives pastes: a text field whose content is written to a file at every change.
// Usage: vokari_x11_paste_target <output-file> <window-class> [--terminal | --button]
// With --terminal it behaves like a terminal emulator: Control+Shift+V pastes the clipboard, while a plain
// Control+V inserts the control character's caret form "^V" instead of pasting. With --button a "Send" button in
// its corner inserts "[sent]" when clicked (it never takes the focus).
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>

namespace {

class Field : public QPlainTextEdit {
public:
    explicit Field(bool terminal) : terminal(terminal) {}

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (terminal && e->key() == Qt::Key_V && (e->modifiers() & Qt::ControlModifier)) {
            if (e->modifiers() & Qt::ShiftModifier) {
                paste();
            } else {
                insertPlainText("^V");
            }
            return;
        }
        QPlainTextEdit::keyPressEvent(e);
    }

private:
    bool terminal;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    QApplication::setApplicationName(QString::fromUtf8(argv[2])); // becomes the WM_CLASS class
    QApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const bool terminal = argc > 3 && QByteArray(argv[3]) == "--terminal";
    Field field(terminal);
    field.setWindowTitle(QStringLiteral("Paste target ") + QString::fromUtf8(argv[2]));
    QObject::connect(&field, &QPlainTextEdit::textChanged, [&] {
        QSaveFile f(out);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(field.toPlainText().toUtf8());
            f.commit();
        }
    });
    field.resize(400, 200);
    if (argc > 3 && QByteArray(argv[3]) == "--button") {
        auto* send = new QPushButton(QStringLiteral("Send"), &field);
        send->setFocusPolicy(Qt::NoFocus);
        send->setGeometry(300, 150, 90, 40);
        QObject::connect(send, &QPushButton::clicked, [&] { field.insertPlainText(QStringLiteral("[sent]")); });
    }
    // No activateWindow(): a late activation request of its own could take the focus back after the test has
    // moved it elsewhere. The window manager focuses new windows by itself.
    field.show();
    return app.exec();
}
