// Putting the windows together.
#include "programwindows.h"

#include "calls/ui/busynotice.h"
#include "calls/ui/callprogresswindow.h"
#include "calls/ui/chatwindow.h"
#include "calls/ui/datarateswindow.h"
#include "calls/ui/incomingcallwindow.h"
#include "calls/ui/selfviewwindow.h"
#include "directory/ui/directorywindow.h"
#include "doctor/connectiondoctor.h"
#include "doctor/ui/doctorwindow.h"
#include "media/cameramodel.h"
#include "messaging/messaging.h"
#include "messaging/ui/composemessagewindow.h"
#include "messaging/ui/receivedmessagewindow.h"
#include "noticewindow.h"
#include "platform/helpfile.h"
#include "shell/mainwindowmodel.h"
#include "shell/ui/aboutwindow.h"
#include "shell/ui/logwindow.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/optionsdialog.h"
#include "shell/ui/splashwindow.h"
#include "shell/ui/trayicon.h"
#include "userdata/desktopoptions.h"
#include "widgets/escapecloses.h"
#include "widgets/helpviewer.h"
#include "widgets/pictures.h"
#include "widgets/twips.h"
#include "widgets/videosurface.h"
#include "widgets/windowhelpers.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

namespace
{
const QString Title = QStringLiteral("OVELA");
}

ProgramWindows::ProgramWindows() = default;

ProgramWindows::~ProgramWindows()
{
    releaseWindows();
}

void ProgramWindows::attach(const WindowModels &models)
{
    m_models = std::make_unique<WindowModels>(models);
    // Every window carries the program's icon, the help viewer and the tool windows too.
    QApplication::setWindowIcon(Pictures::appIcon());
    // Escape closes every dialog-like window, as it closes a QDialog.
    EscapeCloses::install();
    MainWindowModel &main = models.main;
    m_main = std::make_unique<MainWindow>(main);
    connect(&main, &MainWindowModel::directoryRequested, this, &ProgramWindows::showDirectory);
    connect(&main, &MainWindowModel::selfViewRequested, this, &ProgramWindows::showSelfView);
    connect(&main, &MainWindowModel::chatRequested, this, &ProgramWindows::showChat);
    connect(m_main.get(), &MainWindow::logRequested, this, &ProgramWindows::showLog);
    connect(m_main.get(), &MainWindow::ratesRequested, this, &ProgramWindows::showRates);
    connect(m_main.get(), &MainWindow::optionsRequested, this, &ProgramWindows::showOptions);
    connect(m_main.get(), &MainWindow::aboutRequested, this, &ProgramWindows::showAbout);
    connect(m_main.get(), &MainWindow::doctorRequested, this, &ProgramWindows::showDoctor);
    connect(m_main.get(), &MainWindow::helpRequested, this, &ProgramWindows::showHelp);
    connect(m_main.get(), &MainWindow::minimised, this, &ProgramWindows::onMinimised);
    connect(m_main.get(), &MainWindow::restored, this, &ProgramWindows::onRestored);
    main.setIncomingTarget(m_main->videoSurface());

    // Quick messages: a compose window per Send Message or Reply, an incoming window per message
    // opened.
    connect(&models.messaging, &Messaging::composeRequested, this,
            [this](const MessageComposer::Recipient &recipient) {
                auto *window = new ComposeMessageWindow(m_models->messaging.compose(recipient));
                window->show();
            });
    connect(&models.messaging, &Messaging::messageOpened, this,
            [this](const ReceivedMessage &message) {
                auto *window = new ReceivedMessageWindow(m_models->messaging.view(message));
                window->show();
            });

    // The directory window steps aside while a call is up.
    connect(&main, &MainWindowModel::callEntered, this, [this] {
        if (m_directory) m_directory->hide();
    });
}

void ProgramWindows::attachTray(TrayStatus &status, const DesktopOptions &options,
                                std::function<void()> keptRunning)
{
    // Without a tray the program stays as it always was: closing the window quits.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    m_tray = std::make_unique<TrayIcon>(status, m_models->main);
    connect(m_tray.get(), &TrayIcon::showHideRequested, this, &ProgramWindows::toggleMainWindow);
    connect(m_tray.get(), &TrayIcon::quitRequested, m_main.get(), &MainWindow::quit);
    m_main->setCloseHides(
        [this, &options] { return m_tray && m_tray->visible() && options.keepRunningInTray; });
    connect(m_main.get(), &MainWindow::hiddenOnClose, this, [this, keptRunning] {
        onMinimised();
        if (keptRunning) keptRunning();
    });
}

