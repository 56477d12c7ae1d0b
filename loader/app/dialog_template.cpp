#include "loader/app/dialog_template.h"

#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "loader/app/control_ids.h"
#include "loader/app/pictures.h"

namespace flashup::app {

namespace {

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Rounded a * b / c, as dialog-unit conversion has always done it.
int mulDiv(int a, int b, int c) {
    long long product = static_cast<long long>(a) * b;
    return static_cast<int>((2 * product + c) / (2 * c));
}

}  // namespace

QFont dialogFont(const QString& face, int pointSize) {
    const QStringList families = QFontDatabase::families();
    QString chosen;
    for (const QString& candidate : {face, QStringLiteral("DejaVu Sans")}) {
        if (families.contains(candidate, Qt::CaseInsensitive)) {
            chosen = candidate;
            break;
        }
    }
    QFont font(chosen.isEmpty() ? QStringLiteral("Sans Serif") : chosen, pointSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogUnits DialogUnits::of(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetWidth = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
    // Width of the 52 letters over 52, rounded to the nearest pixel.
    return DialogUnits{(alphabetWidth / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::toPixelsX(int units) const { return mulDiv(units, charWidth, 4); }

int DialogUnits::toPixelsY(int units) const { return mulDiv(units, charHeight, 8); }

QRect DialogUnits::toPixels(const QRect& units) const {
    return QRect(toPixelsX(units.x()), toPixelsY(units.y()), toPixelsX(units.width()),
                 toPixelsY(units.height()));
}

DialogTemplate::DialogTemplate(QDialog& dialog, const QString& face, int pointSize, QSize units,
                               int border)
    : dialog_(dialog), border_(border) {
    const QFont font = dialogFont(face, pointSize);
    dialog_.setFont(font);
    units_ = DialogUnits::of(font);
    dialog_.setFixedSize(units_.toPixelsX(units.width()) + 2 * border_,
                         units_.toPixelsY(units.height()) + 2 * border_);
}

void DialogTemplate::place(QWidget* control, int id, const QRect& units) {
    if (id != 0) control->setObjectName(controlName(id));
    control->setGeometry(units_.toPixels(units).translated(border_, border_));
}

QLabel* DialogTemplate::addText(int id, const QString& text, const QRect& units,
                                Qt::Alignment alignment) {
    auto* label = new QLabel(text, &dialog_);
    label->setTextFormat(Qt::PlainText);
    // Static text starts at the top of its box unless told otherwise.
    if (!(alignment & Qt::AlignVertical_Mask)) alignment |= Qt::AlignTop;
    label->setAlignment(alignment);
    place(label, id, units);
    const QFontMetrics metrics = label->fontMetrics();
    if (label->height() >= 2 * metrics.height()) {
        label->setWordWrap(true);
    } else if (alignment & Qt::AlignLeft) {
        // A one-line text that the substitute font makes wider than its box
        // grows to the right instead of losing its end.
        label->resize(std::max(label->width(), metrics.horizontalAdvance(text)), label->height());
    }
    return label;
}

QLabel* DialogTemplate::addPicture(int id, const QString& resource, const QRect& units) {
    auto* label = new QLabel(&dialog_);
    place(label, id, units);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(renderPicture(resource, label->size(), label->devicePixelRatioF()));
    return label;
}

QPushButton* DialogTemplate::addButton(int id, const QString& text, const QRect& units,
                                       bool isDefault) {
    auto* button = new QPushButton(text, &dialog_);
    button->setDefault(isDefault);
    place(button, id, units);
    return button;
}

QProgressBar* DialogTemplate::addProgressBar(int id, const QRect& units) {
    auto* bar = new QProgressBar(&dialog_);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    place(bar, id, units);
    return bar;
}

QComboBox* DialogTemplate::addComboBox(int id, const QRect& units) {
    auto* combo = new QComboBox(&dialog_);
    combo->setEditable(true);
    // A typed name is used as typed; it does not join the list.
    combo->setInsertPolicy(QComboBox::NoInsert);
    place(combo, id, units);
    combo->resize(combo->width(), combo->sizeHint().height());
    return combo;
}

QGroupBox* DialogTemplate::addGroupBox(const QString& title, const QRect& units) {
    auto* group = new QGroupBox(title, &dialog_);
    place(group, 0, units);
    // A frame around other controls must not cover them or take their clicks.
    group->lower();
    group->setAttribute(Qt::WA_TransparentForMouseEvents);
    return group;
}

}  // namespace flashup::app
