// The Settings tab on Qt's offscreen platform: switches and the capsule size write at once, the style presets and
// the custom prompt reach a recording backend only as they should, the key recorder stores a custom key or keeps
// the old one, and the vocabulary editor stores, syncs and lays out its chips.
#include "ui/SettingsView.h"
#include "OffscreenApp.h"
#include "core/VirtualMainQueue.h"
#include "desktop/HotkeyOption.h"
#include "transport/VocabularyFile.h"
#include "ui/CapsulePreview.h"
#include "ui/ToggleSwitch.h"
#include "ui/VocabTagEditor.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace vokari;

namespace {

struct Fixture {
    MemoryDefaultsStore store;
    Settings settings{store};
    AppState appState;
    NotificationCenter centre;
    VirtualMainQueue queue;
    std::vector<std::pair<std::string, std::string>> styles;
    std::vector<std::string> vocabs;
    std::vector<std::any> hotkeyPosts;
    int sizePosts = 0;
    std::filesystem::path vocabFile =
        std::filesystem::temp_directory_path() / ("vokari-settings-" + std::to_string(getpid()) + ".json");
    Subscription hotkeyObserver =
        centre.addObserver(notifications::hotkeyChanged, [this](const std::any& o) { hotkeyPosts.push_back(o); });
    Subscription sizeObserver =
        centre.addObserver(notifications::capsuleSizeChanged, [this](const std::any&) { ++sizePosts; });

    ~Fixture() { std::filesystem::remove(vocabFile); }

    SettingsView::Dependencies deps() {
        SettingsView::Services services;
        services.syncStyle = [this](const std::string& p, const std::string& c) { styles.emplace_back(p, c); };
        services.syncVocab = [this](const std::string& v) { vocabs.push_back(v); };
        services.vocabularyFile = vocabFile;
        // The letter keys with their virtual codes (X is 7); everything else has none.
        services.translateKey = [](const QKeyEvent& e) -> std::optional<std::uint16_t> {
            if (e.key() == Qt::Key_X) {
                return 7;
            }
            return std::nullopt;
        };
        return {appState, centre, settings, queue, services};
    }
};

// Runs `fn` with the modal dialog as soon as it is up.
void whenModal(std::function<void(QWidget*)> fn) {
    auto* poll = new QTimer();
    QObject::connect(poll, &QTimer::timeout, [poll, fn] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->stop();
            poll->deleteLater();
            fn(modal);
        }
    });
    poll->start(5);
}

void pressInModal(Qt::Key key) {
    whenModal([key](QWidget* modal) { QTest::keyClick(modal, key); });
}

void choose(QComboBox* menu, const QString& data) {
    const int index = menu->findData(data);
    menu->setCurrentIndex(index);
    Q_EMIT menu->activated(index);
    uitest::processEvents(); // the recorder opens after the pop-up has closed
}

} // namespace

TEST(SettingsViewTest, LegacyPromptIsWipedAndPresetsSyncOnlyWhenChosenOrSaved) {
    uitest::offscreenApp();
    Fixture f;
    f.settings.setStylePreset("custom");
    f.settings.setCustomPrompt("You are a text post-processor. Rewrite ...");
    SettingsView view(f.deps());
    view.resize(560, 800);
    view.show();
    EXPECT_EQ(f.settings.customPrompt(), "");
    EXPECT_EQ(view.promptEditor()->toPlainText(), QString());
    EXPECT_FALSE(view.promptEditor()->isReadOnly());
    EXPECT_FALSE(view.savePromptButton()->isHidden());

    choose(view.stylePopUp(), QStringLiteral("professional"));
    EXPECT_EQ(f.styles, (std::vector<std::pair<std::string, std::string>>{{"professional", ""}}));
    EXPECT_TRUE(view.promptEditor()->isReadOnly());
    EXPECT_TRUE(view.customNote()->isHidden());
    EXPECT_TRUE(view.promptEditor()->toPlainText().startsWith(QStringLiteral("Proper capitalization")));

    f.styles.clear();
    choose(view.stylePopUp(), QStringLiteral("custom"));
    EXPECT_TRUE(f.styles.empty()) << "Custom sends nothing until Save Prompt";
    EXPECT_EQ(*f.settings.stylePreset(), "custom");
    view.promptEditor()->setFocus();
    QTest::keyClicks(view.promptEditor(), QStringLiteral("Use British spelling. "));
    QTest::mouseClick(view.savePromptButton(), Qt::LeftButton);
    EXPECT_EQ(f.styles, (std::vector<std::pair<std::string, std::string>>{{"custom", "Use British spelling. "}}));
    EXPECT_EQ(f.settings.customPrompt(), "Use British spelling. ");
    EXPECT_EQ(view.savePromptButton()->text(), QStringLiteral("Saved ✓"));
    f.queue.advance(1.4);
    EXPECT_EQ(view.savePromptButton()->text(), QStringLiteral("Saved ✓"));
    f.queue.advance(0.1);
    EXPECT_EQ(view.savePromptButton()->text(), QStringLiteral("Save Prompt"));

    choose(view.stylePopUp(), QStringLiteral("casual"));
    EXPECT_EQ(f.styles.back(), (std::pair<std::string, std::string>{"casual", ""}));
    EXPECT_EQ(view.styleDescription()->text(),
              QStringLiteral("All lowercase, minimal punctuation, like a text message"));
    EXPECT_EQ(f.settings.customPrompt(), "Use British spelling. ") << "the saved prompt stays for later";
}

