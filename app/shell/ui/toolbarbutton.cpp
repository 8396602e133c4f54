// The flat toolbar button.
#include "toolbarbutton.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

ToolbarButton::ToolbarButton(int index, const QString &caption, const QString &toolTip,
                             QWidget *parent)
    : QFrame(parent), m_index(index)
{
    setObjectName(QStringLiteral("cmdtoolbar_%1").arg(index));
    setToolTip(toolTip);
    setLineWidth(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 2);
    layout->setSpacing(1);
    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("pnlCmdButton_%1").arg(3 * index));
    m_icon->setAlignment(Qt::AlignCenter);
    m_caption = new QLabel(caption, this);
    m_caption->setObjectName(QStringLiteral("lblcmd_%1").arg(index));
    m_caption->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_icon);
    layout->addWidget(m_caption);
    setMinimumWidth(MinimumWidth);
    reserveCaption(caption);
    setBevel(Flat);
}

void ToolbarButton::reserveCaption(const QString &caption)
{
    // The bold caption under the mouse must fit without moving its neighbours.
    QFont bold = m_caption->font();
    bold.setBold(true);
    const QMargins m = layout()->contentsMargins();
    const int width = QFontMetrics(bold).horizontalAdvance(caption) + m.left() + m.right() + 4;
    setMinimumWidth(std::max(minimumWidth(), width));
}

void ToolbarButton::setPictures(const QPixmap &normal, const QPixmap &highlighted)
{
    m_normal = normal;
    m_highlightedPicture = highlighted;
    m_icon->setPixmap(m_highlighted ? m_highlightedPicture : m_normal);
}

void ToolbarButton::setCaption(const QString &caption)
{
    m_caption->setText(caption);
}

QString ToolbarButton::caption() const
{
    return m_caption->text();
}

void ToolbarButton::setBevel(Bevel bevel)
{
    m_bevel = bevel;
    switch (bevel) {
    case Flat:
        setFrameStyle(QFrame::NoFrame);
        break;
    case Sunken:
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    case Raised:
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        break;
    }
}

void ToolbarButton::setHighlighted(bool on)
{
    m_highlighted = on;
    m_icon->setPixmap(on ? m_highlightedPicture : m_normal);
    QFont f = m_caption->font();
    f.setBold(on);
    m_caption->setFont(f);
}

void ToolbarButton::enterEvent(QEnterEvent *event)
{
    QFrame::enterEvent(event);
    emit hovered(m_index);
}

void ToolbarButton::leaveEvent(QEvent *event)
{
    QFrame::leaveEvent(event);
    emit hovered(-1);
}

void ToolbarButton::mousePressEvent(QMouseEvent *event)
{
    emit pressed(m_index, event->button());
}

void ToolbarButton::mouseReleaseEvent(QMouseEvent *event)
{
    emit released(m_index, event->button());
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked(m_index);
}
