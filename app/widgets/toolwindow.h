// A window that lives from start-up to shutdown: the user's close only hides it (and says so),
// the program's own unload really closes it.
#pragma once

#include <QCloseEvent>
#include <QWidget>

class ToolWindow : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;

    // Closes the window for good (program shutdown).
    void unload()
    {
        m_unloading = true;
        close();
    }

signals:
    // The user closed the window; it is hidden, not gone.
    void hiddenByUser();

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_unloading) {
            event->accept();
            return;
        }
        event->ignore();
        hide();
        emit hiddenByUser();
    }

private:
    bool m_unloading = false;
};
