// The information and error windows: shown without blocking, the last text wins.
#pragma once

#include <QWidget>

class QLabel;

class NoticeWindow : public QWidget
{
    Q_OBJECT
public:
    enum Kind { Information, Error };
    explicit NoticeWindow(Kind kind, QWidget *parent = nullptr);

    void showText(const QString &text);
    QString text() const;

signals:
    // OK was pressed (the window is gone).
    void acknowledged();

private:
    static constexpr int MinTextWidth = 300, MaxTextWidth = 480;
    QLabel *m_text;
};
