// The options dialog: the user's personal details and directory server, the calling and window
// preferences (with the desktop's: the tray, notices and the push-to-talk key), the camera and
// the sound, and quick messages (the refuse list and switching them off). Close hands the values
// to the options model, which checks and stores them; the file is written at shutdown. The
// window's close box stores nothing (what the Video and Audio tabs and the refuse list changed
// has acted already).
#pragma once

#include <QWidget>

class AudioOptionsPage;
class OptionsModel;
class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QLineEdit;
class QTabWidget;
class QTreeWidget;
class VideoOptionsPage;
struct OptionValues;

class OptionsDialog : public QWidget
{
    Q_OBJECT
public:
    enum Tab { PersonalTab = 0, GeneralTab, VideoTab, AudioTab, MessagingTab };

    explicit OptionsDialog(OptionsModel &model, QWidget *parent = nullptr);

    void showTab(Tab tab);

    // "Close": false (and a message) while the name or e-mail is too short.
    bool accept();
    void removeRefused();

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

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
    QCheckBox *m_saveWinPos, *m_moveAllWin, *m_rememberWin, *m_qmDisable, *m_mapPorts;
    QCheckBox *m_keepInTray, *m_palOnline;
    QCheckBox *m_encrypt, *m_refusePlain;
    QKeySequenceEdit *m_talkKey;
    QTreeWidget *m_refuse;
    VideoOptionsPage *m_video;
    AudioOptionsPage *m_audio;
};
