// The options dialog.
#include "optionsdialog.h"

#include "shell/optionsmodel.h"
#include "shell/ui/optionspages.h"
#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QAccessibleWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{

// A screen reader sees the push-to-talk key box as an editable text (a plain widget to Qt).
QAccessibleInterface *accessibleKeyEdit(const QString &className, QObject *object)
{
    if (className == QLatin1String("QKeySequenceEdit") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::EditableText);
    return nullptr;
}

// Texts that travel as protocol fields refuse ";" at the keyboard.
QLineEdit *fieldEdit(QWidget *parent, const char *name, const QString &text)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^;]*")), edit));
    return edit;
}

QCheckBox *check(QWidget *parent, const char *name, const QString &text, bool on)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(on);
    return box;
}

} // namespace

OptionsDialog::OptionsDialog(OptionsModel &model, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Dialog), m_model(model)
{
    static const bool factory = (QAccessible::installFactory(accessibleKeyEdit), true);
    Q_UNUSED(factory);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("OVELA Properties"));
    setWindowIcon(Pictures::appIcon());
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabProperties"));
    // The tabs themselves take the focus (Ctrl+Tab turns the pages from anywhere); the frame
    // around the pages is nothing a person can use.
    m_tabs->setFocusPolicy(Qt::NoFocus);
    m_tabs->addTab(personalTab(), QStringLiteral("Personal"));
    m_tabs->addTab(generalTab(), QStringLiteral("General"));
    const OptionValues v = m_model.load();
    m_video = new VideoOptionsPage(m_model.media(), v.sendImageMessage, v.imageMessage);
    m_tabs->addTab(m_video, QStringLiteral("Video"));
    m_audio = new AudioOptionsPage(m_model.media());
    m_tabs->addTab(m_audio, QStringLiteral("Audio"));
    m_tabs->addTab(messagingTab(), QStringLiteral("Messaging"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    close->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(close, 0, Qt::AlignRight);
    connect(close, &QPushButton::clicked, this, [this] {
        if (accept()) QWidget::close();
    });
    centreOnScreen(this);
}

void OptionsDialog::showTab(Tab tab)
{
    m_tabs->setCurrentIndex(tab);
}

void OptionsDialog::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Coming to the front: a new picture for the self view, the format and volume as they are.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_model.media().activated();
        m_video->refresh();
        m_audio->refresh();
    }
}

void OptionsDialog::closeEvent(QCloseEvent *event)
{
    m_model.unloaded();
    QWidget::closeEvent(event);
}

QWidget *OptionsDialog::personalTab()
{
    const OptionValues v = m_model.load();
    auto *page = new QWidget;
    auto *you = new QGroupBox(QStringLiteral("About you"), page);
    auto *form = new QFormLayout(you);
    m_name = fieldEdit(you, "txtName", v.name);
    m_email = fieldEdit(you, "txtEmail", v.email);
    m_location = fieldEdit(you, "txtLocation", v.location);
    m_comment = fieldEdit(you, "txtComment", v.comment);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("E-Mail:"), m_email);
    form->addRow(QStringLiteral("Location:"), m_location);
    form->addRow(QStringLiteral("Comment:"), m_comment);
    auto *note = new QLabel(QStringLiteral("This information is used to help others connect to you "
                                           "on a public User Directory.  E-Mail address is not "
                                           "Published."),
                            you);
    note->setWordWrap(true);
    form->addRow(note);

    auto *directory = new QGroupBox(QStringLiteral("Directory"), page);
    auto *directoryForm = new QFormLayout(directory);
    m_dirAddress = new QComboBox(directory);
    m_dirAddress->setObjectName(QStringLiteral("txtDirAddress"));
    m_dirAddress->setEditable(true);
    m_dirAddress->addItems(m_model.directoryChoices());
    m_dirAddress->setEditText(v.directory);
    directoryForm->addRow(QStringLiteral("Directory Address:"), m_dirAddress);
    m_dirAddress->lineEdit()->setAccessibleName(QStringLiteral("Directory Address"));
    m_showOnList = check(directory, "chkShowOnList",
                         QStringLiteral("Publish information on User Directory (except E-Mail)"),
                         v.showOnList);
    directoryForm->addRow(m_showOnList);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(you);
    layout->addWidget(directory);
    layout->addStretch(1);
    return page;
}

