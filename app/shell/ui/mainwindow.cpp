// The main window.
#include "mainwindow.h"

#include "calls/callclock.h"
#include "shell/mainwindowmodel.h"
#include "shell/ui/toolbarbutton.h"
#include "widgets/pictures.h"
#include "widgets/twips.h"
#include "widgets/videosurface.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace
{
Pictures::Light light(MainWindowModel::Light state)
{
    switch (state) {
    case MainWindowModel::Light::On:
        return Pictures::Light::On;
    case MainWindowModel::Light::NoDevice:
        return Pictures::Light::NoDevice;
    default:
        return Pictures::Light::Off;
    }
}

QLabel *picture(QWidget *parent, const char *name, const QPixmap &pm, const QString &tip = {})
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setPixmap(pm);
    label->setToolTip(tip);
    return label;
}
} // namespace

MainWindow::MainWindow(MainWindowModel &model, QWidget *parent)
    : QMainWindow(parent), m_model(model)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("OVELA"));
    setWindowIcon(Pictures::appIcon());
    buildMenus();

    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(4, 2, 4, 4);
    column->setSpacing(4);
    column->addWidget(buildToolbar());
    column->addWidget(buildDisplay(), 1, Qt::AlignHCenter);
    column->addWidget(buildReadOut());
    setCentralWidget(central);

    connect(&m_model, &MainWindowModel::callEntered, this, &MainWindow::onCallEntered);
    connect(&m_model, &MainWindowModel::callEnded, this, &MainWindow::onCallEnded);
    connect(&m_model, &MainWindowModel::animationFrameChanged, this,
            [this](int frame) { m_activity->setPixmap(Pictures::animation(frame)); });
    connect(&m_model, &MainWindowModel::clockChanged, this, &MainWindow::showClock);
    connect(&m_model, &MainWindowModel::doNotDisturbChanged, this, &MainWindow::showDoNotDisturb);
    connect(&m_model, &MainWindowModel::lightsChanged, this, &MainWindow::showLights);
    connect(&m_model, &MainWindowModel::lockChanged, this, &MainWindow::showLock);
    connect(&m_model, &MainWindowModel::quickMessagesShownChanged, m_msgIn, &QWidget::setVisible);
    connect(&m_model, &MainWindowModel::messageIndicatorChanged, this,
            [this](bool on) { showMessageWaiting(on); });
    connect(&m_model, &MainWindowModel::displaySizeChanged, this, &MainWindow::showDisplaySize);
    connect(&m_model, &MainWindowModel::selfViewShownChanged, this, &MainWindow::showSelfViewShown);
    connect(&m_model, &MainWindowModel::chatShownChanged, this, &MainWindow::showChatShown);
    connect(&m_model, &MainWindowModel::selfViewAvailabilityChanged, this,
            &MainWindow::showSelfViewAvailable);
    connect(&m_model, &MainWindowModel::talkingChanged, this, &MainWindow::showTalking);
    showClock();
    showLock();
    m_msgIn->setVisible(m_model.quickMessagesShown());
    applyMinimumSize();
}

void MainWindow::applyMinimumSize()
{
    const QSize rule =
        Twips::toPixels(MainWindowModel::MinWidthTwips, MainWindowModel::MinHeightTwips);
    setMinimumSize(rule.expandedTo(layout()->totalMinimumSize()));
}

