// The text chat window.
#include "chatwindow.h"

#include "calls/chatconversation.h"
#include "protocol/chatline.h"
#include "widgets/pictures.h"
#include "widgets/twips.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QVBoxLayout>

namespace
{
QString forDisplay(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

ChatWindow::ChatWindow(ChatConversation &chat, QWidget *parent)
    : ToolWindow(parent, Qt::Window), m_chat(chat)
{
    setObjectName(QStringLiteral("frmNewChat"));
    setWindowTitle(chat.caption());
    setWindowIcon(Pictures::appIcon());
    m_split = new QSplitter(Qt::Vertical, this);
    m_split->setObjectName(QStringLiteral("splitChat"));
    m_in = new QPlainTextEdit(m_split);
    m_in->setObjectName(QStringLiteral("txtIn"));
    m_in->setReadOnly(true);
    m_in->setAccessibleName(QStringLiteral("Chat received"));
    m_in->setTabChangesFocus(true);
    m_out = new QPlainTextEdit(m_split);
    m_out->setObjectName(QStringLiteral("txtOut"));
    m_out->setAccessibleName(QStringLiteral("Your chat text"));
    m_out->installEventFilter(this);
    m_out->viewport()->installEventFilter(this);
    m_in->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_split->setStretchFactor(0, 3);
    m_split->setStretchFactor(1, 1);

    auto *bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("pnlChat"));
    auto *buttons = new QHBoxLayout(bar);
    buttons->setContentsMargins(0, 0, 0, 0);
    auto button = [&](const char *name, const QString &text) {
        auto *b = new QPushButton(text, bar);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    QPushButton *bell = button("cmdBell", QStringLiteral("Ring User"));
    QPushButton *clear = button("cmdClear", QStringLiteral("Clear Text"));
    QPushButton *up = button("cmdFontUp", QStringLiteral("A+"));
    up->setToolTip(QStringLiteral("Increase Font Size"));
    up->setAccessibleName(up->toolTip());
    QPushButton *down = button("cmdFontDown", QStringLiteral("A-"));
    down->setToolTip(QStringLiteral("Decrease Font Size"));
    down->setAccessibleName(down->toolTip());
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_split, 1);
    layout->addWidget(bar);
    resize(330, 260);
    // The panes and the button bar follow the window, which stays at least this large.
    setMinimumSize(Twips::toPixelsX(2000), Twips::toPixelsY(1800));
    applyFont();

    connect(bell, &QPushButton::clicked, &m_chat, &ChatConversation::ringUser);
    connect(clear, &QPushButton::clicked, this, [this] {
        m_chat.clearIncoming();
        m_out->clear();
    });
    connect(up, &QPushButton::clicked, this, [this] { m_chat.changeFontSize(+1); });
    connect(down, &QPushButton::clicked, this, [this] { m_chat.changeFontSize(-1); });
    connect(&m_chat, &ChatConversation::fontSizeChanged, this, &ChatWindow::applyFont);
    connect(&m_chat, &ChatConversation::incomingAppended, this, &ChatWindow::appendToPane);
    connect(&m_chat, &ChatConversation::incomingReset, this,
            [this] { m_in->setPlainText(forDisplay(m_chat.incoming())); });
    connect(&m_chat, &ChatConversation::outgoingCleared, m_out, &QPlainTextEdit::clear);
    connect(&m_chat, &ChatConversation::captionChanged, this, &QWidget::setWindowTitle);
}

void ChatWindow::appendToPane(const QString &text)
{
    QTextCursor end(m_in->document());
    end.movePosition(QTextCursor::End);
    end.insertText(forDisplay(text));
    m_in->verticalScrollBar()->setValue(m_in->verticalScrollBar()->maximum());
}

void ChatWindow::sendTypedLine()
{
    m_chat.sendTypedLine(m_out->toPlainText());
}

void ChatWindow::applyFont()
{
    QFont f = m_in->font();
    f.setPointSize(m_chat.fontSize());
    m_in->setFont(f);
    m_out->setFont(f);
}

bool ChatWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    // Typing only ever happens at the end of the outgoing pane: a click puts the caret there.
    if (watched == m_out->viewport() &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick ||
         type == QEvent::MouseButtonRelease)) {
        m_out->setFocus();
        m_out->moveCursor(QTextCursor::End);
        return true;
    }
    if (watched == m_out && type == QEvent::KeyPress)
        return outgoingKey(static_cast<QKeyEvent *>(event));
    return ToolWindow::eventFilter(watched, event);
}

bool ChatWindow::outgoingKey(QKeyEvent *key)
{
    switch (key->key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true; // the caret stays at the end
    default:
        break;
    }
    if (key->key() == Qt::Key_G && (key->modifiers() & Qt::ControlModifier))
        return m_chat.bellKey();
    // Tab is typed into the chat; Ctrl+Tab leaves the pane for the buttons (Ctrl+Shift+Tab back).
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        (key->modifiers() & Qt::ControlModifier))
        return focusNextPrevChild(key->key() == Qt::Key_Tab &&
                                  !(key->modifiers() & Qt::ShiftModifier));
    m_out->moveCursor(QTextCursor::End);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        return !m_chat.keyTyped(ChatLine::EnterCode, m_out->toPlainText());
    if (key->key() == Qt::Key_Backspace)
        return !m_chat.keyTyped(ChatLine::BackspaceCode, m_out->toPlainText());
    // A key may type more than one character (a composed one): each goes whole. A Tab goes too,
    // since the pane shows it; other control characters are not typed.
    bool take = true;
    for (const char32_t c : key->text().toUcs4())
        if (c >= 0x20 || c == U'\t') take = m_chat.keyTyped(c, m_out->toPlainText()) && take;
    return !take;
}

void ChatWindow::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    applyFont();
    emit shown();
}