QWidget *OptionsDialog::generalTab()
{
    const OptionValues v = m_model.load();
    auto *page = new QWidget;
    auto *calls = new QGroupBox(QStringLiteral("Calls"), page);
    m_autoAccept =
        check(calls, "chkAutoAccept", QStringLiteral("Auto Accept Incoming Calls"), v.autoAccept);
    m_sendWelcome = check(calls, "chkSendWelcome",
                          QStringLiteral("Send Welcome Message upon connection"), v.sendWelcome);
    m_welcome = fieldEdit(calls, "txtWelcomeMsg", v.welcome);
    m_welcome->setMaxLength(OptionsModel::WelcomeLength);
    m_realChat =
        check(calls, "chkRealChat", QStringLiteral("Enable Real Time Text Chat"), v.realTimeChat);
    m_encrypt =
        check(calls, "chkEncryptCalls",
              QStringLiteral("Encrypt calls with programs that can (recommended)"), v.encryptCalls);
    m_encrypt->setToolTip(QStringLiteral("Pictures, speech and chat of a call with another OVELA "
                                         "of this version cross the network encrypted"));
    m_refusePlain =
        check(calls, "chkRefusePlainCalls", QStringLiteral("Refuse calls that cannot be encrypted"),
              v.refusePlainCalls);
    m_refusePlain->setEnabled(v.encryptCalls);
    connect(m_encrypt, &QCheckBox::toggled, m_refusePlain, [this](bool on) {
        m_refusePlain->setEnabled(on);
        if (!on) m_refusePlain->setChecked(false);
    });
    auto *callsForm = new QFormLayout(calls);
    callsForm->addRow(m_autoAccept);
    callsForm->addRow(m_sendWelcome);
    callsForm->addRow(QStringLiteral("Message:"), m_welcome);
    callsForm->addRow(m_realChat);
    callsForm->addRow(m_encrypt);
    callsForm->addRow(m_refusePlain);

    auto *windows = new QGroupBox(QStringLiteral("Windows"), page);
    m_saveWinPos = check(windows, "chkSaveWinPos", QStringLiteral("Save Main Window Position"),
                         v.saveWindowPosition);
    m_moveAllWin = check(windows, "chkMoveAllWin",
                         QStringLiteral("Move Self View with Main Window"), v.moveAllWindows);
    m_rememberWin = check(windows, "chkRememberWin", QStringLiteral("Remember window Status"),
                          v.rememberWindows);
    auto *windowsColumn = new QVBoxLayout(windows);
    for (QCheckBox *box : {m_saveWinPos, m_moveAllWin, m_rememberWin})
        windowsColumn->addWidget(box);

    auto *desktop = new QGroupBox(QStringLiteral("Desktop"), page);
    m_keepInTray = check(desktop, "chkKeepInTray",
                         QStringLiteral("Closing the window keeps OVELA running in the tray"),
                         v.keepRunningInTray);
    m_palOnline = check(desktop, "chkPalOnlineNotice",
                        QStringLiteral("Notify me when a pal comes online"), v.palOnlineNotices);
    // The push-to-talk key that works from any window: one key, with or without modifiers.
    m_talkKey = new QKeySequenceEdit(QKeySequence(v.talkKey, QKeySequence::PortableText), desktop);
    m_talkKey->setObjectName(QStringLiteral("kseTalkKey"));
    m_talkKey->setToolTip(QStringLiteral("Hold the key to talk from any window; tap it to keep "
                                         "talking, and press it again to stop"));
    connect(m_talkKey, &QKeySequenceEdit::keySequenceChanged, this,
            [this](const QKeySequence &keys) {
                if (keys.count() > 1) m_talkKey->setKeySequence(QKeySequence(keys[0]));
            });
    auto *clearKey = new QPushButton(QStringLiteral("C&lear"), desktop);
    clearKey->setAccessibleDescription(QStringLiteral("No push-to-talk key"));
    clearKey->setObjectName(QStringLiteral("cmdClearTalkKey"));
    connect(clearKey, &QPushButton::clicked, m_talkKey, &QKeySequenceEdit::clear);
    auto *keyRow = new QHBoxLayout;
    auto *keyLabel = new QLabel(QStringLiteral("Push-to-talk &key:"), desktop);
    keyLabel->setBuddy(m_talkKey);
    m_talkKey->setAccessibleDescription(m_talkKey->toolTip());
    if (auto *shown = m_talkKey->findChild<QLineEdit *>())
        shown->setAccessibleName(QStringLiteral("Push-to-talk key"));
    keyRow->addWidget(keyLabel);
    keyRow->addWidget(m_talkKey, 1);
    keyRow->addWidget(clearKey);
    auto *desktopColumn = new QVBoxLayout(desktop);
    desktopColumn->addWidget(m_keepInTray);
    desktopColumn->addWidget(m_palOnline);
    desktopColumn->addLayout(keyRow);
    if (const QString note = m_model.talkKeyNote(); !note.isEmpty()) {
        auto *line = new QLabel(note, desktop);
        line->setObjectName(QStringLiteral("lblTalkKeyNote"));
        line->setWordWrap(true);
        desktopColumn->addWidget(line);
    }

    // The router: whether to ask it, and what it did (updated as it answers).
    auto *router = new QGroupBox(QStringLiteral("Router"), page);
    m_mapPorts =
        check(router, "chkMapPorts",
              QStringLiteral("Ask the router to forward my ports (UPnP, NAT-PMP)"), v.mapPorts);
    auto *status = new QLabel(m_model.routerStatus(), router);
    status->setObjectName(QStringLiteral("lblRouterStatus"));
    status->setWordWrap(true);
    status->setTextFormat(Qt::PlainText); // it holds what a router said
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(&m_model, &OptionsModel::routerStatusChanged, status,
            [this, status] { status->setText(m_model.routerStatus()); });
    auto *routerColumn = new QVBoxLayout(router);
    routerColumn->addWidget(m_mapPorts);
    routerColumn->addWidget(status);

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(calls);
    layout->addWidget(windows);
    layout->addWidget(desktop);
    layout->addWidget(router);
    layout->addStretch(1);
    connect(m_realChat, &QCheckBox::clicked, this, [this](bool on) {
        if (!m_model.realTimeChatChangeAllowed(on)) m_realChat->setChecked(!on);
    });
    return page;
}