void MainWindow::buildMenus()
{
    auto add = [this](QMenu *menu, const char *name, const QString &text, const QKeySequence &key) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) a->setShortcut(key);
        return a;
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    m_call =
        add(file, "Menu_FileCall", QStringLiteral("&Call"), QKeySequence(QStringLiteral("Ctrl+C")));
    m_hangup = add(file, "Menu_FileHangup", QStringLiteral("&Hangup"),
                   QKeySequence(QStringLiteral("Ctrl+H")));
    m_hangup->setEnabled(false);
    file->addSeparator();
    m_dnd = add(file, "Menu_FileDoNotDisturb", QStringLiteral("&Do Not Disturb"),
                QKeySequence(QStringLiteral("Ctrl+N")));
    m_dnd->setCheckable(true);
    file->addSeparator();
    QAction *quit =
        add(file, "Menu_FileQuit", QStringLiteral("&Quit"), QKeySequence(QStringLiteral("Ctrl+Q")));

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    m_viewSelf =
        add(view, "Menu_ViewSelf", QStringLiteral("&Self"), QKeySequence(QStringLiteral("Ctrl+S")));
    m_viewSelf->setCheckable(true);
    m_viewChat = add(view, "Menu_ViewChat", QStringLiteral("&Text Chat"),
                     QKeySequence(QStringLiteral("Ctrl+T")));
    m_viewChat->setCheckable(true);
    view->addMenu(buildZoomMenu());
    view->addSeparator();
    QAction *log = add(view, "Menu_ViewLog", QStringLiteral("&Log"), {});
    QAction *rates = add(view, "Menu_ViewRates", QStringLiteral("&Data Rates"),
                         QKeySequence(QStringLiteral("Ctrl+D")));
    view->addSeparator();
    QAction *options = add(view, "Menu_ViewOptions", QStringLiteral("&Options..."), {});

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction *contents = add(help, "Menu_HelpContents", QStringLiteral("&Contents"),
                            QKeySequence(QStringLiteral("F1")));
    QAction *topics = add(help, "Menu_HelpTopics", QStringLiteral("&Help Topics"), {});
    QAction *doctor = add(help, "Menu_HelpDoctor", QStringLiteral("Connection &Doctor..."), {});
    help->addSeparator();
    QAction *about = add(help, "Menu_HelpAbout", QStringLiteral("&About..."), {});

    connect(m_call, &QAction::triggered, &m_model, &MainWindowModel::directoryRequested);
    connect(m_hangup, &QAction::triggered, &m_model, &MainWindowModel::hangUp);
    connect(m_dnd, &QAction::triggered, &m_model, &MainWindowModel::setDoNotDisturb);
    connect(quit, &QAction::triggered, this, &MainWindow::quit);
    connect(m_viewSelf, &QAction::triggered, this,
            [this] { m_model.toolbarCommand(MainWindowModel::SelfViewTool); });
    connect(m_viewChat, &QAction::triggered, this,
            [this] { m_model.toolbarCommand(MainWindowModel::ChatTool); });
    connect(log, &QAction::triggered, this, &MainWindow::logRequested);
    connect(rates, &QAction::triggered, this, &MainWindow::ratesRequested);
    connect(options, &QAction::triggered, this, &MainWindow::optionsRequested);
    connect(about, &QAction::triggered, this, &MainWindow::aboutRequested);
    connect(doctor, &QAction::triggered, this, &MainWindow::doctorRequested);
    connect(contents, &QAction::triggered, this, [this] { emit helpRequested(false); });
    connect(topics, &QAction::triggered, this, [this] { emit helpRequested(true); });
}

QMenu *MainWindow::buildZoomMenu()
{
    // One menu, both under View and as the video display's pop-up.
    m_zoom = new QMenu(QStringLiteral("&Zoom"), this);
    m_zoom->setObjectName(QStringLiteral("Menu_ViewZoom"));
    QAction *small = m_zoom->addAction(QStringLiteral("&Small (160x120)"));
    small->setObjectName(QStringLiteral("Menu_ViewZoomSmall"));
    QAction *normal = m_zoom->addAction(QStringLiteral("&Normal (320x240)"));
    normal->setObjectName(QStringLiteral("Menu_ViewZoomNormal"));
    connect(small, &QAction::triggered, this, [this] { zoom(int(MainWindowModel::Zoom::Small)); });
    connect(normal, &QAction::triggered, this,
            [this] { zoom(int(MainWindowModel::Zoom::Normal)); });
    return m_zoom;
}

