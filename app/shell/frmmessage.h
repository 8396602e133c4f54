// Small windows of the shell: the splash window, the information and error windows (shown
// without blocking; the last text wins), and the About box.
#pragma once

#include <QWidget>

class QLabel;

class FrmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit FrmSplash(QWidget *parent = nullptr);
};

class FrmMessage : public QWidget
{
    Q_OBJECT
public:
    enum Kind { Information, Error };
    explicit FrmMessage(Kind kind, QWidget *parent = nullptr);

    void showText(const QString &text);
    QString text() const;

signals:
    // OK was pressed (the window is gone).
    void acknowledged();

private:
    QLabel *m_text;
};

class FrmAbout : public QWidget
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget *parent = nullptr);
};

// Centres a top-level window on the primary screen.
void centreOnScreen(QWidget *window);
