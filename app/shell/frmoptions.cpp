// The options dialog.
#include "frmoptions.h"

#include "calls/program.h"
#include "platform/usermessages.h"
#include "shell/frmmessage.h"
#include "shell/pictures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{

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

FrmOptions::FrmOptions(Program &program, UserMessages &messages, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::Dialog), m_program(program), m_messages(messages)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("OVELA Properties"));
    setWindowIcon(Pictures::appIcon());
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabProperties"));
    m_tabs->addTab(personalTab(), QStringLiteral("Personal"));
    m_tabs->addTab(generalTab(), QStringLiteral("General"));
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

QWidget *FrmOptions::personalTab()
{
    const Settings &s = m_program.settings;
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_name = fieldEdit(page, "txtName", s.Name);
    m_email = fieldEdit(page, "txtEmail", s.EMail);
    m_location = fieldEdit(page, "txtLocation", s.Location);
    m_comment = fieldEdit(page, "txtComment", s.Comment);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("E-Mail:"), m_email);
    form->addRow(QStringLiteral("Location:"), m_location);
    form->addRow(QStringLiteral("Comment:"), m_comment);
    auto *note = new QLabel(QStringLiteral("This information is used to help others connect to you "
                                           "on a public User Directory.  E-Mail address is not "
                                           "Published."),
                            page);
    note->setWordWrap(true);
    form->addRow(note);
    m_dirAddress = new QComboBox(page);
    m_dirAddress->setObjectName(QStringLiteral("txtDirAddress"));
    m_dirAddress->setEditable(true);
    m_dirAddress->addItem(defaultDirectoryHost() + QStringLiteral(":2010"));
    m_dirAddress->addItem(defaultDirectoryHost() + QStringLiteral(":2020"));
    m_dirAddress->setEditText(s.DirAddress + QLatin1Char(':') + QString::number(s.DirPort));
    form->addRow(QStringLiteral("Directory Address:"), m_dirAddress);
    m_showOnList = check(page, "chkShowOnList",
                         QStringLiteral("Publish information on User Directory (except E-Mail)"),
                         s.ShowOnList);
    form->addRow(m_showOnList);
    return page;
}

QWidget *FrmOptions::generalTab()
{
    const Settings &s = m_program.settings;
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_autoAccept =
        check(page, "chkAutoAccept", QStringLiteral("Auto Accept Incoming Calls"), s.AutoAccept);
    m_sendWelcome = check(page, "chkSendWelcome",
                          QStringLiteral("Send Welcome Message upon connection"), s.SendWelcome);
    m_welcome = fieldEdit(page, "txtWelcomeMsg", s.WelcomeMsg);
    m_welcome->setMaxLength(99);
    m_realChat =
        check(page, "chkRealChat", QStringLiteral("Enable Real Time Text Chat"), s.EnableRTC);
    m_saveWinPos =
        check(page, "chkSaveWinPos", QStringLiteral("Save Main Window Position"), s.SaveWinPos);
    m_moveAllWin = check(page, "chkMoveAllWin", QStringLiteral("Move Self View with Main Window"),
                         s.MoveAllWin);
    m_rememberWin =
        check(page, "chkRememberWin", QStringLiteral("Remember window Status"), s.RememberWin);
    form->addRow(m_autoAccept);
    form->addRow(m_sendWelcome);
    form->addRow(QStringLiteral("Message:"), m_welcome);
    form->addRow(m_realChat);
    form->addRow(m_saveWinPos);
    form->addRow(m_moveAllWin);
    form->addRow(m_rememberWin);
    connect(m_realChat, &QCheckBox::clicked, this, [this](bool on) {
        const bool chatOpen =
            m_program.chat.ippText.connected() || m_program.chat.ipdText.connected(1);
        if (chatOpen && on != m_program.settings.EnableRTC) {
            m_messages.messageBox(
                QStringLiteral("This option cannot be changed while you are in a "
                               "connection. Please disconnect to set this option."));
            m_realChat->setChecked(m_program.settings.EnableRTC);
        }
    });
    return page;
}

QWidget *FrmOptions::messagingTab()
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
    auto *remove = new QPushButton(QStringLiteral("Remove"), page);
    remove->setObjectName(QStringLiteral("cmdRemoveRefuse"));
    m_qmDisable = check(page, "chkQMDisable", QStringLiteral("Disable all Quick Messages"),
                        m_program.settings.MessagingDisable);
    layout->addWidget(text);
    layout->addWidget(m_refuse, 1);
    layout->addWidget(remove, 0, Qt::AlignRight);
    layout->addWidget(m_qmDisable);
    connect(remove, &QPushButton::clicked, this, &FrmOptions::removeRefused);
    fillRefuseList();
    return page;
}

void FrmOptions::fillRefuseList()
{
    m_refuse->clear();
    for (const RefuseEntry &e : m_program.refuseList.entries)
        m_refuse->addTopLevelItem(new QTreeWidgetItem({e.Name, e.EMail}));
    m_refuse->clearSelection();
}

void FrmOptions::removeRefused()
{
    QTreeWidgetItem *item = m_refuse->currentItem();
    if (!item || !item->isSelected()) return;
    m_program.refuseList.remove(m_refuse->indexOfTopLevelItem(item) + 1);
    m_program.saveRefuseList();
    fillRefuseList();
}

bool FrmOptions::accept()
{
    if (m_name->text().trimmed().size() < 3) {
        m_messages.showInfoMessage(
            QStringLiteral("You must enter a name of at least 3 Characters in length."));
        return false;
    }
    if (m_email->text().trimmed().size() < 8) {
        m_messages.showInfoMessage(
            QStringLiteral("You must enter an Email Address of at least 8 Characters in length."));
        return false;
    }
    Settings &s = m_program.settings;
    s.Name = m_name->text();
    s.EMail = m_email->text();
    s.Location = m_location->text();
    s.Comment = m_comment->text();
    s.AutoAccept = m_autoAccept->isChecked();
    s.ShowOnList = m_showOnList->isChecked();
    s.EnableRTC = m_realChat->isChecked();
    QString host;
    qint16 port = 0;
    splitServerAddress(m_dirAddress->currentText(), &host, &port);
    if (host != s.DirAddress || port != s.DirPort) {
        m_program.endpoints.ippServer.setConnected(false);
        s.DirAddress = host;
        s.DirPort = port;
    }
    s.SendWelcome = m_sendWelcome->isChecked();
    s.WelcomeMsg = m_welcome->text();
    s.SaveWinPos = m_saveWinPos->isChecked();
    s.MoveAllWin = m_moveAllWin->isChecked();
    s.RememberWin = m_rememberWin->isChecked();
    s.MessagingDisable = m_qmDisable->isChecked();
    emit quickMessagesChanged(!s.MessagingDisable);
    return true;
}
