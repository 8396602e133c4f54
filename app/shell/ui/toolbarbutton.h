// One button of the main window's flat toolbar: an icon panel and a caption in a panel whose
// bevel shows its state (flat, sunken while its window is shown or while talking, raised under
// the mouse). It takes the keyboard focus with Tab: Space or Enter held down is the left button
// held down, and screen readers see it as a push button with a press action.
#pragma once

#include <QFrame>
#include <QPixmap>

class QLabel;

class ToolbarButton : public QFrame
{
    Q_OBJECT
public:
    enum Bevel { Flat = 0, Sunken = 1, Raised = 2 };

    ToolbarButton(int index, const QString &caption, const QString &toolTip,
                  QWidget *parent = nullptr);

    void setPictures(const QPixmap &normal, const QPixmap &highlighted);
    void setCaption(const QString &caption);
    // Keeps room for another caption the button may show (bold under the mouse, too).
    void reserveCaption(const QString &caption);
    QString caption() const;
    Bevel bevel() const { return m_bevel; }
    void setBevel(Bevel bevel);
    void setHighlighted(bool on);
    // What the press does, from the keyboard or a screen reader: the left button down and up.
    void press(bool down);

signals:
    void clicked(int index);
    void hovered(int index); // -1 when the mouse leaves
    void pressed(int index, Qt::MouseButton button);
    void released(int index, Qt::MouseButton button);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int MinimumWidth = 58;
    int m_index;
    Bevel m_bevel = Flat;
    bool m_highlighted = false;
    bool m_keyDown = false; // Space or Enter is held on the button
    QPixmap m_normal, m_highlightedPicture;
    QLabel *m_icon;
    QLabel *m_caption;
};