void ProgramWindows::toggleMainWindow()
{
    if (m_main->isVisible() && !m_main->isMinimized()) {
        m_main->hide();
        onMinimised();
        return;
    }
    m_main->setWindowState(m_main->windowState() & ~Qt::WindowMinimized);
    showMainWindow();
    onRestored();
}

void ProgramWindows::terminate()
{
    if (!m_models || m_models->main.shutDownDone()) return;
    // Nobody is there to answer a question now: open boxes give way, and the messages of the
    // shutdown itself go to the error output.
    m_terminating = true;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) box->reject();
    m_models->main.terminate();
    if (m_main) m_main->close();
    QCoreApplication::quit();
}

void ProgramWindows::releaseWindows()
{
    m_splash.reset();
    m_self.reset();
    m_chat.reset();
    m_directory.reset();
    m_rates.reset();
    m_log.reset();
    m_callIn.reset();
    m_busy.reset();
    m_progress.reset();
    m_tray.reset();
    delete m_info;
    delete m_error;
    delete m_options;
    delete m_about;
    delete m_help;
    m_main.reset();
}

// ---- messages -----------------------------------------------------------------------------

void ProgramWindows::showMessage(QPointer<NoticeWindow> &window, int kind, const QString &text,
                                 std::function<void()> onOk)
{
    // A message belongs to the options dialog while that is open (its checks speak through
    // messages), else to the main window: the window manager keeps it in front of its owner.
    QWidget *owner =
        m_options && m_options->isVisible() ? static_cast<QWidget *>(m_options) : m_main.get();
    if (!window) window = new NoticeWindow(NoticeWindow::Kind(kind), owner);
    if (window->parentWidget() != owner) window->setParent(owner, window->windowFlags());
    // The last message wins, and so does its request for after the OK.
    window->disconnect(this);
    if (onOk) connect(window, &NoticeWindow::acknowledged, this, [onOk] { onOk(); });
    window->showText(text);
}

void ProgramWindows::showInfoMessage(const QString &text, std::function<void()> onOk)
{
    showMessage(m_info, NoticeWindow::Information, text, std::move(onOk));
}

void ProgramWindows::showErrorMessage(const QString &text)
{
    showMessage(m_error, NoticeWindow::Error, text);
}

void ProgramWindows::messageBox(const QString &text, const QString &title)
{
    if (m_terminating) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title.isEmpty() ? Title : title, text, QMessageBox::Ok,
                    m_main.get());
    box.setObjectName(QStringLiteral("msgBox"));
    box.exec();
}

void ProgramWindows::ask(const QString &text, std::function<void(bool)> answer)
{
    if (m_terminating) {
        answer(false);
        return;
    }
    // Not modal: calls, timers and the other windows go on while the question waits.
    auto *box = new QMessageBox(QMessageBox::Warning, Title, text,
                                QMessageBox::Yes | QMessageBox::No, m_main.get());
    box->setObjectName(QStringLiteral("msgQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    connect(box, &QMessageBox::finished, box, [box, answer] {
        if (box->property("withdrawn").toBool()) return;
        answer(box->clickedButton() == box->button(QMessageBox::Yes));
    });
    m_question = box;
    box->show();
}

void ProgramWindows::withdrawQuestion()
{
    if (!m_question) return;
    m_question->setProperty("withdrawn", true);
    m_question->close();
}

bool ProgramWindows::askYesNo(const QString &text)
{
    if (m_terminating) return false;
    QMessageBox box(QMessageBox::Question, Title, text, QMessageBox::Yes | QMessageBox::No,
                    m_main.get());
    box.setObjectName(QStringLiteral("msgBox"));
    return box.exec() == QMessageBox::Yes;
}

// ---- start-up and shutdown ----------------------------------------------------------------

void ProgramWindows::sizeMainWindow()
{
    // The large (Normal) zoom's size, at least as large as the window's contents need.
    const QSize wanted = Twips::toPixels(MainWindowModel::WidthTwips, MainWindowModel::HeightTwips);
    const QSize size = wanted.expandedTo(m_main->sizeHint());
    m_main->resize(size);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        m_main->move(area.left() + (area.width() - size.width()) / 2,
                     area.top() + (area.height() - size.height()) / 5);
    }
}

void ProgramWindows::showSplash()
{
    m_splash = std::make_unique<SplashWindow>();
    m_splash->show();
}

void ProgramWindows::closeSplash()
{
    m_splash.reset();
}

