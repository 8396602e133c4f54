// The redirect prompt: the directory server offers another one; Yes connects to it.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

class RedirectDialog : public QWidget
{
    Q_OBJECT
public:
    RedirectDialog(const QString &address, const QString &description, QWidget *parent = nullptr);

signals:
    // Yes: the offered "host:port".
    void accepted(const QString &address);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *m_address;
    QPushButton *m_yes, *m_no;
};
