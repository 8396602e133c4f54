// The options dialog's Video and Audio tabs.
#include "optionspages.h"

#include "shell/mediaoptions.h"
#include "shell/sounddevices.h"
#include "widgets/windowhelpers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace
{

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// The compression code as a person reads it (the engine gives the low 16 bits of its FourCC).
QString compressionText(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("None (RGB)");
    case 0x3449:
        return QStringLiteral("YUV 4:2:0 (I420)");
    case 0x5659:
        return QStringLiteral("YVU 9 (YVU9)");
    default:
        return QStringLiteral("0x%1").arg(code, 4, 16, QLatin1Char('0'));
    }
}

} // namespace

// ---- Video --------------------------------------------------------------------------------

VideoOptionsPage::VideoOptionsPage(MediaOptions &model, bool sendImageMessage,
                                   const QString &imageMessage, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    auto *camera = new QGroupBox(QStringLiteral("Camera"), this);
    m_device = named(new QComboBox(camera), "cboVidDevice");
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_device->setMinimumContentsLength(24);
    m_width = textPanel(camera, "pnlVidxSize", 60);
    m_height = textPanel(camera, "pnlVidySize", 60);
    m_bits = textPanel(camera, "pnlBitCount", 60);
    m_compression = textPanel(camera, "pnlVidCompress", 60);
    m_display = named(new QPushButton(QStringLiteral("Display"), camera), "cmdVidDisplay");
    m_format = named(new QPushButton(QStringLiteral("Format"), camera), "cmdVidFormat");
    m_source = named(new QPushButton(QStringLiteral("Source"), camera), "cmdVidSource");
    auto *grid = new QGridLayout(camera);
    auto *deviceLabel = new QLabel(QStringLiteral("&Device:"), camera);
    deviceLabel->setBuddy(m_device);
    grid->addWidget(deviceLabel, 0, 0);
    grid->addWidget(m_device, 0, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Width:"), camera), 1, 0);
    grid->addWidget(m_width, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Height:"), camera), 1, 2);
    grid->addWidget(m_height, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Bits:"), camera), 2, 0);
    grid->addWidget(m_bits, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Compression:"), camera), 2, 2);
    grid->addWidget(m_compression, 2, 3);
    auto *dialogs = new QHBoxLayout;
    dialogs->addWidget(new QLabel(QStringLiteral("Driver settings:"), camera));
    for (QPushButton *b : {m_display, m_format, m_source}) {
        b->setToolTip(QStringLiteral("Disabled when the camera's driver has no such dialog"));
        dialogs->addWidget(b);
    }
    dialogs->addStretch(1);
    grid->addLayout(dialogs, 3, 0, 1, 4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    auto *quality = new QGroupBox(this);
    m_clearer = named(new QRadioButton(QStringLiteral("Clearer Video"), quality), "optQualityHigh");
    m_motion = named(new QRadioButton(QStringLiteral("Better Motion"), quality), "optQualityLow");
    auto *qualityRow = new QHBoxLayout(quality);
    qualityRow->addWidget(new QLabel(QStringLiteral("Quality:"), quality));
    qualityRow->addWidget(m_clearer);
    qualityRow->addWidget(m_motion);
    qualityRow->addStretch(1);

    auto *caption = new QGroupBox(this);
    m_sendMessage =
        named(new QCheckBox(QStringLiteral("Put a message in my outgoing video"), caption),
              "chkImageMsg");
    m_sendMessage->setChecked(sendImageMessage);
    m_message = named(new QLineEdit(imageMessage, caption), "txtImageMsg");
    m_message->setEnabled(sendImageMessage);
    auto *captionForm = new QFormLayout(caption);
    captionForm->addRow(m_sendMessage);
    captionForm->addRow(QStringLiteral("Message:"), m_message);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(camera);
    layout->addWidget(quality);
    layout->addWidget(caption);
    layout->addStretch(1);

    connect(m_device, &QComboBox::activated, this,
            [this](int index) { m_model.chooseVideoDevice(index); });
    connect(&m_model, &MediaOptions::videoChanged, this, [this] {
        fillDevices();
        refresh();
    });
    connect(m_display, &QPushButton::clicked, this,
            [this] { m_model.openDriverDialog(VideoPath::DriverDialog::Display); });
    connect(m_format, &QPushButton::clicked, this,
            [this] { m_model.openDriverDialog(VideoPath::DriverDialog::Format); });
    connect(m_source, &QPushButton::clicked, this,
            [this] { m_model.openDriverDialog(VideoPath::DriverDialog::Source); });
    connect(m_motion, &QRadioButton::toggled, this, [this](bool on) { m_model.setQualityLow(on); });
    connect(m_sendMessage, &QCheckBox::toggled, m_message, &QWidget::setEnabled);
    fillDevices();
    refresh();
}

void VideoOptionsPage::fillDevices()
{
    const QSignalBlocker quiet(m_device);
    m_device->clear();
    const QStringList devices = m_model.videoDevices();
    const bool none = devices.constFirst() == MediaOptions::NoVideoDevice;
    m_device->addItems(devices);
    m_device->setCurrentIndex(none ? 0 : m_model.videoDevice());
    m_device->setEnabled(!none);
}

void VideoOptionsPage::refresh()
{
    const VideoEngine::CaptureFormat f = m_model.videoFormat();
    const bool video = m_model.hasVideo() && f.valid;
    m_width->setText(video ? QString::number(f.size.width()) : QString());
    m_height->setText(video ? QString::number(f.size.height()) : QString());
    m_bits->setText(video ? QString::number(f.bits) : QString());
    m_compression->setText(video ? compressionText(f.compression) : QString());
    m_display->setEnabled(video && f.displayDialog);
    m_format->setEnabled(video && f.formatDialog);
    m_source->setEnabled(video && f.sourceDialog);
    m_clearer->setEnabled(m_model.hasVideo());
    m_motion->setEnabled(m_model.hasVideo());
    const QSignalBlocker quiet(m_motion);
    (m_model.qualityLow() ? m_motion : m_clearer)->setChecked(true);
}

bool VideoOptionsPage::sendImageMessage() const
{
    return m_sendMessage->isChecked();
}

QString VideoOptionsPage::imageMessage() const
{
    return m_message->text();
}

// ---- Audio --------------------------------------------------------------------------------

AudioOptionsPage::AudioOptionsPage(MediaOptions &model, QWidget *parent)
    : QWidget(parent), m_model(model)
{
    auto *test = new QGroupBox(QStringLiteral("Test"), this);
    auto *hint = new QLabel(
        QStringLiteral("Press Record, Talk into your Mic, press Stop then press Play"), test);
    hint->setWordWrap(true);
    m_record = named(new QPushButton(QStringLiteral("Record"), test), "cmdAudioRec");
    m_stop = named(new QPushButton(QStringLiteral("Stop"), test), "cmdAudioStop");
    m_play = named(new QPushButton(QStringLiteral("Play"), test), "cmdAudioPlay");
    m_progress = named(new QProgressBar(test), "pbrAudioTest");
    m_progress->setRange(0, MediaOptions::TestBlocks);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_record);
    buttons->addWidget(m_stop);
    buttons->addWidget(m_play);
    buttons->addWidget(m_progress, 1);
    auto *testLayout = new QVBoxLayout(test);
    testLayout->addWidget(hint);
    testLayout->addLayout(buttons);

    auto *compression = new QGroupBox(QStringLiteral("Compression"), this);
    m_phone = named(new QRadioButton(QStringLiteral("Phone Quality (13.2 kbps)"), compression),
                    "optPhoneQ");
    m_radio = named(new QRadioButton(QStringLiteral("Radio Quality (6.6 kbps)"), compression),
                    "optRadioQ");
    (m_model.audioMode() == AudioPath::PhoneQuality ? m_phone : m_radio)->setChecked(true);
    auto *compressionRow = new QHBoxLayout(compression);
    compressionRow->addWidget(m_phone);
    compressionRow->addWidget(m_radio);
    compressionRow->addStretch(1);

    auto *levels = new QGroupBox(QStringLiteral("Volume and devices"), this);
    m_speaker = named(new QSlider(Qt::Horizontal, levels), "Slider1");
    m_speaker->setRange(0, MediaOptions::VolumeSteps);
    m_speaker->setPageStep(1);
    m_speaker->setTickPosition(QSlider::TicksBelow);
    m_microphone = named(new QSlider(Qt::Horizontal, levels), "Slider2");
    m_microphone->setRange(0, MediaOptions::VolumeSteps);
    m_microphone->setValue(MediaOptions::VolumeSteps);
    m_microphone->setTickPosition(QSlider::TicksBelow);
    m_microphone->setEnabled(false);
    m_microphone->setToolTip(
        QStringLiteral("The microphone's level is set in the desktop's sound settings"));
    auto *form = new QFormLayout(levels);
    form->addRow(QStringLiteral("Speaker:"), m_speaker);
    form->addRow(QStringLiteral("Microphone:"), m_microphone);
    form->addRow(QStringLiteral("Recording device:"), deviceBox("cboAudioIn", true));
    form->addRow(QStringLiteral("Playback device:"), deviceBox("cboAudioOut", false));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(test);
    layout->addWidget(compression);
    layout->addWidget(levels);
    layout->addStretch(1);

    connect(m_record, &QPushButton::clicked, &m_model, &MediaOptions::recordTest);
    connect(m_stop, &QPushButton::clicked, &m_model, &MediaOptions::stopTest);
    connect(m_play, &QPushButton::clicked, &m_model, &MediaOptions::playTest);
    connect(&m_model, &MediaOptions::testProgress, this, [this](int blocks) {
        m_progress->setValue(blocks);
        showTestState();
    });
    connect(&m_model, &MediaOptions::testRecordingChanged, this, &AudioOptionsPage::showTestState);
    connect(m_radio, &QRadioButton::toggled, this, [this](bool on) {
        m_model.setAudioMode(on ? AudioPath::RadioQuality : AudioPath::PhoneQuality);
    });
    connect(m_speaker, &QSlider::valueChanged, &m_model, &MediaOptions::setVolumeStep);
    refresh();
}

QComboBox *AudioOptionsPage::deviceBox(const char *name, bool recording)
{
    auto *box = named(new QComboBox(this), name);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(24);
    const QString chosen = m_model.soundDevice(recording);
    for (const AudioEngine::Device &d : m_model.soundDevices(recording)) {
        box->addItem(d.description.isEmpty() ? d.name
                                             : d.name + QStringLiteral(" - ") + d.description,
                     d.name);
        box->setItemData(box->count() - 1, d.description, Qt::ToolTipRole);
    }
    if (box->findData(chosen) < 0)
        box->addItem(chosen + QStringLiteral(" (not connected)"), chosen);
    box->setCurrentIndex(box->findData(chosen));
    // The environment's scripted or named device wins over the choice made here.
    if (const QString forced = SoundDevices::environmentChoice(recording); !forced.isEmpty()) {
        box->setEnabled(false);
        box->setToolTip(
            QStringLiteral("%1 chooses this device: %2")
                .arg(recording ? QStringLiteral("OVELA_MIC") : QStringLiteral("OVELA_SPEAKER"),
                     forced));
    }
    connect(box, &QComboBox::activated, this, [this, box, recording](int index) {
        m_model.chooseSoundDevice(recording, box->itemData(index).toString());
    });
    return box;
}

void AudioOptionsPage::refresh()
{
    const bool audio = m_model.hasAudio();
    {
        const QSignalBlocker quiet(m_speaker);
        m_speaker->setValue(m_model.volumeStep());
    }
    m_speaker->setEnabled(audio);
    m_record->setEnabled(audio);
    showTestState();
}

void AudioOptionsPage::showTestState()
{
    const bool recording = m_model.recording();
    m_stop->setEnabled(recording);
    m_play->setEnabled(!recording && m_model.testBlocks() > 0);
}
