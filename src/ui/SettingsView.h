#pragma once
// The Settings tab: one scrolling column of cards (microphone, hotkey, behaviour, capsule size with a preview,
// transcription style with its prompt, vocabulary, experimental). Every control writes its setting at once;
// the custom prompt is saved with its own button. The hotkey choice is announced with "vokari.hotkeyChanged" so the
// running hotkey watches the new key at once; style and vocabulary are pushed to the backend. Main thread. The
// state, centre, settings and queue must outlive it.
#include "app/AppState.h"
#include "core/MainQueue.h"
#include "core/NotificationCenter.h"
#include "core/Settings.h"
#include "ui/KeyRecorderDialog.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vokari {

class CapsulePreview;
class ToggleSwitch;
class VocabTagEditor;

class SettingsView : public QWidget {
public:
    // What the tab needs beyond the app's state: the backend pushes, the vocabulary file and the key translation
    // of the recorder. Empty functions are skipped.
    struct Services {
        std::function<void(const std::string& preset, const std::string& customPrompt)> syncStyle;
        std::function<void(const std::string& vocab)> syncVocab;
        std::filesystem::path vocabularyFile;
        KeyRecorderDialog::KeyTranslator translateKey;
    };
    struct Dependencies {
        AppState& appState;
        NotificationCenter& notificationCenter;
        Settings& settings;
        MainQueue& mainQueue;
        Services services;
    };

    explicit SettingsView(Dependencies deps, QWidget* parent = nullptr);

    // Stores the vocabulary string in the file (keeping its other keys), then pushes it to the backend.
    void saveVocab(const std::string& vocab);
    std::vector<std::string> loadVocabWords() const;
    void showKeyRecorder();

    QLabel* micLabel() const { return mic; }
    QComboBox* hotkeyPopUp() const { return hotkeyMenu; }
    ToggleSwitch* holdSwitch() const { return hold; }
    ToggleSwitch* autoEnterSwitch() const { return autoEnter; }
    ToggleSwitch* soundSwitch() const { return sound; }
    ToggleSwitch* commandModeSwitch() const { return commandMode; }
    QButtonGroup* sizeSegments() const { return sizes; }
    QWidget* previewArea() const { return preview; }
    CapsulePreview* capsulePreview() const { return previewCapsule; }
    QComboBox* stylePopUp() const { return styleMenu; }
    QLabel* styleDescription() const { return description; }
    QPlainTextEdit* promptEditor() const { return prompt; }
    QLabel* customNote() const { return note; }
    QPushButton* savePromptButton() const { return savePrompt; }
    VocabTagEditor* vocabEditor() const { return vocab; }

private:
    QWidget* buildMicrophone(QWidget* parent);
    QWidget* buildHotkey(QWidget* parent);
    QWidget* buildBehavior(QWidget* parent);
    QWidget* buildCapsule(QWidget* parent);
    QWidget* buildStyle(QWidget* parent);
    QWidget* buildVocabulary(QWidget* parent);
    QWidget* buildExperimental(QWidget* parent);
    ToggleSwitch* makeSwitch(bool on, std::function<void(bool)> write);
    void onMicNameChanged();
    void hotkeyChosen(int index);
    void selectStoredHotkey();
    void sizeChosen(int index);
    void rebuildPreview();
    void styleChosen(int index);
    void showPreset(std::size_t index);
    void savePromptTapped();

    AppState& appState;
    NotificationCenter& notificationCenter;
    Settings& settings;
    MainQueue& mainQueue;
    Services services;

    QLabel* mic = nullptr;
    QComboBox* hotkeyMenu = nullptr;
    ToggleSwitch* hold = nullptr;
    ToggleSwitch* autoEnter = nullptr;
    ToggleSwitch* sound = nullptr;
    ToggleSwitch* commandMode = nullptr;
    QButtonGroup* sizes = nullptr;
    QWidget* preview = nullptr;
    CapsulePreview* previewCapsule = nullptr;
    QComboBox* styleMenu = nullptr;
    QLabel* description = nullptr;
    QPlainTextEdit* prompt = nullptr;
    QLabel* note = nullptr;
    QPushButton* savePrompt = nullptr;
    VocabTagEditor* vocab = nullptr;
    Subscription micObserver;
};

} // namespace vokari
