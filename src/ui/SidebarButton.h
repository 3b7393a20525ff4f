#pragma once
// One tab of the main window's sidebar: a symbol and a title on a rounded background that marks the selected
// tab and, on hover, the others. Its tag is the tab number. Main thread; owned by the sidebar.
#include <QAbstractButton>
#include <QIcon>

class QLabel;

namespace vokari {

class SidebarButton : public QAbstractButton {
public:
    SidebarButton(const QIcon& icon, const QString& title, int tag, QWidget* parent = nullptr);

    void setActive(bool active);
    bool isActiveState() const { return active; }
    int tag() const { return tabTag; }
    // The background's white alpha (0, 0.04 hovered, 0.08 selected), as painted.
    double backgroundAlpha() const;
    QString label() const { return title; }
    const QLabel* textLabel() const { return text; }
    // The colour the symbol is currently tinted with.
    QColor iconTint() const { return tint; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void refreshIcon();

    QString title;
    int tabTag;
    bool active = false;
    bool hovered = false;
    QIcon symbol;
    QColor tint;
    QLabel* iconView = nullptr;
    QLabel* text = nullptr;
};

} // namespace vokari
