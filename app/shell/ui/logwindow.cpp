// The activity log window.
#include "logwindow.h"

#include "platform/usermessages.h"
#include "userdata/activitylog.h"
#include "widgets/twips.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

LogWindow::LogWindow(ActivityLog &log, UserMessages &messages, QWidget *parent)
    : ToolWindow(parent, Qt::Window), m_log(log), m_messages(messages)
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("OVELA Log"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstActivity"));
    m_list->setUniformItemSizes(true);
    m_list->setAccessibleName(QStringLiteral("Activity"));
    auto *clear = new QPushButton(QStringLiteral("Clear Log"), this);
    clear->setObjectName(QStringLiteral("cmdClear"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(clear);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    setMinimumSize(Twips::toPixels(2000, 2000)); // the list and buttons follow the layout
    resize(520, 320);

    connect(clear, &QPushButton::clicked, this, &LogWindow::clearLog);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(&m_log, &ActivityLog::entryAdded, this, [this](const QString &line) {
        m_list->addItem(line);
        m_list->scrollToBottom();
    });
    connect(&m_log, &ActivityLog::reset, this, &LogWindow::reload);
    reload();
}

void LogWindow::reload()
{
    m_list->clear();
    m_list->addItems(m_log.entries());
    m_list->scrollToBottom();
}

void LogWindow::clearLog()
{
    if (m_messages.askYesNo(QStringLiteral("Are you sure you want to clear the Activity log?")))
        m_log.clear();
}
