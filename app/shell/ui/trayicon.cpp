// The tray icon.
#include "trayicon.h"

#include "shell/mainwindowmodel.h"
#include "shell/traystatus.h"
#include "widgets/pictures.h"

#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace
{
// The program's icon with a dot for the presence at the bottom right and, while messages wait,
// an envelope's badge at the top right.
QIcon trayPicture(TrayStatus::Presence presence, int unread)
{
    QPixmap pm = Pictures::appIcon();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor dot = presence == TrayStatus::Presence::DoNotDisturb ? QColor(210, 40, 40)
                       : presence == TrayStatus::Presence::InCall     ? QColor(240, 170, 20)
                                                                      : QColor(40, 180, 70);
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(dot);
    p.drawEllipse(QRectF(36, 36, 26, 26));
    if (presence == TrayStatus::Presence::DoNotDisturb) {
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(42, 49), QPointF(56, 49));
    }
    if (unread > 0) {
        p.setPen(QPen(QColor(60, 40, 0), 2));
        p.setBrush(QColor(255, 210, 60));
        const QRectF envelope(30, 2, 32, 22);
        p.drawRect(envelope);
        p.drawPolyline(QPolygonF(
            {envelope.topLeft(), envelope.center() + QPointF(0, 2), envelope.topRight()}));
    }
    return QIcon(pm);
}
} // namespace

TrayIcon::TrayIcon(TrayStatus &status, MainWindowModel &main, QObject *parent)
    : QObject(parent), m_status(status), m_main(main)
{
    m_menu = new QMenu;
    m_menu->setObjectName(QStringLiteral("mnuTray"));
    m_call = m_menu->addAction(QStringLiteral("&Call"));
    m_call->setObjectName(QStringLiteral("Tray_Call"));
    QAction *directory = m_menu->addAction(QStringLiteral("&Directory"));
    directory->setObjectName(QStringLiteral("Tray_Directory"));
    m_menu->addSeparator();
    m_dnd = m_menu->addAction(QStringLiteral("&Do Not Disturb"));
    m_dnd->setObjectName(QStringLiteral("Tray_DoNotDisturb"));
    m_dnd->setCheckable(true);
    m_menu->addSeparator();
    QAction *quit = m_menu->addAction(QStringLiteral("&Quit"));
    quit->setObjectName(QStringLiteral("Tray_Quit"));

    // Call is File > Call: the directory, from which calls are placed; Directory is the
    // toolbar's button.
    connect(m_call, &QAction::triggered, &m_main, &MainWindowModel::directoryRequested);
    connect(directory, &QAction::triggered, this,
            [this] { m_main.toolbarCommand(MainWindowModel::DirectoryTool); });
    connect(m_dnd, &QAction::triggered, &m_main, &MainWindowModel::setDoNotDisturb);
    connect(quit, &QAction::triggered, this, &TrayIcon::quitRequested);

    m_icon = new QSystemTrayIcon(this);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) emit showHideRequested();
            });
    connect(&m_status, &TrayStatus::changed, this, &TrayIcon::refresh);
    refresh();
    m_icon->show();
}

TrayIcon::~TrayIcon()
{
    delete m_icon;
    delete m_menu;
}

bool TrayIcon::visible() const
{
    return m_icon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::refresh()
{
    const TrayStatus::Presence presence = m_status.presence();
    m_icon->setIcon(trayPicture(presence, m_status.unreadMessages()));
    m_icon->setToolTip(m_status.toolTip());
    m_dnd->setChecked(presence == TrayStatus::Presence::DoNotDisturb);
    m_call->setEnabled(!m_main.inCall());
}
