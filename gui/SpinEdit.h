#pragma once
// An integer spin edit that takes what is typed: the value is the integer in
// the text (held to the int range), or the minimum when the text is not an
// integer; a typed value outside the range stands while the field has the
// focus and is brought into the range when the focus leaves, which reports a
// change again. On leaving, the box shows the value in use. QSpinBox would
// refuse or silently fix such input instead.

#include <QAbstractSpinBox>

namespace sonavir {

class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return min_; }
    int maximum() const { return max_; }

    int value() const;
    // The program's own setting: no change is reported.
    void setValue(int value);

    void stepBy(int steps) override;

signals:
    // A change by the user: typing, the arrows, or the correction on focus loss.
    void changed(int value);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    StepEnabled stepEnabled() const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int min_ = 0;
    int max_ = 99;
};

}  // namespace sonavir
