#include "ui/SettingsView.h"

#include "desktop/HotkeyOption.h"
#include "transport/VocabularyFile.h"
#include "ui/BrandFonts.h"
#include "ui/CapsulePreview.h"
#include "ui/CapsuleSize.h"
#include "ui/SettingsCards.h"
#include "ui/StylePresets.h"
#include "ui/ToggleSwitch.h"
#include "ui/ViewStyle.h"
#include "ui/VocabTagEditor.h"
#include "ui/VocabularyWords.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vokari {

using BrandFonts::Weight;
using SettingsCards::makeRow;
using SettingsCards::makeSection;
using ViewStyle::makeLabel;

namespace {

const QString kComboStyle = QStringLiteral(
    "QComboBox { color: #E0E0E0; background: #2C2C2E; border: 0.5px solid #3A3A3C; border-radius: 6px; "
    "padding: 3px 10px; min-width: 130px; } QComboBox QAbstractItemView { color: #E0E0E0; background: #2C2C2E; "
    "selection-background-color: #3A3A3C; }");

QWidget* column(QWidget* parent, int spacing) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return box;
}

} // namespace

SettingsView::SettingsView(Dependencies deps, QWidget* parent)
    : QWidget(parent), appState(deps.appState), notificationCenter(deps.notificationCenter), settings(deps.settings),
      mainQueue(deps.mainQueue), services(std::move(deps.services)) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ViewStyle::styleScroller(scroll);
    auto* document = new QWidget();
    ViewStyle::setBackground(document, "#1A1A1C");
    auto* stack = new QVBoxLayout(document);
    stack->setContentsMargins(28, 8, 28, 28);
    stack->setSpacing(24);
    for (QWidget* card :
         {buildMicrophone(document), buildHotkey(document), buildBehavior(document), buildCapsule(document),
          buildStyle(document), buildVocabulary(document), buildExperimental(document)}) {
        stack->addWidget(card);
    }
    stack->addStretch(1);
    scroll->setWidget(document);
    outer->addWidget(scroll);

    QPointer<SettingsView> self(this);
    micObserver = notificationCenter.addObserver(
        notifications::micNameChanged,
        [self](const std::any&) {
            if (self) {
                self->onMicNameChanged();
            }
        },
        &mainQueue);
}

ToggleSwitch* SettingsView::makeSwitch(bool on, std::function<void(bool)> write) {
    auto* toggle = new ToggleSwitch(this);
    toggle->setChecked(on);
    connect(toggle, &QAbstractButton::toggled, this, [write = std::move(write)](bool value) { write(value); });
    return toggle;
}

QWidget* SettingsView::buildMicrophone(QWidget* parent) {
    mic = makeLabel(QString(), BrandFonts::figtree(13), "#E8E8E8", this);
    mic->setObjectName(QStringLiteral("settingsMicLabel"));
    onMicNameChanged();
    return makeSection(QStringLiteral("Microphone"), {makeRow(QStringLiteral("Input Device"), mic)}, parent);
}

void SettingsView::onMicNameChanged() {
    const auto& name = appState.currentMicName.get();
    mic->setText(name ? QString::fromStdString(*name) : QStringLiteral("System Default"));
}

QWidget* SettingsView::buildHotkey(QWidget* parent) {
    hotkeyMenu = new QComboBox(this);
    hotkeyMenu->setObjectName(QStringLiteral("hotkeyPopUp"));
    hotkeyMenu->setAccessibleName(QStringLiteral("Toggle"));
    hotkeyMenu->setFont(BrandFonts::figtree(13));
    hotkeyMenu->setStyleSheet(kComboStyle);
    for (HotkeyOption option : kAllHotkeyOptions) {
        hotkeyMenu->addItem(QString::fromStdString(displayName(option, settings)),
                            QString::fromUtf8(rawValue(option).data(), static_cast<int>(rawValue(option).size())));
    }
    selectStoredHotkey();
    connect(hotkeyMenu, &QComboBox::activated, this, [this](int index) {
        // The recorder is modal; it opens once the pop-up has closed.
        QPointer<SettingsView> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, index] {
                if (self) {
                    self->hotkeyChosen(index);
                }
            },
            Qt::QueuedConnection);
    });
    hold = makeSwitch(settings.hotkeyHoldMode(), [this](bool on) { settings.setHotkeyHoldMode(on); });
    hold->setAccessibleName(QStringLiteral("Hold to Record"));
    auto* esc = new QLabel(QStringLiteral("Esc"), this);
    esc->setFont(BrandFonts::figtree(13));
    ViewStyle::setTextColor(esc, "#8E8E93");
    return makeSection(
        QStringLiteral("Hotkey"),
        {makeRow(QStringLiteral("Toggle"), hotkeyMenu, QStringLiteral("Tap to start recording, tap again to stop")),
         makeRow(QStringLiteral("Hold to Record"), hold, QStringLiteral("Hold key to record, release to stop")),
         makeRow(QStringLiteral("Cancel"), esc, QStringLiteral("Tap to discard the current recording"))},
        parent);
}

