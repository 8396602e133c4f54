// The text chat window: the conversation pane, the pane the user types into, and the button
// bar. Enter sends the typed line (it is queued for the call's media connection).
#pragma once

#include "shell/toolwindow.h"

class ChatLink;
class MediaSession;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
struct Settings;

class FrmNewChat : public ToolWindow
{
    Q_OBJECT
public:
    FrmNewChat(ChatLink &chat, MediaSession &media, Settings &settings, QWidget *parent = nullptr);

    void sendTypedLine();
    void changeFontSize(int delta);

signals:
    void shown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void applyFont();
    void appendToPane(const QString &text);

    ChatLink &m_chat;
    MediaSession &m_media;
    Settings &m_settings;
    QSplitter *m_split;
    QPlainTextEdit *m_in, *m_out;
};
