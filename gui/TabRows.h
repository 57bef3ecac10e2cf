#pragma once
// A page control whose tabs wrap onto several rows instead of scrolling: the
// parameters window has eleven tabs in a small fixed window, and every tab must
// stay visible. Like a classic multi-line page control, the row holding the
// current tab is moved next to the page; the rows keep their cyclic order.

#include <QList>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QStackedWidget;
class QToolButton;

namespace sonavir {

class TabRows : public QWidget {
    Q_OBJECT
public:
    explicit TabRows(QWidget* parent = nullptr);

    int addTab(QWidget* page, const QString& label);
    int count() const;
    int currentIndex() const;
    void setCurrentIndex(int index);  // raises currentChanged when it changes
    QWidget* widget(int index) const;
    QWidget* currentWidget() const;
    QString tabText(int index) const;
    QAbstractButton* tabButton(int index) const;

    // Rows as laid out for the present width, top to bottom; each holds tab
    // indices left to right.
    QList<QList<int>> rows() const;
    int rowCount() const { return static_cast<int>(rows().size()); }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void currentChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Tabs split greedily into rows that fit the width, in tab order.
    QList<QList<int>> Wrap(int width) const;
    // The wrapped rows in display order: the current tab's row last.
    QList<QList<int>> Ordered(const QList<QList<int>>& wrapped) const;
    int RowHeight() const;
    void Relayout();

    QWidget* bar_;
    QStackedWidget* stack_;
    QButtonGroup* group_;
    QList<QToolButton*> buttons_;
};

}  // namespace sonavir
