// The flat toolbar button.
#include "toolbarbutton.h"

#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

namespace
{
// A screen reader's view of the button: a push button named by its accessible name (its caption
// when it has none), pressed while sunken, with a press action.
class AccessibleToolbarButton : public QAccessibleWidget
{
public:
    explicit AccessibleToolbarButton(ToolbarButton *button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }
    ToolbarButton *button() const { return static_cast<ToolbarButton *>(widget()); }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && button()->accessibleName().isEmpty())
            return button()->caption();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->bevel() == ToolbarButton::Sunken;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name != pressAction()) return;
        button()->press(true);
        button()->press(false);
    }
};

QAccessibleInterface *accessibleButton(const QString &className, QObject *object)
{
    if (className == QLatin1String("ToolbarButton") && object && object->isWidgetType())
        return new AccessibleToolbarButton(static_cast<ToolbarButton *>(object));
    return nullptr;
}

bool isPressKey(const QKeyEvent *event)
{
    return event->modifiers() == Qt::NoModifier &&
           (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
            event->key() == Qt::Key_Enter);
}
} // namespace

ToolbarButton::ToolbarButton(int index, const QString &caption, const QString &toolTip,
                             QWidget *parent)
    : QFrame(parent), m_index(index)
{
    static const bool factory = (QAccessible::installFactory(accessibleButton), true);
    Q_UNUSED(factory);
    setObjectName(QStringLiteral("cmdtoolbar_%1").arg(index));
    setFocusPolicy(Qt::TabFocus);
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

void ToolbarButton::press(bool down)
{
    if (down) {
        emit pressed(m_index, Qt::LeftButton);
        return;
    }
    emit released(m_index, Qt::LeftButton);
    emit clicked(m_index);
}

void ToolbarButton::keyPressEvent(QKeyEvent *event)
{
    if (!isPressKey(event)) {
        QFrame::keyPressEvent(event);
        return;
    }
    // The keyboard's auto-repeat does not press again: held is held, as with the mouse.
    if (!event->isAutoRepeat() && !m_keyDown) {
        m_keyDown = true;
        press(true);
    }
}

void ToolbarButton::keyReleaseEvent(QKeyEvent *event)
{
    const bool pressKey = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                          event->key() == Qt::Key_Enter;
    if (!pressKey || !m_keyDown) {
        QFrame::keyReleaseEvent(event);
        return;
    }
    if (!event->isAutoRepeat()) {
        m_keyDown = false;
        press(false);
    }
}

void ToolbarButton::focusInEvent(QFocusEvent *event)
{
    QFrame::focusInEvent(event);
    update();
}

void ToolbarButton::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    if (!hasFocus()) return;
    // The style's focus rectangle inside the bevel; the bevel itself keeps showing the state.
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = contentsRect().adjusted(1, 1, -1, -1);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void ToolbarButton::focusOutEvent(QFocusEvent *event)
{
    QFrame::focusOutEvent(event);
    // A key held while the focus moves away is let go, or Talk would stay on.
    if (m_keyDown) {
        m_keyDown = false;
        emit released(m_index, Qt::LeftButton);
    }
    update();
}
