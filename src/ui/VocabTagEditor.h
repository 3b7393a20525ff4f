#pragma once
// The vocabulary control: the words as removable chips flowing over rows, with a one-line field at the bottom for
// adding one (Return adds, focus-out adds, Backspace on an empty field removes the last). The first row of chips
// sits directly above the field, later rows above that; the editor grows by 32 per row. It owns only the list;
// every change goes to `onChange` with the whole list. Main thread.
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;

namespace vokari {

class VocabTagEditor : public QWidget {
public:
    using OnChange = std::function<void(const std::vector<std::string>&)>;

    static constexpr int sp = 6;
    static constexpr int tagH = 26;
    static constexpr int pad = 12;

    VocabTagEditor(std::vector<std::string> words, OnChange onChange, QWidget* parent = nullptr);

    const std::vector<std::string>& words() const { return list; }
    QLineEdit* inputField() const { return input; }
    // The chips in word order (rebuilt at every layout pass).
    const std::vector<QWidget*>& chips() const { return tags; }

    void addCurrentWord();
    void removeWord(std::size_t index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeTag(const std::string& word, std::size_t index);
    void relayout();

    std::vector<std::string> list;
    OnChange onChange;
    QLineEdit* input = nullptr;
    std::vector<QWidget*> tags;
    bool laying = false; // a height change resizes the editor while it lays out
};

} // namespace vokari