void ProgramWindows::moveMainWindow(int leftTwips, int topTwips)
{
    m_main->move(Twips::toPixelsX(leftTwips), Twips::toPixelsY(topTwips));
}

void ProgramWindows::mainWindowPosition(int *leftTwips, int *topTwips) const
{
    const QPoint at = m_main->pos();
    *leftTwips = Twips::fromPixelsX(at.x());
    *topTwips = Twips::fromPixelsY(at.y());
}

void ProgramWindows::loadWindows()
{
    const WindowModels &m = *m_models;
    m_self = std::make_unique<SelfViewWindow>(m.camera);
    connect(m_self.get(), &SelfViewWindow::settingsRequested, this,
            [this] { openOptions(OptionsDialog::VideoTab); });
    m.camera.startCapture(m_self->captureArea());

    m_main->showIndicators();
    connect(m_self.get(), &ToolWindow::hiddenByUser, this,
            [this] { m_models->main.setSelfViewShown(false); });
    m_chat = std::make_unique<ChatWindow>(m.chat);
    connect(m_chat.get(), &ToolWindow::hiddenByUser, this,
            [this] { m_models->main.setChatShown(false); });
    connect(m_chat.get(), &ChatWindow::shown, this, [this] { m_models->main.setChatShown(true); });
    m_directory = std::make_unique<DirectoryWindow>(m.directory);
    m_rates = std::make_unique<DataRatesWindow>();
    connect(&m.main, &MainWindowModel::figuresReset, m_rates.get(), &DataRatesWindow::resetFigures);
    connect(&m.main, &MainWindowModel::figures, m_rates.get(), &DataRatesWindow::showFigures);
    connect(&m.main, &MainWindowModel::captureRate, m_rates.get(),
            [this](const QString &fps) { m_rates->setFigure("pnlFpsCap", fps); });
    connect(&m.main, &MainWindowModel::fiveSecondStep, this, &ProgramWindows::dockSelfView);
    m_log = std::make_unique<LogWindow>(m.log, *this);
    m_callIn = std::make_unique<IncomingCallWindow>(m.incoming);
    m_busy = std::make_unique<BusyNotice>(m.incoming);
    m_progress = std::make_unique<CallProgressWindow>(m.outgoing);

    m_self->adjustSize();
    m_chat->resize(Twips::toPixelsX(MainWindowModel::WidthTwips), m_chat->height());
    placeHelpers();
}

void ProgramWindows::placeHelpers()
{
    // The self view sits at the main window's top right, the chat window below it; a window the
    // user has moved stays where it is.
    const QRect main = m_main->frameGeometry();
    if (m_self && m_self->pos() == m_selfPlacedAt)
        m_self->move(m_selfPlacedAt = QPoint(main.right() + 1, main.top()));
    if (m_chat && m_chat->pos() == m_chatPlacedAt)
        m_chat->move(m_chatPlacedAt = QPoint(main.left(), main.bottom() + 1));
}

void ProgramWindows::showStartupWindows(bool selfView, bool chat, bool dataRates)
{
    showSelfView(selfView);
    showChat(chat);
    if (dataRates) showRates();
}

void ProgramWindows::showMainWindow()
{
    const bool first = !m_main->isVisible();
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
    // The window manager frames a new window a moment later; only then is the frame's size
    // known, by which the windows beside it are placed.
    if (first) QTimer::singleShot(FramedAfterMs, this, &ProgramWindows::placeHelpers);
}

void ProgramWindows::showOptions()
{
    openOptions(-1);
}

void ProgramWindows::openOptions(int tab)
{
    // A dialog of the main window: the window manager keeps it in front of it, also when the
    // main window itself has only just been shown (the first start's request for a name).
    if (!m_options) m_options = new OptionsDialog(m_models->options, m_main.get());
    if (tab >= 0) m_options->showTab(OptionsDialog::Tab(tab));
    m_options->show();
    m_options->raise();
    m_options->activateWindow();
}

OpenWindows ProgramWindows::openWindows() const
{
    // Minimised, the helpers are hidden: what comes back on restoring is what is open.
    if (m_main && m_main->isMinimized())
        return {m_self && m_main->selfViewChecked(), m_chat && m_main->chatChecked(), false};
    return {m_self && m_self->isVisible(), m_chat && m_chat->isVisible(),
            m_rates && m_rates->isVisible()};
}

