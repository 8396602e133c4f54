// The splash, message and About windows.
#include "frmmessage.h"

#include "calls/callsession.h"
#include "shell/pictures.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

void centreOnScreen(QWidget *window)
{
    window->adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

FrmSplash::FrmSplash(QWidget *parent)
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
    auto *version = new QLabel(QStringLiteral("Version ") + ProtocolVersion, this);
    version->setObjectName(QStringLiteral("pnlVersion"));
    version->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 20, 30, 20);
    layout->addWidget(logo);
    layout->addWidget(line);
    layout->addWidget(version);
    centreOnScreen(this);
}

FrmMessage::FrmMessage(Kind kind, QWidget *parent) : QWidget(parent, Qt::Window | Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const bool error = kind == Error;
    setObjectName(error ? QStringLiteral("frmErrorMsg") : QStringLiteral("frmMessage"));
    setWindowTitle(error ? QStringLiteral("OVELA Error") : QStringLiteral("OVELA Information"));
    setWindowIcon(Pictures::appIcon());
    auto *icon = new QLabel(this);
    const auto which = error ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation;
    icon->setPixmap(style()->standardIcon(which).pixmap(32, 32));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("pnlMessage"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setMinimumWidth(300);
    m_text->setMaximumWidth(480);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, [this] {
        emit acknowledged();
        close();
    });
}

void FrmMessage::showText(const QString &text)
{
    m_text->setText(text);
    centreOnScreen(this);
    show();
    raise();
}

QString FrmMessage::text() const
{
    return m_text->text();
}

FrmAbout::FrmAbout(QWidget *parent) : QWidget(parent, Qt::Window | Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About OVELA"));
    auto *picture = new QLabel(this);
    picture->setPixmap(Pictures::logo(240));
    picture->setAlignment(Qt::AlignCenter);
    auto *version = new QLabel(QStringLiteral("Version ") + ProtocolVersion, this);
    version->setObjectName(QStringLiteral("lblVersion"));
    auto *product = new QLabel(QStringLiteral("OVELA for Windows 95/98/NT"), this);
    product->setObjectName(QStringLiteral("lblProduct"));
    auto *support = new QLabel(QStringLiteral("Technical support can be reached by sending E-Mail "
                                              "to support@ovela.example"),
                               this);
    support->setObjectName(QStringLiteral("lblSupport"));
    support->setWordWrap(true);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto *layout = new QVBoxLayout(this);
    for (QLabel *l : {picture, version, product, support}) {
        l->setAlignment(Qt::AlignCenter);
        layout->addWidget(l);
    }
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    setFixedWidth(340);
    centreOnScreen(this);
}