QWidget *OptionsDialog::messagingTab()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *text =
        new QLabel(QStringLiteral("All users on this will not be able to send Quick Messages "
                                  "to you. To add someone to this list select \"Refuse "
                                  "Message\" when a message is received from the user."),
                   page);
    text->setWordWrap(true);
    m_refuse = new QTreeWidget(page);
    m_refuse->setObjectName(QStringLiteral("lstRefuse"));
    m_refuse->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Email")});
    m_refuse->setRootIsDecorated(false);
    m_refuse->setAccessibleName(QStringLiteral("Refused senders"));
    auto *remove = new QPushButton(QStringLiteral("Remove"), page);
    remove->setObjectName(QStringLiteral("cmdRemoveRefuse"));
    m_qmDisable = check(page, "chkQMDisable", QStringLiteral("Disable all Quick Messages"),
                        m_model.load().messagesDisabled);
    layout->addWidget(text);
    layout->addWidget(m_refuse, 1);
    layout->addWidget(remove, 0, Qt::AlignRight);
    layout->addWidget(m_qmDisable);
    connect(remove, &QPushButton::clicked, this, &OptionsDialog::removeRefused);
    connect(&m_model, &OptionsModel::refusedChanged, this, &OptionsDialog::fillRefuseList);
    fillRefuseList();
    return page;
}

void OptionsDialog::fillRefuseList()
{
    m_refuse->clear();
    for (const QStringList &row : m_model.refused())
        m_refuse->addTopLevelItem(new QTreeWidgetItem(row));
    m_refuse->clearSelection();
}

void OptionsDialog::removeRefused()
{
    QTreeWidgetItem *item = m_refuse->currentItem();
    if (!item || !item->isSelected()) return;
    m_model.removeRefused(m_refuse->indexOfTopLevelItem(item) + 1);
}

OptionValues OptionsDialog::values() const
{
    OptionValues v;
    v.name = m_name->text();
    v.email = m_email->text();
    v.location = m_location->text();
    v.comment = m_comment->text();
    v.directory = m_dirAddress->currentText();
    v.showOnList = m_showOnList->isChecked();
    v.autoAccept = m_autoAccept->isChecked();
    v.sendWelcome = m_sendWelcome->isChecked();
    v.realTimeChat = m_realChat->isChecked();
    v.welcome = m_welcome->text();
    v.saveWindowPosition = m_saveWinPos->isChecked();
    v.moveAllWindows = m_moveAllWin->isChecked();
    v.rememberWindows = m_rememberWin->isChecked();
    v.keepRunningInTray = m_keepInTray->isChecked();
    v.palOnlineNotices = m_palOnline->isChecked();
    v.encryptCalls = m_encrypt->isChecked();
    v.refusePlainCalls = m_refusePlain->isChecked();
    v.talkKey = m_talkKey->keySequence().toString(QKeySequence::PortableText);
    v.sendImageMessage = m_video->sendImageMessage();
    v.imageMessage = m_video->imageMessage();
    v.messagesDisabled = m_qmDisable->isChecked();
    v.mapPorts = m_mapPorts->isChecked();
    return v;
}

bool OptionsDialog::accept()
{
    return m_model.apply(values()).stored;
}
