// The directory window: the directory server to use, the users it lists, the user's pals online
// and offline, the call box, and the buttons to call, send a quick message, refresh and keep the
// pal list. It shows what DirectoryModel holds and hands it the user's clicks and keys.
#pragma once

#include "widgets/toolwindow.h"

class DirectoryModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class DirectoryWindow : public ToolWindow
{
    Q_OBJECT
public:
    explicit DirectoryWindow(DirectoryModel &model, QWidget *parent = nullptr);

    void callTyped();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *buildLists();
    void showUsers();
    void showPals();
    void showStatus();
    void showServerChoices();
    void offerRedirect(const QString &address, const QString &description);
    void enableCall();
    void newPal();
    // The key of a list's selected item, or empty.
    static QString selectedKey(const QTreeWidget *list);

    DirectoryModel &m_model;
    QComboBox *m_server;
    QTreeWidget *m_global, *m_online, *m_offline;
    QLineEdit *m_address, *m_address2;
    QPushButton *m_call, *m_sendMessage;
    QLabel *m_panels[4] = {};
};
