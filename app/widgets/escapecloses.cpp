// Escape closes a window.
#include "escapecloses.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMainWindow>

void EscapeCloses::install()
{
    static EscapeCloses *filter = nullptr;
    if (filter || !qApp) return;
    filter = new EscapeCloses(qApp);
    qApp->installEventFilter(filter);
}

bool EscapeCloses::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier) return false;
    auto *window = static_cast<QWidget *>(watched);
    // Key presses travel up to the window only while no control accepted them.
    if (!window->isWindow() || window->windowType() == Qt::Popup) return false;
    if (qobject_cast<QMainWindow *>(window) || qobject_cast<QDialog *>(window)) return false;
    window->close();
    return true;
}
