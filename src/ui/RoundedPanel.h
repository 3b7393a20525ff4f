#pragma once
// A plain widget painted as a rounded rectangle with a hairline border: the settings cards and the vocabulary
// chips. Main thread; owned by its Qt parent.
#include <QWidget>

#include <string>

namespace vokari {

class RoundedPanel : public QWidget {
public:
    RoundedPanel(std::string fillHex, std::string borderHex, double radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string fillHex;
    std::string borderHex;
    double radius;
};

} // namespace vokari
