#include "gui/TabRows.h"

#include <QButtonGroup>
#include <QEvent>
#include <QStackedWidget>
#include <QToolButton>

#include <algorithm>

namespace sonavir {

TabRows::TabRows(QWidget* parent)
    : QWidget(parent), bar_(new QWidget(this)), stack_(new QStackedWidget(this)),
      group_(new QButtonGroup(this))
{
    group_->setExclusive(true);
    stack_->setFrameShape(QFrame::StyledPanel);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) { setCurrentIndex(id); });
}

int TabRows::addTab(QWidget* page, const QString& label)
{
    const int index = static_cast<int>(buttons_.size());
    auto* button = new QToolButton(bar_);
    button->setText(label);
    button->setCheckable(true);
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    group_->addButton(button, index);
    buttons_.append(button);
    stack_->addWidget(page);
    if (index == 0) button->setChecked(true);
    Relayout();
    updateGeometry();
    return index;
}

int TabRows::count() const { return static_cast<int>(buttons_.size()); }

int TabRows::currentIndex() const { return stack_->currentIndex(); }

void TabRows::setCurrentIndex(int index)
{
    if (index < 0 || index >= count()) return;
    buttons_[index]->setChecked(true);
    if (index == stack_->currentIndex()) return;
    stack_->setCurrentIndex(index);
    Relayout();
    emit currentChanged(index);
}

QWidget* TabRows::widget(int index) const { return stack_->widget(index); }

QWidget* TabRows::currentWidget() const { return stack_->currentWidget(); }

QString TabRows::tabText(int index) const
{
    return index >= 0 && index < count() ? buttons_[index]->text() : QString();
}

QAbstractButton* TabRows::tabButton(int index) const
{
    return index >= 0 && index < count() ? buttons_[index] : nullptr;
}

QList<QList<int>> TabRows::Wrap(int width) const
{
    QList<QList<int>> result;
    QList<int> row;
    int used = 0;
    for (int i = 0; i < count(); ++i) {
        const int w = buttons_[i]->sizeHint().width();
        if (!row.isEmpty() && used + w > width) {
            result.append(row);
            row.clear();
            used = 0;
        }
        row.append(i);
        used += w;
    }
    if (!row.isEmpty()) result.append(row);
    return result;
}

QList<QList<int>> TabRows::Ordered(const QList<QList<int>>& wrapped) const
{
    const int current = currentIndex();
    int at = static_cast<int>(wrapped.size()) - 1;
    for (int r = 0; r < wrapped.size(); ++r) {
        if (wrapped[r].contains(current)) at = r;
    }
    // Rotate so that the current row comes last, keeping the cyclic order.
    QList<QList<int>> result;
    for (int k = 1; k <= wrapped.size(); ++k) {
        result.append(wrapped[(at + k) % wrapped.size()]);
    }
    return result;
}

QList<QList<int>> TabRows::rows() const { return Ordered(Wrap(width())); }

int TabRows::RowHeight() const
{
    int h = 0;
    for (auto* b : buttons_) h = std::max(h, b->sizeHint().height());
    return h;
}

int TabRows::heightForWidth(int width) const
{
    return static_cast<int>(Wrap(width).size()) * RowHeight() + stack_->sizeHint().height();
}

QSize TabRows::sizeHint() const
{
    int widest = stack_->sizeHint().width();
    for (auto* b : buttons_) widest = std::max(widest, b->sizeHint().width());
    return {widest, heightForWidth(widest)};
}

QSize TabRows::minimumSizeHint() const { return sizeHint(); }

void TabRows::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

void TabRows::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Relayout();
}

void TabRows::Relayout()
{
    const int w = width();
    const auto ordered = Ordered(Wrap(w));
    const int rowH = RowHeight();
    int y = 0;
    for (const auto& row : ordered) {
        // Stretch each row across the full width, sharing the spare pixels.
        int natural = 0;
        for (int i : row) natural += buttons_[i]->sizeHint().width();
        const int spare = std::max(0, w - natural);
        int x = 0;
        for (int k = 0; k < row.size(); ++k) {
            const int i = row[k];
            int bw = buttons_[i]->sizeHint().width() + spare / static_cast<int>(row.size());
            if (k == row.size() - 1) bw = w - x;
            buttons_[i]->setGeometry(x, y, bw, rowH);
            x += bw;
        }
        y += rowH;
    }
    bar_->setGeometry(0, 0, w, y);
    stack_->setGeometry(0, y, w, std::max(0, height() - y));
}

}  // namespace sonavir
