// The compose window.
#include "composemessagewindow.h"

#include "messaging/messagecomposer.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace
{
QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}
} // namespace

ComposeMessageWindow::ComposeMessageWindow(std::unique_ptr<MessageComposer> composer,
                                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_composer(std::move(composer))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmMsgOut"));
    setWindowTitle(QStringLiteral("Send Message"));
    setWindowIcon(Pictures::appIcon());
    MessageComposer &c = *m_composer;

    QLabel *name = textPanel(this, "pnlUserName");
    name->setText(c.recipient().name);
    QLabel *location = textPanel(this, "pnlLocation");
    location->setText(c.recipient().location);
    auto *who = new QFormLayout;
    who->addRow(QStringLiteral("Name:"), name);
    who->addRow(QStringLiteral("From:"), location);

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("txtMessageOut"));
    m_text->setAccessibleName(QStringLiteral("Message text"));
    m_text->setTabChangesFocus(true);
    m_text->installEventFilter(this);

    auto *thumbPanel = new QFrame(this);
    thumbPanel->setObjectName(QStringLiteral("pnlThumbNail"));
    thumbPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_thumb = new QLabel(thumbPanel);
    m_thumb->setObjectName(QStringLiteral("imgThumb"));
    m_thumb->setFixedSize(80, 60);
    m_thumb->setAccessibleName(QStringLiteral("Picture to send"));
    auto *thumbLayout = new QVBoxLayout(thumbPanel);
    thumbLayout->setContentsMargins(2, 2, 2, 2);
    thumbLayout->addWidget(m_thumb);
    m_refresh = button(this, "cmdRefresh", QStringLiteral("Refresh"));
    m_sendPicture = new QCheckBox(QStringLiteral("Send Picture"), this);
    m_sendPicture->setObjectName(QStringLiteral("chkImage"));

    m_record = button(this, "cmdRecord", QStringLiteral("Record"));
    m_stop = button(this, "cmdStop", QStringLiteral("Stop"));
    m_play = button(this, "cmdPlay", QStringLiteral("Play"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("pgrAudioRec"));
    m_progress->setRange(0, 60);
    m_progress->setTextVisible(false);
    m_progress->setAccessibleName(QStringLiteral("Voice clip recorded"));
    m_sendAudio = new QCheckBox(QStringLiteral("Send Audio"), this);
    m_sendAudio->setObjectName(QStringLiteral("chkAudio"));

    auto *media = new QGridLayout;
    media->addWidget(thumbPanel, 0, 0, 3, 1);
    media->addWidget(m_refresh, 0, 1);
    media->addWidget(m_sendPicture, 1, 1);
    auto *audioButtons = new QHBoxLayout;
    audioButtons->addWidget(m_record);
    audioButtons->addWidget(m_stop);
    audioButtons->addWidget(m_play);
    media->addLayout(audioButtons, 0, 2);
    media->addWidget(m_progress, 1, 2);
    media->addWidget(m_sendAudio, 2, 2);
    media->setColumnStretch(2, 1);

    m_send = button(this, "cmdSend", QStringLiteral("Send"));
    m_send->setDefault(true);
    QPushButton *cancel = button(this, "cmdCancel", QStringLiteral("Cancel"));
    m_animate = new QLabel(this);
    m_animate->setObjectName(QStringLiteral("pnlAnimate"));
    m_animate->setPixmap(Pictures::animation(0));
    m_animate->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_animate);
    buttons->addStretch(1);
    buttons->addWidget(m_send);
    buttons->addWidget(cancel);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("barStatus"));
    m_size = new QLabel(QStringLiteral("MsgSize"), status);
    m_status = new QLabel(QStringLiteral("Type message to Send"), status);
    status->addWidget(m_size);
    status->addWidget(m_status, 1);
    // A picture or clip on a slow link takes seconds: how far it has gone.
    auto *progress = new QProgressBar(status);
    progress->setObjectName(QStringLiteral("pgrSending"));
    progress->setRange(0, 100);
    progress->setMaximumWidth(120);
    progress->hide();
    status->addPermanentWidget(progress);
    m_sent = progress;

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(who);
    layout->addWidget(m_text, 1);
    layout->addLayout(media);
    layout->addLayout(buttons);
    layout->addWidget(status);
    resize(420, 380);

    const bool sound = c.soundAvailable();
    for (QPushButton *b : {m_record, m_stop, m_play})
        b->setEnabled(sound);
    m_refresh->setEnabled(c.cameraAvailable());

    connect(m_refresh, &QPushButton::clicked, &c, &MessageComposer::takePicture);
    connect(m_record, &QPushButton::clicked, &c, &MessageComposer::record);
    connect(m_stop, &QPushButton::clicked, &c, &MessageComposer::stop);
    connect(m_play, &QPushButton::clicked, &c, &MessageComposer::play);
    connect(m_sendPicture, &QCheckBox::clicked, &c, &MessageComposer::setSendPicture);
    connect(m_sendAudio, &QCheckBox::clicked, &c, &MessageComposer::setSendAudio);
    connect(m_send, &QPushButton::clicked, this, [this] {
        m_send->setEnabled(false);
        m_composer->send(m_text->toPlainText());
    });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(&c, &MessageComposer::pictureChanged, this, &ComposeMessageWindow::showPicture);
    connect(&c, &MessageComposer::sendFlagsChanged, this, &ComposeMessageWindow::showFlags);
    connect(&c, &MessageComposer::sizeChanged, this,
            [this] { m_size->setText(m_composer->sizeText()); });
    connect(&c, &MessageComposer::progressChanged, m_progress, &QProgressBar::setValue);
    connect(&c, &MessageComposer::statusChanged, m_status, &QLabel::setText);
    connect(&c, &MessageComposer::sendingProgress, m_sent, [this](int percent) {
        m_sent->setVisible(percent >= 0);
        if (percent >= 0) m_sent->setValue(percent);
    });
    connect(&c, &MessageComposer::busyChanged, m_animate, &QWidget::setEnabled);
    connect(&c, &MessageComposer::finished, this, &QWidget::close);
    showPicture();
    showFlags();
    centreOnScreen(this);
}

ComposeMessageWindow::~ComposeMessageWindow() = default;

void ComposeMessageWindow::showPicture()
{
    if (!m_composer->hasPicture()) return;
    m_thumb->setPixmap(QPixmap::fromImage(bottomUpImage(m_composer->thumbnail(), 80, 60)));
    m_size->setText(m_composer->sizeText());
}

void ComposeMessageWindow::showFlags()
{
    m_sendPicture->setChecked(m_composer->sendPicture());
    m_sendPicture->setEnabled(m_composer->hasPicture());
    m_sendAudio->setChecked(m_composer->sendAudio());
}

bool ComposeMessageWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The text travels as one field: ';' is refused at the keyboard.
    if (watched == m_text && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->text() == QLatin1String(";"))
        return true;
    return QWidget::eventFilter(watched, event);
}

void ComposeMessageWindow::closeEvent(QCloseEvent *event)
{
    m_composer->close();
    QWidget::closeEvent(event);
}
