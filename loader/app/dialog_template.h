// Builds a dialog the way a dialog template describes it: controls at fixed
// positions given in dialog units, which scale with the dialog font's
// average character size, so a template keeps its proportions with any font.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>

class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace flashup::app {

// The template's face when it is installed, else a close sans-serif, at the
// template's point size.
QFont dialogFont(const QString& face, int pointSize);

// Dialog base units: the font's average character width over the Latin
// alphabet, rounded, and its character height. A dialog unit is a quarter of
// the first horizontally and an eighth of the second vertically.
struct DialogUnits {
    int charWidth = 0;
    int charHeight = 0;

    static DialogUnits of(const QFont& font);
    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QRect toPixels(const QRect& units) const;
};

// Sets up `dialog` (font, fixed client size) and creates its controls. A
// control with an id gets the object name controlName(id); id 0 stands for a
// control without one. `border` pixels of frame drawn by the dialog itself
// surround the client area.
class DialogTemplate {
  public:
    DialogTemplate(QDialog& dialog, const QString& face, int pointSize, QSize units,
                   int border = 0);

    const DialogUnits& units() const { return units_; }

    // A static text. One that has room for a single line only is not
    // wrapped; left-aligned, it is widened to its text when needed.
    QLabel* addText(int id, const QString& text, const QRect& units,
                    Qt::Alignment alignment = Qt::AlignLeft);
    // An icon or bitmap control showing an SVG resource at the control's size.
    QLabel* addPicture(int id, const QString& resource, const QRect& units);
    QPushButton* addButton(int id, const QString& text, const QRect& units, bool isDefault = false);
    QProgressBar* addProgressBar(int id, const QRect& units);
    // `units` includes the drop-down list, as in the template; the edit field
    // keeps the height its font needs.
    QComboBox* addComboBox(int id, const QRect& units);
    QGroupBox* addGroupBox(const QString& title, const QRect& units);

  private:
    void place(QWidget* control, int id, const QRect& units);

    QDialog& dialog_;
    DialogUnits units_;
    int border_;
};

}  // namespace flashup::app
