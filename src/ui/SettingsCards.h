#pragma once
// Builders for the settings tab's look: a section (grey title over a rounded card), a card's row (title, optional
// subtitle, control at the trailing edge; 60 high with a subtitle, 48 without) and the inset separator between
// rows. Main thread.
#include <QString>

#include <vector>

class QLabel;
class QWidget;

namespace vokari::SettingsCards {

QLabel* sectionLabel(const QString& title, QWidget* parent);
// A column of the title and a card holding `rows`, separated by separators.
QWidget* makeSection(const QString& title, const std::vector<QWidget*>& rows, QWidget* parent);
QWidget* makeRow(const QString& title, QWidget* control, const QString& subtitle = QString(),
                 QWidget* parent = nullptr);
QWidget* makeSeparator(QWidget* parent);

} // namespace vokari::SettingsCards
