// The text chat window: the conversation pane, the pane the user types into, and the button
// bar. Enter sends the typed line (it is queued for the call's media connection).
#pragma once

#include "shell/ui/toolwindow.h"

class ChatLink;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

class FrmNewChat : public ToolWindow
{
    Q_OBJECT
public:
    explicit FrmNewChat(ChatLink &chat, QWidget *parent = nullptr);

    void sendTypedLine();

signals:
    void shown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyFont();
    void appendToPane(const QString &text);

    ChatLink &m_chat;
    QSplitter *m_split;
    QPlainTextEdit *m_in, *m_out;
};
