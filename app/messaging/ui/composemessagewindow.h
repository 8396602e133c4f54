// The compose window: the recipient, the message text, the picture from the camera with its
// Refresh, the voice clip's Record, Stop and Play with the recording's progress, what to send,
// the size, and Send and Cancel. It shows what its MessageComposer holds.
#pragma once

#include <QWidget>

#include <memory>

class MessageComposer;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class ComposeMessageWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ComposeMessageWindow(std::unique_ptr<MessageComposer> composer,
                                  QWidget *parent = nullptr);
    ~ComposeMessageWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPicture();
    void showFlags();

    std::unique_ptr<MessageComposer> m_composer;
    QPlainTextEdit *m_text;
    QLabel *m_thumb, *m_size, *m_status, *m_animate;
    QCheckBox *m_sendPicture, *m_sendAudio;
    QPushButton *m_record, *m_stop, *m_play, *m_refresh, *m_send;
    QProgressBar *m_progress, *m_sent; // recording; how much of a picture or clip has left
};