void MainWindow::zoom(int which)
{
    m_model.zoom(MainWindowModel::Zoom(which), !isMinimized() && !isMaximized());
}

QWidget *MainWindow::buildToolbar()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("cbmaintool"));
    bar->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(0);
    // Caption, tool tip, and what a screen reader says: the button's name and what it does.
    struct Entry {
        const char *caption, *tip;
        Pictures::Tool tool;
        const char *name, *description;
    };
    const Entry entries[] = {
        {"Call", "Connection", Pictures::Tool::Call, "Call",
         "Opens the directory, from which a call is placed"},
        {"Directory", "Display User Directory", Pictures::Tool::Directory, "Directory",
         "Shows the online directory and the pals"},
        {"SelfView", "Toggle SelfView", Pictures::Tool::SelfView, "Self view",
         "Shows or hides the picture of your own camera"},
        {"Chat", "Text Chat", Pictures::Tool::Chat, "Chat", "Shows or hides the text chat"},
        {"Talk", "Push to Talk", Pictures::Tool::Talk, "Talk (hold)",
         "Hold Space or the left button while you speak"}};
    static_assert(std::size(entries) == MainWindowModel::ToolCount);
    for (int i = 0; i < MainWindowModel::ToolCount; ++i) {
        auto *b = new ToolbarButton(i, QLatin1String(entries[i].caption),
                                    QLatin1String(entries[i].tip), bar);
        b->setPictures(Pictures::tool(entries[i].tool, false),
                       Pictures::tool(entries[i].tool, true));
        b->setAccessibleName(QLatin1String(entries[i].name));
        b->setAccessibleDescription(QLatin1String(entries[i].description));
        if (i == MainWindowModel::CallTool) b->reserveCaption(QStringLiteral("HangUp"));
        connect(b, &ToolbarButton::clicked, &m_model, &MainWindowModel::toolbarCommand);
        connect(b, &ToolbarButton::hovered, this, &MainWindow::toolbarHover);
        connect(b, &ToolbarButton::pressed, this,
                [this](int i, Qt::MouseButton mb) { onTalk(i, mb, true); });
        connect(b, &ToolbarButton::released, this,
                [this](int i, Qt::MouseButton mb) { onTalk(i, mb, false); });
        row->addWidget(b);
        m_tools << b;
    }
    row->addStretch(1);
    m_activity = picture(bar, "pnlActivity", Pictures::animation(0));
    m_activity->setAccessibleName(QStringLiteral("Activity"));
    m_activity->installEventFilter(this);
    row->addWidget(m_activity);
    row->addSpacing(3);
    return bar;
}

QWidget *MainWindow::buildDisplay()
{
    m_videoPanel = new QFrame(this);
    m_videoPanel->setObjectName(QStringLiteral("pnlVidIn"));
    m_videoPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_videoPanel->setLineWidth(2);
    auto *layout = new QVBoxLayout(m_videoPanel);
    layout->setContentsMargins(2, 2, 2, 2);
    m_video = new VideoSurface(m_videoPanel);
    m_video->setObjectName(QStringLiteral("imgVidIn"));
    m_video->setAccessibleName(QStringLiteral("Incoming video"));
    m_video->setFixedSize(m_model.displaySize());
    m_video->setContextMenuPolicy(Qt::NoContextMenu);
    m_video->installEventFilter(this);
    layout->addWidget(m_video);
    m_logo = picture(m_video, "imgQvidLogo", Pictures::logo(200));
    m_logo->setAccessibleName(QStringLiteral("OVELA"));
    m_logo->installEventFilter(this);
    m_logo->adjustSize();
    m_logo->move((m_video->width() - m_logo->width()) / 2,
                 (m_video->height() - m_logo->height()) / 2);
    return m_videoPanel;
}

