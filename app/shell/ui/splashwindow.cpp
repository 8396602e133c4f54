// The splash window.
#include "splashwindow.h"

#include "version.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QLabel>
#include <QVBoxLayout>

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#frmSplash { background: qlineargradient(x1:0, y1:0, x2:0, "
                                 "y2:1, stop:0 #f4f8ff, stop:1 #c9dcf7); border: 1px solid "
                                 "#5577aa; }"));
    auto *logo = new QLabel(this);
    logo->setPixmap(Pictures::logo(300));
    logo->setAlignment(Qt::AlignCenter);
    auto *line = new QLabel(QStringLiteral("Video calls, peer to peer"), this);
    line->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(QStringLiteral("Version ") + ProgramVersion, this);
    version->setObjectName(QStringLiteral("pnlVersion"));
    version->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 20, 30, 20);
    layout->addWidget(logo);
    layout->addWidget(line);
    layout->addWidget(version);
    centreOnScreen(this);
}
