// The incoming message window.
#include "receivedmessagewindow.h"

#include "messaging/messageviewer.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ReceivedMessageWindow::ReceivedMessageWindow(std::unique_ptr<MessageViewer> viewer, QWidget *parent)
    : QWidget(parent, Qt::Window), m_viewer(std::move(viewer))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmMsgIn"));
    setWindowTitle(QStringLiteral("Incoming Message"));
    setWindowIcon(Pictures::appIcon());
    MessageViewer &v = *m_viewer;
    const ReceivedMessage &m = v.message();

    auto *form = new QFormLayout;
    const std::pair<const char *, std::pair<QString, QString>> fields[] = {
        {"pnlUserName", {QStringLiteral("Name:"), m.name}},
        {"pnlEmail", {QStringLiteral("E-mail:"), m.email}},
        {"pnlLocation", {QStringLiteral("From:"), m.location}},
        {"pnlTime", {QStringLiteral("Time:"), m.timeSent}}};
    for (const auto &[name, labelAndText] : fields) {
        QLabel *panel = textPanel(this, name);
        panel->setText(labelAndText.second);
        form->addRow(labelAndText.first, panel);
    }

    // Line breaks arrive as the sender's system writes them.
    auto *text = new QPlainTextEdit(
        QString(m.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")), this);
    text->setObjectName(QStringLiteral("txtMessageIn"));
    text->setReadOnly(true);
    text->setAccessibleName(QStringLiteral("Message text"));
    text->setTabChangesFocus(true);

    auto *thumbPanel = new QFrame(this);
    thumbPanel->setObjectName(QStringLiteral("pnlThumbNail"));
    thumbPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *thumb = new QLabel(thumbPanel);
    thumb->setObjectName(QStringLiteral("imgThumb"));
    thumb->setFixedSize(80, 60);
    thumb->setAccessibleName(QStringLiteral("Picture sent"));
    if (!v.picture().empty())
        thumb->setPixmap(QPixmap::fromImage(
            bottomUpImage(v.picture(), v.pictureSize().width(), v.pictureSize().height())
                .scaled(80, 60)));
    auto *thumbLayout = new QVBoxLayout(thumbPanel);
    thumbLayout->setContentsMargins(2, 2, 2, 2);
    thumbLayout->addWidget(thumb);

    auto *play = new QPushButton(QStringLiteral("Play"), this);
    play->setObjectName(QStringLiteral("cmdPlay"));
    auto *stop = new QPushButton(QStringLiteral("Stop"), this);
    stop->setObjectName(QStringLiteral("cmdStop"));
    auto *playLabel = new QLabel(QStringLiteral("Play Audio Message"), this);
    playLabel->setObjectName(QStringLiteral("pnlPlayMsg"));
    play->setAccessibleDescription(playLabel->text());
    play->setEnabled(v.hasAudio());
    playLabel->setEnabled(v.hasAudio());
    auto *audio = new QHBoxLayout;
    audio->addWidget(thumbPanel);
    audio->addWidget(play);
    audio->addWidget(stop);
    audio->addWidget(playLabel, 1);

    auto button = [this](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton *reply = button("cmdReply", QStringLiteral("Reply"));
    QPushButton *connectButton = button("cmdConnect", QStringLiteral("Connect"));
    m_addPal = button("cmdAddPal", QStringLiteral("Add Pal"));
    m_close = button("cmdClose", QStringLiteral("Close"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {reply, connectButton, m_addPal})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(m_close);
    m_refuse = new QCheckBox(QStringLiteral("Refuse Future Messages from this Person"), this);
    m_refuse->setObjectName(QStringLiteral("chkRefuse"));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(text, 1);
    layout->addLayout(audio);
    layout->addWidget(m_refuse);
    layout->addLayout(buttons);
    resize(420, 400);

    connect(play, &QPushButton::clicked, &v, &MessageViewer::play);
    connect(reply, &QPushButton::clicked, this, [this] {
        m_viewer->reply();
        close();
    });
    connect(connectButton, &QPushButton::clicked, this, [this] {
        m_viewer->connectToSender();
        close();
    });
    connect(m_addPal, &QPushButton::clicked, this, [this] {
        if (!m_viewer->addPal()) return;
        m_addPal->setEnabled(false);
        m_close->setFocus();
    });
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_refuse, &QCheckBox::toggled, &v, &MessageViewer::setRefuse);
    centreOnScreen(this);
}

ReceivedMessageWindow::~ReceivedMessageWindow() = default;

void ReceivedMessageWindow::closeEvent(QCloseEvent *event)
{
    m_viewer->close();
    QWidget::closeEvent(event);
}