QWidget *MainWindow::buildReadOut()
{
    auto *strip = new QFrame(this);
    strip->setObjectName(QStringLiteral("pnlReadOutContain"));
    strip->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(6);
    m_msgIn =
        picture(strip, "imgMsgIn", Pictures::messageIn(false), QStringLiteral("Quick Message"));
    m_dndImage = picture(strip, "imgDoNotDisturb", Pictures::doNotDisturb(false),
                         QStringLiteral("Do Not Disturb"));
    m_dndImage->installEventFilter(this);
    m_msgIn->installEventFilter(this);
    m_mic = picture(strip, "imgLedMic", Pictures::microphone(Pictures::Light::Off),
                    QStringLiteral("Microphone"));
    m_cam = picture(strip, "imgLedCam", Pictures::camera(Pictures::Light::Off),
                    QStringLiteral("Camera"));
    m_speaker = picture(strip, "imgLEDSpeaker", Pictures::speaker(Pictures::Light::Off),
                        QStringLiteral("Speaker"));
    // The quick message light takes the focus: Enter opens the next message, as a double-click.
    m_msgIn->setFocusPolicy(Qt::TabFocus);
    m_msgIn->setAccessibleDescription(QStringLiteral("Enter opens the next quick message"));
    for (QLabel *w : {m_msgIn, m_dndImage, m_mic, m_cam, m_speaker}) {
        w->setAccessibleName(w->toolTip());
        row->addWidget(w);
    }
    row->addStretch(1);

    auto *readOut = new QFrame(strip);
    readOut->setObjectName(QStringLiteral("pnlReadOut"));
    readOut->setStyleSheet(QStringLiteral("#pnlReadOut { background: rgb(12,16,12); }"));
    auto *digits = new QHBoxLayout(readOut);
    digits->setContentsMargins(4, 2, 4, 2);
    digits->setSpacing(1);
    for (int i = 0; i < 4; ++i) {
        m_digits[i] = picture(readOut, "imgNum", Pictures::digit(-1));
        m_digits[i]->setObjectName(QStringLiteral("imgNum_%1").arg(i));
        digits->addWidget(m_digits[i]);
        if (i == 1) {
            m_colon = picture(readOut, "imgColon", Pictures::colon(false));
            digits->addWidget(m_colon);
        }
    }
    readOut->setToolTip(QStringLiteral("Call time"));
    readOut->setAccessibleName(QStringLiteral("Call time"));
    row->addWidget(readOut);
    row->addStretch(1);
    m_conLed =
        picture(strip, "imgConLED", Pictures::connection(false), QStringLiteral("Connection"));
    m_conLed->setAccessibleName(QStringLiteral("Connection"));
    m_conLed->installEventFilter(this);
    // Whether the call is encrypted, and the code both sides compare aloud.
    m_lock = picture(strip, "imgCallLock", Pictures::lock(false));
    m_code = new QLabel(strip);
    m_code->setObjectName(QStringLiteral("lblCallCode"));
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_code);
    row->addWidget(m_lock);
    row->addWidget(m_conLed);
    return strip;
}

void MainWindow::showDisplaySize(QSize size)
{
    m_video->setFixedSize(size);
    // The logo fits the display: a smaller one on the small display.
    m_logo->setPixmap(Pictures::logo(std::min(200, size.width() - 20)));
    m_logo->adjustSize();
    m_logo->move((size.width() - m_logo->width()) / 2, (size.height() - m_logo->height()) / 2);
    layout()->activate();
    applyMinimumSize();
    if (isMinimized() || isMaximized()) return;
    // The picture with the window's frame around it, at least as large as the contents need.
    const QSize wanted =
        Twips::toPixels(Twips::fromPixelsX(size.width()) + MainWindowModel::FrameWidthTwips,
                        Twips::fromPixelsY(size.height()) + MainWindowModel::FrameHeightTwips);
    resize(wanted.expandedTo(sizeHint()).expandedTo(minimumSize()));
}