void SettingsView::selectStoredHotkey() {
    const HotkeyOption stored = hotkeyOption::stored(settings);
    const auto raw = rawValue(stored);
    hotkeyMenu->setCurrentIndex(hotkeyMenu->findData(QString::fromUtf8(raw.data(), static_cast<int>(raw.size()))));
}

// The option is stored here as well as by the running hotkey, so the choice persists even without one.
void SettingsView::hotkeyChosen(int index) {
    const auto option = hotkeyOptionFromRaw(hotkeyMenu->itemData(index).toString().toStdString());
    if (!option) {
        return;
    }
    if (*option == HotkeyOption::custom) {
        showKeyRecorder();
        return;
    }
    hotkeyOption::save(*option, settings);
    notificationCenter.post(notifications::hotkeyChanged, *option);
}

void SettingsView::showKeyRecorder() {
    KeyRecorderDialog dialog(services.translateKey, window());
    const auto key = dialog.record();
    if (!key) {
        selectStoredHotkey();
        return;
    }
    const QString label = QStringLiteral("Custom: ") + key->name;
    hotkeyOption::saveCustomKey(key->keyCode, 0, label.toStdString(), settings);
    hotkeyOption::save(HotkeyOption::custom, settings);
    const int item = hotkeyMenu->findData(QStringLiteral("custom"));
    hotkeyMenu->setItemText(item, label);
    hotkeyMenu->setCurrentIndex(item);
    notificationCenter.post(notifications::hotkeyChanged, HotkeyOption::custom);
}

QWidget* SettingsView::buildBehavior(QWidget* parent) {
    autoEnter = makeSwitch(settings.autoEnterAfterPaste(), [this](bool on) { settings.setAutoEnterAfterPaste(on); });
    autoEnter->setAccessibleName(QStringLiteral("Auto-Enter"));
    sound = makeSwitch(settings.soundFeedback(), [this](bool on) { settings.setSoundFeedback(on); });
    sound->setAccessibleName(QStringLiteral("Sound Feedback"));
    return makeSection(QStringLiteral("Behavior"),
                       {makeRow(QStringLiteral("Auto-Enter"), autoEnter,
                                QStringLiteral("Presses Enter automatically after transcription completes")),
                        makeRow(QStringLiteral("Sound Feedback"), sound,
                                QStringLiteral("Play sounds when recording starts, stops, or errors"))},
                       parent);
}

QWidget* SettingsView::buildCapsule(QWidget* parent) {
    auto* segments = new QWidget(this);
    auto* row = new QHBoxLayout(segments);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    sizes = new QButtonGroup(this);
    sizes->setExclusive(true);
    const int selected = static_cast<int>(storedCapsuleSize(settings));
    for (int i = 0; i < static_cast<int>(allCapsuleSizes.size()); ++i) {
        const auto name = displayName(allCapsuleSizes[i]);
        auto* segment = new QPushButton(QString::fromUtf8(name.data(), static_cast<int>(name.size())), segments);
        segment->setCheckable(true);
        segment->setChecked(i == selected);
        segment->setFont(BrandFonts::figtree(12));
        segment->setStyleSheet(QStringLiteral(
            "QPushButton { color: #E0E0E0; background: #2C2C2E; border: 0.5px solid #3A3A3C; padding: 3px 12px; } "
            "QPushButton:checked { background: #545458; }"));
        sizes->addButton(segment, i);
        row->addWidget(segment);
    }
    connect(sizes, &QButtonGroup::idClicked, this, [this](int id) { sizeChosen(id); });
    auto* box = column(parent, 6);
    box->layout()->addWidget(makeSection(
        QStringLiteral("Capsule"),
        {makeRow(QStringLiteral("Size"), segments, QStringLiteral("How large the recording indicator appears"))}, box));
    preview = new QWidget(box);
    preview->setObjectName(QStringLiteral("capsulePreviewArea"));
    preview->setFixedHeight(60);
    new QHBoxLayout(preview);
    box->layout()->addWidget(preview);
    rebuildPreview();
    return box;
}

