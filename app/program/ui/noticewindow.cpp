// The information and error windows.
#include "noticewindow.h"

#include "widgets/pictures.h"
#include "widgets/windowhelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

NoticeWindow::NoticeWindow(Kind kind, QWidget *parent) : QWidget(parent, Qt::Window | Qt::Dialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    const bool error = kind == Error;
    setObjectName(error ? QStringLiteral("frmErrorMsg") : QStringLiteral("frmMessage"));
    setWindowTitle(error ? QStringLiteral("OVELA Error") : QStringLiteral("OVELA Information"));
    setWindowIcon(Pictures::appIcon());
    auto *icon = new QLabel(this);
    const auto which = error ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxInformation;
    icon->setPixmap(style()->standardIcon(which).pixmap(32, 32));
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("pnlMessage"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(m_text, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, [this] {
        emit acknowledged();
        close();
    });
}

void NoticeWindow::showText(const QString &text)
{
    m_text->setText(text);
    // As wide as the text, within bounds, and as high as its lines at that width: a short
    // message makes a small window, a long one wraps.
    const int width =
        std::clamp(m_text->fontMetrics().horizontalAdvance(text) + 8, MinTextWidth, MaxTextWidth);
    m_text->setFixedSize(width, m_text->heightForWidth(width));
    setFixedSize(sizeHint());
    centreOnScreen(this);
    show();
    raise();
    activateWindow();
}

QString NoticeWindow::text() const
{
    return m_text->text();
}
