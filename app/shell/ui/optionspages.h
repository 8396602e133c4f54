// The options dialog's Video and Audio tabs. What they change acts at once (the camera, the
// picture quality, the speech compression, the volume, the sound devices), except the caption
// written into the outgoing picture, which the dialog's Close stores with the other texts.
#pragma once

#include <QWidget>

class MediaOptions;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSlider;

class VideoOptionsPage : public QWidget
{
    Q_OBJECT
public:
    VideoOptionsPage(MediaOptions &model, bool sendImageMessage, const QString &imageMessage,
                     QWidget *parent = nullptr);

    // The capture format, the driver's dialogs and the quality as they are now.
    void refresh();
    bool sendImageMessage() const;
    QString imageMessage() const;

private:
    void fillDevices();

    MediaOptions &m_model;
    QComboBox *m_device;
    QLabel *m_width, *m_height, *m_bits, *m_compression;
    QPushButton *m_display, *m_format, *m_source;
    QRadioButton *m_clearer, *m_motion;
    QCheckBox *m_sendMessage;
    QLineEdit *m_message;
};

class AudioOptionsPage : public QWidget
{
    Q_OBJECT
public:
    explicit AudioOptionsPage(MediaOptions &model, QWidget *parent = nullptr);

    // The volume as the engine has it, and the test buttons for what the test holds.
    void refresh();

private:
    QComboBox *deviceBox(const char *name, bool recording);
    void showTestState();

    MediaOptions &m_model;
    QPushButton *m_record, *m_stop, *m_play;
    QProgressBar *m_progress;
    QRadioButton *m_phone, *m_radio;
    QSlider *m_speaker, *m_microphone;
};
