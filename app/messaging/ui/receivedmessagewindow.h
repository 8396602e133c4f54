// The incoming message window: who sent it, when and from where, the text, the picture, the
// voice clip's Play, and Reply, Connect, Add Pal, Close and "Refuse Future Messages from this
// Person". It shows what its MessageViewer holds.
#pragma once

#include <QWidget>

#include <memory>

class MessageViewer;
class QCheckBox;
class QPushButton;

class ReceivedMessageWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ReceivedMessageWindow(std::unique_ptr<MessageViewer> viewer,
                                   QWidget *parent = nullptr);
    ~ReceivedMessageWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<MessageViewer> m_viewer;
    QCheckBox *m_refuse;
    QPushButton *m_addPal, *m_close;
};
