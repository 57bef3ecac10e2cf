#pragma once
// The about window: title, version, the maker's lines and two link labels.

#include <QDialog>
#include <QLabel>
#include <QPixmap>
#include <functional>

class QFrame;
class QPushButton;

namespace sonavir {

// The program's 32 x 32 icon, drawn in code (window icon and about window).
QPixmap ProgramIcon();

// A label that acts on a click: blue, underlined, with the hand cursor.
class LinkLabel : public QLabel {
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 286;
    static constexpr int kClientHeight = 252;

    explicit AboutWindow(QWidget* parent = nullptr);

    QFrame* Bevel1;
    QLabel* Image1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* VersionLabel;
    QLabel* Label3;
    QLabel* Label5;
    QLabel* Label8;
    LinkLabel* Label4;   // e-mail
    LinkLabel* Label7;   // web site
    QFrame* LogoPanel;
    QLabel* YearLabel;
    QPushButton* CloseSpeedButton;

    void Label4Click();
    void Label7Click();
    void CloseSpeedButtonClick();
};

}  // namespace sonavir