void SettingsView::sizeChosen(int index) {
    if (index < 0 || index >= static_cast<int>(allCapsuleSizes.size())) {
        return;
    }
    saveCapsuleSize(settings, allCapsuleSizes[index]);
    notificationCenter.post(notifications::capsuleSizeChanged);
    rebuildPreview();
}

void SettingsView::rebuildPreview() {
    QLayout* area = preview->layout();
    while (QLayoutItem* item = area->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    previewCapsule = new CapsulePreview(storedCapsuleSize(settings), preview);
    area->addWidget(previewCapsule);
    area->setAlignment(previewCapsule, Qt::AlignCenter);
    previewCapsule->show();
}

QWidget* SettingsView::buildStyle(QWidget* parent) {
    styleMenu = new QComboBox(this);
    styleMenu->setObjectName(QStringLiteral("stylePopUp"));
    styleMenu->setAccessibleName(QStringLiteral("Style"));
    styleMenu->setFont(BrandFonts::figtree(13));
    styleMenu->setStyleSheet(kComboStyle);
    for (const StylePreset& preset : stylePresets::all()) {
        styleMenu->addItem(QString::fromUtf8(preset.title.data(), static_cast<int>(preset.title.size())),
                           QString::fromUtf8(preset.id.data(), static_cast<int>(preset.id.size())));
    }
    connect(styleMenu, &QComboBox::activated, this, [this](int index) { styleChosen(index); });

    auto* box = column(parent, 6);
    box->layout()->addWidget(makeSection(
        QStringLiteral("Transcription Style"),
        {makeRow(QStringLiteral("Style"), styleMenu, QStringLiteral("How your transcriptions are formatted"))}, box));
    auto* under = column(box, 8);
    description = makeLabel(QString(), BrandFonts::figtree(11), "#6E6E73", under);
    description->setWordWrap(true);
    prompt = new QPlainTextEdit(under);
    prompt->setObjectName(QStringLiteral("promptEditor"));
    prompt->setAccessibleName(QStringLiteral("Prompt"));
    prompt->setFixedHeight(140);
    prompt->setFont(BrandFonts::spaceMono(12));
    prompt->setUndoRedoEnabled(true);
    prompt->document()->setDocumentMargin(8);
    note = makeLabel(QStringLiteral("Core transcription rules (word preservation, safety, self-correction handling) "
                                    "are always applied. You're customizing the tone and formatting style only."),
                     BrandFonts::figtree(10), "#6E6E73", under);
    note->setWordWrap(true);
    savePrompt = new QPushButton(QStringLiteral("Save Prompt"), under);
    savePrompt->setObjectName(QStringLiteral("savePrompt"));
    savePrompt->setFont(BrandFonts::figtree(12, Weight::medium));
    savePrompt->setStyleSheet(QStringLiteral("QPushButton { color: #E0E0E0; background: #3A3A3C; border: 0.5px solid "
                                             "#48484A; border-radius: 6px; padding: 4px 14px; } "
                                             "QPushButton:pressed { background: #48484A; }"));
    connect(savePrompt, &QPushButton::clicked, this, [this] { savePromptTapped(); });
    for (QWidget* w :
         {static_cast<QWidget*>(description), static_cast<QWidget*>(prompt), static_cast<QWidget*>(note)}) {
        under->layout()->addWidget(w);
    }
    under->layout()->addWidget(savePrompt);
    static_cast<QVBoxLayout*>(under->layout())->setAlignment(savePrompt, Qt::AlignLeft);
    box->layout()->addWidget(under);

    const std::size_t index =
        stylePresets::indexOf(settings.stylePreset().value_or(std::string(stylePresets::defaultId)));
    styleMenu->setCurrentIndex(static_cast<int>(index));
    showPreset(index);
    return box;
}

void SettingsView::showPreset(std::size_t index) {
    const StylePreset& preset = stylePresets::all()[index];
    description->setText(QString::fromUtf8(preset.description.data(), static_cast<int>(preset.description.size())));
    const bool custom = preset.id == stylePresets::customId;
    if (custom) {
        prompt->setPlainText(QString::fromStdString(stylePresets::loadCustomPrompt(settings)));
    } else {
        prompt->setPlainText(QString::fromUtf8(preset.prompt.data(), static_cast<int>(preset.prompt.size())));
    }
    prompt->setReadOnly(!custom);
    prompt->setTextInteractionFlags(custom ? Qt::TextEditorInteraction : Qt::TextSelectableByMouse);
    prompt->setStyleSheet(custom ? QStringLiteral("QPlainTextEdit { color: #E0E0E0; background: #141416; "
                                                  "border: 0.5px solid rgba(74, 222, 128, 0.4); border-radius: 8px; "
                                                  "selection-background-color: #2E5E44; }")
                                 : QStringLiteral("QPlainTextEdit { color: #98989D; background: #141416; "
                                                  "border: 0.5px solid #2C2C2E; border-radius: 8px; }"));
    note->setVisible(custom);
    savePrompt->setVisible(custom);
}

// A preset reaches the backend as its identifier at once; a custom prompt only when it is saved.
void SettingsView::styleChosen(int index) {
    const QString id = styleMenu->itemData(index).toString();
    if (id.isEmpty()) {
        return;
    }
    settings.setStylePreset(id.toStdString());
    const std::size_t preset = stylePresets::indexOf(id.toStdString());
    showPreset(preset);
    if (id.toStdString() != stylePresets::customId && services.syncStyle) {
        services.syncStyle(id.toStdString(), "");
    }
}

void SettingsView::savePromptTapped() {
    const std::string text = prompt->toPlainText().toStdString();
    settings.setStylePreset(std::string(stylePresets::customId));
    settings.setCustomPrompt(text);
    if (services.syncStyle) {
        services.syncStyle(std::string(stylePresets::customId), text);
    }
    savePrompt->setText(QStringLiteral("Saved ✓"));
    QPointer<QPushButton> button(savePrompt);
    mainQueue.postAfter(1.5, [button] {
        if (button) {
            button->setText(QStringLiteral("Save Prompt"));
        }
    });
}

QWidget* SettingsView::buildVocabulary(QWidget* parent) {
    auto* box = column(parent, 6);
    box->layout()->addWidget(SettingsCards::sectionLabel(QStringLiteral("Vocabulary"), box));
    auto* hint = makeLabel(QStringLiteral("Custom words improve transcription accuracy. Synced to cloud."),
                           BrandFonts::figtree(11), "#5C5C60", box);
    hint->setWordWrap(true);
    box->layout()->addWidget(hint);
    vocab = new VocabTagEditor(
        loadVocabWords(), [this](const std::vector<std::string>& words) { saveVocab(vocabularyWords::join(words)); },
        box);
    vocab->setObjectName(QStringLiteral("vocabEditor"));
    box->layout()->addWidget(vocab);
    return box;
}

std::vector<std::string> SettingsView::loadVocabWords() const {
    return services.vocabularyFile.empty() ? std::vector<std::string>{}
                                           : vocabularyWords::load(services.vocabularyFile);
}

// A failed write still reaches the backend; the file is the local copy only.
void SettingsView::saveVocab(const std::string& words) {
    if (!services.vocabularyFile.empty()) {
        VocabularyFile::save(services.vocabularyFile, words);
    }
    if (services.syncVocab) {
        services.syncVocab(words);
    }
}

QWidget* SettingsView::buildExperimental(QWidget* parent) {
    commandMode = makeSwitch(settings.commandModeEnabled(), [this](bool on) { settings.setCommandModeEnabled(on); });
    commandMode->setAccessibleName(QStringLiteral("Command Mode"));
    return makeSection(QStringLiteral("Experimental"),
                       {makeRow(QStringLiteral("Command Mode"), commandMode,
                                QStringLiteral("Double-tap hotkey to control your desktop with voice. AI sees your "
                                               "screen and executes actions."))},
                       parent);
}

} // namespace vokari