void ProgramWindows::unloadWindows()
{
    for (ToolWindow *w : std::initializer_list<ToolWindow *>{m_self.get(), m_chat.get()})
        if (w) w->unload();
    if (m_options) m_options->close();
    delete m_options;
    if (m_rates) m_rates->unload();
    delete m_about;
    if (m_log) m_log->unload();
    for (QWidget *w : std::initializer_list<QWidget *>{m_callIn.get(), m_busy.get(), m_splash.get(),
                                                       m_progress.get(), m_info.data()})
        if (w) w->hide();
    if (m_directory) m_directory->unload();
}

// ---- the windows the main window opens ----------------------------------------------------

void ProgramWindows::placeBesideMain(QWidget *window)
{
    // Beside the main window, below the self view when that is open there.
    window->adjustSize();
    int top = m_main->frameGeometry().bottom() - window->frameGeometry().height();
    if (m_self && m_self->isVisible()) top = std::max(top, m_self->frameGeometry().bottom() + 1);
    moveOnScreen(window, {m_main->frameGeometry().right() + 1, top});
}

void ProgramWindows::dockSelfView()
{
    // The self view follows the main window when it has moved (and docking is on).
    if (!m_self || !m_self->isVisible() || !m_models->main.selfViewFollowsMain() ||
        m_main->windowState() != Qt::WindowNoState || m_main->pos() == m_dockedAt)
        return;
    m_dockedAt = m_main->pos();
    const QRect main = m_main->frameGeometry();
    const int width = m_self->frameGeometry().width();
    int left = main.right() + 1;
    // To the left when it would leave the screen on the right; on a screen too narrow for
    // either, it stays on the screen over the main window.
    if (const QScreen *screen = m_main->screen())
        if (left + width - 1 > screen->availableGeometry().right()) left = main.left() - width;
    moveOnScreen(m_self.get(), {left, main.top()});
}

void ProgramWindows::showSelfView(bool show)
{
    if (!m_self) return;
    if (show && !m_models->main.selfViewAvailable()) show = false;
    m_self->setVisible(show);
    m_models->main.setSelfViewShown(show);
}

void ProgramWindows::showChat(bool show)
{
    if (!m_chat) return;
    m_chat->setVisible(show);
    m_models->main.setChatShown(show);
}

void ProgramWindows::showDirectory()
{
    if (!m_directory) return;
    // The first time it opens, it opens in the middle of the screen, at its saved size.
    if (!m_directoryPlaced) {
        m_directoryPlaced = true;
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            m_directory->move(screen->availableGeometry().center() - m_directory->rect().center());
    }
    m_directory->show();
    m_directory->raise();
    m_directory->activateWindow();
}

void ProgramWindows::showRates()
{
    if (!m_rates) return;
    placeBesideMain(m_rates.get());
    m_rates->show();
    m_rates->raise();
}

void ProgramWindows::showLog()
{
    if (!m_log) return;
    if (!m_log->isVisible()) centreOnScreen(m_log.get());
    m_log->show();
    m_log->raise();
}

void ProgramWindows::showAbout()
{
    if (!m_about) m_about = new AboutWindow(m_models ? &m_models->options : nullptr);
    m_about->show();
    m_about->raise();
}

void ProgramWindows::showDoctor()
{
    if (!m_doctor) {
        m_doctor = new DoctorWindow(m_models->doctor);
        centreOnScreen(m_doctor);
    }
    m_doctor->show();
    m_doctor->raise();
    m_doctor->activateWindow();
    if (!m_models->doctor.running()) m_models->doctor.run();
}

void ProgramWindows::showHelp(bool topics)
{
    if (!m_help) {
        HelpFile file;
        const QString path = HelpFile::locate();
        if (path.isEmpty() || !file.load(path)) {
            showErrorMessage(
                QStringLiteral("The help file %1 could not be found. It belongs in "
                               "%2.")
                    .arg(HelpFile::FileName, QDir::cleanPath(HelpFile::searchPath().constLast())));
            return;
        }
        m_help = new HelpViewer(file);
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            m_help->move(screen->availableGeometry().center() - m_help->rect().center());
    }
    topics ? m_help->showTopicFinder() : m_help->showContents();
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

void ProgramWindows::onMinimised()
{
    // The helpers go with the main window; the View entries keep what was open.
    if (m_rates) m_rates->hide();
    if (m_about) m_about->close();
    if (m_chat) m_chat->hide();
    if (m_self) m_self->hide();
}

void ProgramWindows::onRestored()
{
    if (m_self && m_main->selfViewChecked()) m_self->show();
    if (m_chat && m_main->chatChecked()) m_chat->show();
}