void MainWindow::showSelfViewShown(bool shown)
{
    m_viewSelf->setChecked(shown);
    m_tools[MainWindowModel::SelfViewTool]->setBevel(shown ? ToolbarButton::Sunken
                                                           : ToolbarButton::Flat);
}

void MainWindow::showSelfViewAvailable(bool available)
{
    m_viewSelf->setEnabled(available);
}

void MainWindow::showChatShown(bool shown)
{
    m_viewChat->setChecked(shown);
    m_tools[MainWindowModel::ChatTool]->setBevel(shown ? ToolbarButton::Sunken
                                                       : ToolbarButton::Flat);
}

bool MainWindow::selfViewChecked() const
{
    return m_viewSelf->isChecked();
}

bool MainWindow::chatChecked() const
{
    return m_viewChat->isChecked();
}

void MainWindow::toolbarHover(int index)
{
    for (int i = 0; i < m_tools.size(); ++i) {
        ToolbarButton *b = m_tools[i];
        if (i == index) {
            b->setHighlighted(true);
            if (b->bevel() == ToolbarButton::Flat) b->setBevel(ToolbarButton::Raised);
        } else {
            if (b->bevel() == ToolbarButton::Raised) b->setBevel(ToolbarButton::Flat);
            b->setHighlighted(false);
        }
    }
}

void MainWindow::onTalk(int index, Qt::MouseButton button, bool down)
{
    if (index != MainWindowModel::TalkTool) return;
    if (button == Qt::LeftButton)
        m_model.talkHeld(down);
    else if (button == Qt::RightButton && down)
        m_model.talkLatch();
}

void MainWindow::showTalking(bool on, bool latched)
{
    // Held: sunken while down, flat once let go; latched off it stays raised under the mouse.
    const auto off = latched ? ToolbarButton::Raised : ToolbarButton::Flat;
    m_tools[MainWindowModel::TalkTool]->setBevel(on ? ToolbarButton::Sunken : off);
}

void MainWindow::showIndicators()
{
    showLights();
    showMessageWaiting(m_model.messageWaiting());
    m_msgIn->setVisible(m_model.quickMessagesShown());
}

void MainWindow::showMessageWaiting(bool waiting)
{
    m_msgIn->setPixmap(Pictures::messageIn(waiting));
    m_msgIn->setAccessibleName(waiting ? QStringLiteral("Quick message waiting")
                                       : QStringLiteral("Quick Message"));
}

void MainWindow::showLights()
{
    m_mic->setPixmap(Pictures::microphone(light(m_model.microphoneLight())));
    m_speaker->setPixmap(Pictures::speaker(light(m_model.speakerLight())));
    m_cam->setPixmap(Pictures::camera(light(m_model.cameraLight())));
    m_conLed->setPixmap(Pictures::connection(m_model.inCall()));
    // What the lights show, for a screen reader: "Microphone on", "Camera: no device".
    const std::pair<QLabel *, MainWindowModel::Light> lights[] = {
        {m_mic, m_model.microphoneLight()},
        {m_speaker, m_model.speakerLight()},
        {m_cam, m_model.cameraLight()}};
    for (const auto &[label, state] : lights) {
        const Pictures::Light l = light(state);
        label->setAccessibleName(label->toolTip() +
                                 (l == Pictures::Light::On    ? QStringLiteral(" on")
                                  : l == Pictures::Light::Off ? QStringLiteral(" off")
                                                              : QStringLiteral(": no device")));
    }
    m_conLed->setAccessibleName(m_model.inCall() ? QStringLiteral("Connection: in a call")
                                                 : QStringLiteral("Connection"));
}

