#include "gui/AboutWindow.h"

#include <QFrame>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <algorithm>

#include "display/ProgramIcon.h"
#include "gui/HelpLinks.h"
#include "gui/QtText.h"

namespace sonavir {

QPixmap ProgramIcon()
{
    return QPixmap::fromImage(ProgramIconImage(kProgramIconSide));
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
        onClick();
}

namespace {

QLabel* CentredLabel(const QString& text, QWidget* parent, int top, bool bold)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(2, top, 282, 18);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

}  // namespace

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("О программе"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(kClientWidth, kClientHeight);

    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(0, 0, kClientWidth, kClientHeight - 41);

    Image1 = new QLabel(this);
    Image1->setPixmap(ProgramIcon());
    Image1->setGeometry(128, 16, 32, 32);

    Label1 = CentredLabel(Q(kProgramTitle), this, 56, true);
    Label2 = CentredLabel(QString(), this, 80, true);
    // FormCreate replaces the design text with the version.
    VersionLabel = CentredLabel(QStringLiteral("Версия"), this, 100, false);
    VersionLabel->setText(Q(VersionText()));
    Label3 = CentredLabel(Q(kAuthorLine), this, 120, false);
    Label5 = CentredLabel(Q(kCreditLine), this, 140, false);

    Label8 = new QLabel(QStringLiteral("e-mail:"), this);
    Label8->move(17, 188);
    Label8->adjustSize();
    // The address follows its caption at 51, or just after it in a wider font.
    const int mailLeft = std::max(51, Label8->geometry().right() + 5);
    Label4 = new LinkLabel(Q(kMakerEmail), this);
    Label4->move(mailLeft, 188);
    Label4->adjustSize();
    Label4->onClick = [this] { Label4Click(); };
    Label7 = new LinkLabel(Q(kMakerHost), this);
    Label7->adjustSize();
    Label7->move(192, 188);
    Label7->onClick = [this] { Label7Click(); };
    // Addresses too long for one line go on two, the site under the e-mail.
    if (Label4->geometry().right() + 8 > 192 || 192 + Label7->width() > kClientWidth - 4) {
        Label8->move(17, 170);
        Label4->move(mailLeft, 170);
        Label7->move(mailLeft, 189);
    }

    LogoPanel = new QFrame(this);
    LogoPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    LogoPanel->setGeometry(0, kClientHeight - 41, kClientWidth, 41);
    YearLabel = new QLabel(Q(kYearsText), LogoPanel);
    YearLabel->move(14, 17);
    YearLabel->adjustSize();
    YearLabel->move(14, (41 - YearLabel->height()) / 2);
    CloseSpeedButton = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                                       QStringLiteral("Закрыть"), LogoPanel);
    CloseSpeedButton->setGeometry(184, 10, 89, 22);
    connect(CloseSpeedButton, &QPushButton::clicked, this, &AboutWindow::CloseSpeedButtonClick);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void AboutWindow::Label4Click() { OpenAddress(MailUrl()); }
void AboutWindow::Label7Click() { OpenAddress(SiteRootUrl()); }
void AboutWindow::CloseSpeedButtonClick() { accept(); }

}  // namespace sonavir
