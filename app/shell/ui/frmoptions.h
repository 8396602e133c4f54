// The options dialog: the user's personal details and directory server, the calling and window
// preferences, and quick messages (the refuse list and switching them off). Close hands the
// values to the options model, which checks and stores them; the file is written at shutdown.
#pragma once

#include <QWidget>

class OptionsModel;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;
class QTreeWidget;
struct OptionValues;

class FrmOptions : public QWidget
{
    Q_OBJECT
public:
    explicit FrmOptions(OptionsModel &model, QWidget *parent = nullptr);

    // "Close": false (and a message) while the name or e-mail is too short.
    bool accept();
    void removeRefused();

private:
    OptionValues values() const;
    QWidget *personalTab();
    QWidget *generalTab();
    QWidget *messagingTab();
    void fillRefuseList();

    OptionsModel &m_model;
    QTabWidget *m_tabs;
    QLineEdit *m_name, *m_email, *m_location, *m_comment, *m_welcome;
    QComboBox *m_dirAddress;
    QCheckBox *m_showOnList, *m_autoAccept, *m_sendWelcome, *m_realChat;
    QCheckBox *m_saveWinPos, *m_moveAllWin, *m_rememberWin, *m_qmDisable;
    QTreeWidget *m_refuse;
};
