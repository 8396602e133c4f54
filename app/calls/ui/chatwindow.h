// The text chat window: the conversation pane, the pane the user types into, and the button
// bar (Ring User, Clear Text, the font sizes). Enter sends the typed line with the call; in
// real-time chat every key goes at once. Typing happens only at the end of the pane.
#pragma once

#include "widgets/toolwindow.h"

class ChatConversation;
class QKeyEvent;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

class ChatWindow : public ToolWindow
{
    Q_OBJECT
public:
    explicit ChatWindow(ChatConversation &chat, QWidget *parent = nullptr);

    void sendTypedLine();

signals:
    void shown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // A key in the outgoing pane; true when it is used up here.
    bool outgoingKey(QKeyEvent *key);
    void applyFont();
    void appendToPane(const QString &text);

    ChatConversation &m_chat;
    QSplitter *m_split;
    QPlainTextEdit *m_in, *m_out;
};
