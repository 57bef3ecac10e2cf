#include "gui/SpinEdit.h"

#include <QLineEdit>
#include <QRegularExpression>

#include <algorithm>

#include "signal/NumberText.h"

namespace sonavir {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    lineEdit()->setText(QStringLiteral("0"));
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit changed(value()); });
}

void SpinEdit::setRange(int minimum, int maximum)
{
    min_ = minimum;
    max_ = std::max(minimum, maximum);
}

int SpinEdit::value() const { return SpinTextValue(lineEdit()->text().toStdString(), min_); }

void SpinEdit::setValue(int value)
{
    const QString text = QString::number(value);
    if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps)
{
    const long long v = std::clamp<long long>(static_cast<long long>(value()) + steps, min_, max_);
    setValue(static_cast<int>(v));
    lineEdit()->selectAll();
    emit changed(static_cast<int>(v));
}

QValidator::State SpinEdit::validate(QString& input, int&) const
{
    // Digits and a sign only, as typed keys go; the range is not checked here.
    static const QRegularExpression allowed(QStringLiteral("^\\s*[+-]?\\d*\\s*$"));
    return allowed.match(input).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
}

void SpinEdit::fixup(QString&) const {}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const
{
    StepEnabled flags = StepNone;
    const int v = value();
    if (v < max_) flags |= StepUpEnabled;
    if (v > min_) flags |= StepDownEnabled;
    return flags;
}

void SpinEdit::focusOutEvent(QFocusEvent* event)
{
    QAbstractSpinBox::focusOutEvent(event);
    const int v = value();
    const int clamped = std::clamp(v, min_, max_);
    // The box shows what the model takes: an empty text or a lone sign
    // becomes the minimum, a number out of the range its end.
    setValue(clamped);
    if (clamped != v) emit changed(clamped);
}

}  // namespace sonavir