TEST(SettingsViewTest, HotkeyChoicesAndTheKeyRecorderAnnounceTheNewKey) {
    uitest::offscreenApp();
    Fixture f;
    f.settings.setHotkeyOption("leftControl");
    SettingsView view(f.deps());
    view.show();
    EXPECT_EQ(view.hotkeyPopUp()->currentData().toString(), QStringLiteral("leftControl"));

    choose(view.hotkeyPopUp(), QStringLiteral("rightOption"));
    ASSERT_EQ(f.hotkeyPosts.size(), 1u);
    EXPECT_EQ(std::any_cast<HotkeyOption>(f.hotkeyPosts[0]), HotkeyOption::rightOption);
    EXPECT_EQ(hotkeyOption::stored(f.settings), HotkeyOption::rightOption);

    // Escape, then Cancel, keep the previous option and announce nothing.
    pressInModal(Qt::Key_Escape);
    choose(view.hotkeyPopUp(), QStringLiteral("custom"));
    EXPECT_EQ(view.hotkeyPopUp()->currentData().toString(), QStringLiteral("rightOption"));
    whenModal([](QWidget* modal) {
        auto* cancel = modal->findChild<QPushButton*>(QStringLiteral("cancelButton"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    choose(view.hotkeyPopUp(), QStringLiteral("custom"));
    EXPECT_EQ(view.hotkeyPopUp()->currentData().toString(), QStringLiteral("rightOption"));
    EXPECT_EQ(f.hotkeyPosts.size(), 1u);

    // A key the hotkey cannot watch is refused and the dialog keeps waiting for one it can.
    whenModal([](QWidget* modal) {
        QTest::keyClick(modal, Qt::Key_F35);
        EXPECT_EQ(modal->findChild<QLabel*>(QStringLiteral("waitingLabel"))->text(),
                  QStringLiteral("That key can't be used — press another"));
        QTest::keyClick(modal, Qt::Key_X, Qt::ShiftModifier);
    });
    choose(view.hotkeyPopUp(), QStringLiteral("custom"));
    EXPECT_EQ(view.hotkeyPopUp()->currentText(), QStringLiteral("Custom: X"));
    EXPECT_EQ(hotkeyOption::stored(f.settings), HotkeyOption::custom);
    EXPECT_EQ(f.settings.customHotkeyCode(), 7);
    EXPECT_EQ(f.settings.customHotkeyFlags(), 0u);
    EXPECT_EQ(f.settings.customHotkeyName(), std::optional<std::string>("Custom: X"));
    ASSERT_EQ(f.hotkeyPosts.size(), 2u);
    EXPECT_EQ(std::any_cast<HotkeyOption>(f.hotkeyPosts[1]), HotkeyOption::custom);
}

TEST(SettingsViewTest, SwitchesCapsuleSizeAndMicrophoneApplyAtOnce) {
    uitest::offscreenApp();
    Fixture f;
    SettingsView view(f.deps());
    view.resize(560, 800);
    view.show();
    EXPECT_EQ(view.micLabel()->text(), QStringLiteral("System Default"));
    f.appState.currentMicName = std::optional<std::string>("USB Mic");
    f.centre.post(notifications::micNameChanged);
    f.queue.runUntilIdle();
    EXPECT_EQ(view.micLabel()->text(), QStringLiteral("USB Mic"));

    EXPECT_TRUE(view.soundSwitch()->isChecked());
    QTest::mouseClick(view.soundSwitch(), Qt::LeftButton);
    QTest::mouseClick(view.holdSwitch(), Qt::LeftButton);
    QTest::mouseClick(view.autoEnterSwitch(), Qt::LeftButton);
    QTest::mouseClick(view.commandModeSwitch(), Qt::LeftButton);
    EXPECT_FALSE(f.settings.soundFeedback());
    EXPECT_TRUE(f.settings.hotkeyHoldMode());
    EXPECT_TRUE(f.settings.autoEnterAfterPaste());
    EXPECT_TRUE(f.settings.commandModeEnabled());

    CapsulePreview* medium = view.capsulePreview();
    ASSERT_NE(medium, nullptr);
    EXPECT_EQ(medium->size(), CapsuleSize::medium);
    QTest::mouseClick(view.sizeSegments()->button(2), Qt::LeftButton);
    EXPECT_EQ(f.settings.capsuleSize(), "large");
    EXPECT_EQ(f.sizePosts, 1);
    CapsulePreview* large = view.capsulePreview();
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->size(), CapsuleSize::large);
    EXPECT_EQ(large->geometry().size(), QSize(300, 46));
    EXPECT_EQ(large->parentWidget(), view.previewArea());
    EXPECT_EQ(view.previewArea()->children().size(), 2) << "the area's layout and the one new preview";
}

TEST(SettingsViewTest, VocabularyLoadsTrimmedWordsAndStoresAndSyncsEachChange) {
    uitest::offscreenApp();
    Fixture f;
    std::ofstream(f.vocabFile) << R"({"keep":1,"vocab":" , alpha ,, beta\n"})";
    SettingsView view(f.deps());
    view.resize(560, 900);
    view.show();
    VocabTagEditor* editor = view.vocabEditor();
    EXPECT_EQ(editor->words(), (std::vector<std::string>{"alpha", "beta"}));

    QLineEdit* field = editor->inputField();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("  Kubernetes, "));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(editor->words(), (std::vector<std::string>{"alpha", "beta", "Kubernetes"}));
    EXPECT_EQ(f.vocabs, (std::vector<std::string>{"alpha, beta, Kubernetes"}));
    EXPECT_EQ(VocabularyFile::load(f.vocabFile), std::optional<std::string>("alpha, beta, Kubernetes"));

    QTest::keyClicks(field, QStringLiteral("kubernetes"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(f.vocabs.size(), 1u) << "a duplicate in other case adds nothing";
    EXPECT_TRUE(field->text().isEmpty());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(f.vocabs.size(), 1u);

    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(editor->words(), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(f.vocabs.back(), "alpha, beta");
    std::ifstream in(f.vocabFile);
    const std::string stored((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(stored.find("\"keep\":1"), std::string::npos) << "other keys of the file survive";
}

TEST(VocabTagEditorTest, ChipsFlowUpwardsFromTheFieldAndTheEditorGrowsPerRow) {
    uitest::offscreenApp();
    int changes = 0;
    VocabTagEditor editor({}, [&](const std::vector<std::string>&) { ++changes; });
    editor.resize(300, 44);
    editor.show();
    uitest::processEvents();
    EXPECT_EQ(editor.height(), 48);
    EXPECT_EQ(editor.inputField()->geometry(), QRect(14, 12, 274, 24));

    QLineEdit* field = editor.inputField();
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("one"));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(editor.height(), 80);
    ASSERT_EQ(editor.chips().size(), 1u);
    // The first row sits 6 above the field; the field is at the bottom.
    EXPECT_EQ(editor.chips()[0]->geometry().bottom() + 1 + 6, editor.inputField()->geometry().top());
    EXPECT_EQ(editor.chips()[0]->x(), 12);

    for (const char* word : {"two", "three", "four", "five", "six", "seven", "eight"}) {
        QTest::keyClicks(field, QString::fromLatin1(word));
        QTest::keyClick(field, Qt::Key_Return);
    }
    EXPECT_EQ(changes, 8);
    // Each chip is either the first of its row or placed right after its predecessor; new rows go upwards.
    int rows = 1;
    for (std::size_t i = 1; i < editor.chips().size(); ++i) {
        const QRect prev = editor.chips()[i - 1]->geometry();
        const QRect cur = editor.chips()[i]->geometry();
        if (cur.y() == prev.y()) {
            EXPECT_EQ(cur.x(), prev.right() + 1 + 6);
        } else {
            EXPECT_EQ(cur.y(), prev.y() - 32);
            EXPECT_EQ(cur.x(), 12);
            ++rows;
        }
        EXPECT_LE(cur.right() + 1, 300 - 12);
    }
    EXPECT_GE(rows, 2);
    EXPECT_EQ(editor.height(), 80 + (rows - 1) * 32);

    // Focus leaving the field adds what was typed; a chip's × removes its word.
    QTest::keyClicks(field, QStringLiteral("nine"));
    field->clearFocus();
    EXPECT_EQ(editor.words().back(), "nine");
    auto* close = editor.chips()[0]->findChild<QPushButton*>();
    QTest::mouseClick(close, Qt::LeftButton);
    uitest::processEvents();
    EXPECT_EQ(editor.words().front(), "two");
}