void MainWindow::showLock()
{
    const MainWindowModel::Lock lock = m_model.lock();
    m_lock->setVisible(lock != MainWindowModel::Lock::None);
    m_lock->setPixmap(Pictures::lock(lock == MainWindowModel::Lock::Closed));
    const QString words = m_model.lockDescription();
    m_lock->setToolTip(words);
    m_lock->setAccessibleName(lock == MainWindowModel::Lock::Closed
                                  ? QStringLiteral("Encrypted call")
                                  : QStringLiteral("Call not encrypted"));
    m_lock->setAccessibleDescription(words);
    m_code->setText(m_model.lockCode());
    m_code->setToolTip(words);
    m_code->setAccessibleName(QStringLiteral("Call code"));
    m_code->setVisible(!m_model.lockCode().isEmpty());
}

void MainWindow::onCallEntered()
{
    m_tools[MainWindowModel::CallTool]->setCaption(QStringLiteral("HangUp"));
    m_tools[MainWindowModel::CallTool]->setAccessibleName(QStringLiteral("Hang up"));
    m_tools[MainWindowModel::CallTool]->setAccessibleDescription(QStringLiteral("Ends the call"));
    m_tools[MainWindowModel::CallTool]->setPictures(Pictures::tool(Pictures::Tool::HangUp, false),
                                                    Pictures::tool(Pictures::Tool::HangUp, true));
    m_call->setEnabled(false);
    m_hangup->setEnabled(true);
    m_logo->hide();
}

void MainWindow::onCallEnded()
{
    m_tools[MainWindowModel::CallTool]->setCaption(QStringLiteral("Call"));
    m_tools[MainWindowModel::CallTool]->setAccessibleName(QStringLiteral("Call"));
    m_tools[MainWindowModel::CallTool]->setAccessibleDescription(
        QStringLiteral("Opens the directory, from which a call is placed"));
    m_tools[MainWindowModel::CallTool]->setPictures(Pictures::tool(Pictures::Tool::Call, false),
                                                    Pictures::tool(Pictures::Tool::Call, true));
    m_call->setEnabled(true);
    m_hangup->setEnabled(false);
    m_logo->show();
    m_video->clear();
}

void MainWindow::showClock()
{
    const CallClock &clock = m_model.clock();
    for (int i = 0; i < 4; ++i)
        m_digits[i]->setPixmap(Pictures::digit(clock.digit(i)));
    m_colon->setPixmap(Pictures::colon(clock.displayOn()));
    const QString time = clock.displayOn() ? QStringLiteral("Call time ") + clock.text()
                                           : QStringLiteral("Call time");
    m_colon->parentWidget()->setToolTip(time);
    m_colon->parentWidget()->setAccessibleName(time);
}

void MainWindow::showDoNotDisturb(bool on)
{
    m_dnd->setChecked(on);
    m_dndImage->setPixmap(Pictures::doNotDisturb(on));
    m_dndImage->setAccessibleName(on ? QStringLiteral("Do Not Disturb on")
                                     : QStringLiteral("Do Not Disturb"));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The right button on the video display opens the Zoom menu.
    if ((watched == m_video || watched == m_logo) && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            m_zoom->popup(mouse->globalPosition().toPoint());
            return true;
        }
    }
    if (watched == m_msgIn && event->type() == QEvent::MouseButtonDblClick) {
        m_model.openNextMessage();
        return true;
    }
    if (watched == m_msgIn && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            m_model.openNextMessage();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == m_dndImage)
            m_model.setDoNotDisturb(!m_model.doNotDisturb());
        else if (watched == m_conLed)
            m_model.hangUp();
        else if (watched == m_activity)
            m_model.toolbarCommand(MainWindowModel::CallTool);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (isMinimized()) {
        m_wasMinimised = true;
        emit minimised();
    } else if (m_wasMinimised) {
        m_wasMinimised = false;
        emit restored();
    }
}

void MainWindow::quit()
{
    m_quitting = true;
    close();
    m_quitting = false;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!m_quitting && !m_model.shutDownDone() && m_closeHides && m_closeHides()) {
        event->ignore();
        hide();
        emit hiddenOnClose();
        return;
    }
    if (!m_model.requestClose()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}
