// A test-only text window the end-to-end tests dictate into. It shows one QTextEdit and writes its text to
// --out after every change (atomically), and appends every key press and text change, with the epoch time in
// milliseconds, to --events. With --terminal it behaves like a terminal emulator: Control+Shift+V pastes and a
// plain Control+V inserts "^V" instead. --class sets the WM_CLASS class (e.g. "XTerm"). Once its window is the
// active one it writes the window id to --ready.
#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QDateTime>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QSaveFile>
#include <QTextEdit>
#include <QTimer>

namespace {

QString eventsPath;

void appendEvent(const QString& line) {
    QFile f(eventsPath);
    if (!eventsPath.isEmpty() && f.open(QIODevice::Append | QIODevice::Text)) {
        f.write(QString::number(QDateTime::currentMSecsSinceEpoch()).toUtf8() + " " + line.toUtf8() + "\n");
    }
}

class KeyRecorder : public QObject {
public:
    KeyRecorder(QTextEdit* edit, bool terminal) : QObject(edit), edit(edit), terminal(terminal) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QObject::eventFilter(watched, event);
        }
        auto* key = static_cast<QKeyEvent*>(event);
        auto mods = key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
        appendEvent("key " + QKeySequence(key->keyCombination().key() | mods).toString(QKeySequence::PortableText));
        if (terminal && key->key() == Qt::Key_V && (mods & Qt::ControlModifier)) {
            if (mods & Qt::ShiftModifier) {
                edit->insertPlainText(QApplication::clipboard()->text());
            } else {
                edit->insertPlainText(QStringLiteral("^V"));
            }
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTextEdit* edit;
    bool terminal;
};

} // namespace

int main(int argc, char** argv) {
    // The class must be known before the window exists: Qt's xcb backend takes WM_CLASS from the app name.
    QString wmClass = QStringLiteral("VokariTarget");
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == QStringLiteral("--class")) {
            wmClass = QString::fromLocal8Bit(argv[i + 1]);
        }
    }
    QApplication::setApplicationName(wmClass);
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addOption({"out", "text file", "path"});
    parser.addOption({"events", "event log", "path"});
    parser.addOption({"ready", "window id file", "path"});
    parser.addOption({"class", "WM_CLASS class", "name"});
    parser.addOption({"terminal", "paste with Control+Shift+V"});
    parser.process(app);
    eventsPath = parser.value("events");
    const QString outPath = parser.value("out");
    const QString readyPath = parser.value("ready");

    QTextEdit edit;
    edit.setAcceptRichText(false);
    edit.setWindowTitle(QStringLiteral("Vokari e2e target"));
    edit.resize(640, 360);
    edit.installEventFilter(new KeyRecorder(&edit, parser.isSet("terminal")));
    QObject::connect(&edit, &QTextEdit::textChanged, [&edit, outPath] {
        QString text = edit.toPlainText();
        QSaveFile f(outPath);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(text.toUtf8());
            f.commit();
        }
        appendEvent("text " + QString::number(text.size()));
    });
    edit.show();
    edit.activateWindow();

    auto* poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, [&edit, poll, readyPath] {
        if (!edit.isActiveWindow()) {
            edit.activateWindow();
            return;
        }
        poll->stop();
        QSaveFile f(readyPath);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(QByteArray::number(static_cast<qulonglong>(edit.winId())) + "\n");
            f.commit();
        }
    });
    poll->start(50);
    return app.exec();
}
