// The activity log window: the log's lines, Clear Log (after a question) and Close (which only
// hides it).
#pragma once

#include "widgets/toolwindow.h"

class ActivityLog;
class QListWidget;
class UserMessages;

class LogWindow : public ToolWindow
{
    Q_OBJECT
public:
    LogWindow(ActivityLog &log, UserMessages &messages, QWidget *parent = nullptr);

    void clearLog();

private:
    void reload();

    ActivityLog &m_log;
    UserMessages &m_messages;
    QListWidget *m_list;
};
