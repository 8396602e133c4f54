// The self-view and data-rates windows.
#include "frmself.h"

#include "shell/pictures.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

FrmSelf::FrmSelf(QWidget *parent) : ToolWindow(parent, Qt::Window | Qt::Tool)
{
    setObjectName(QStringLiteral("frmSelf"));
    setWindowTitle(QStringLiteral("Self View"));
    m_capture = new QWidget(this);
    m_capture->setObjectName(QStringLiteral("pnlCapture"));
    m_capture->setFixedSize(320, 240);
    m_capture->setAttribute(Qt::WA_StyledBackground);
    m_capture->setStyleSheet(QStringLiteral("#pnlCapture { background: black; }"));

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("pnlSelf"));
    m_caption->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_settings = new QPushButton(QStringLiteral("Settings"), this);
    m_settings->setObjectName(QStringLiteral("cmdSettings"));
    m_settings->setToolTip(QStringLiteral("Video settings"));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_caption, 1);
    bottom->addWidget(m_settings);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_capture);
    layout->addLayout(bottom);
    connect(m_settings, &QPushButton::clicked, this, &FrmSelf::settingsRequested);
    setDeviceName(QStringLiteral("No Video Capture"));
}

void FrmSelf::setDeviceName(const QString &name)
{
    m_caption->setText(name);
}

FrmRates::FrmRates(QWidget *parent) : ToolWindow(parent, Qt::Window | Qt::Tool)
{
    setObjectName(QStringLiteral("frmRates"));
    setWindowTitle(QStringLiteral("Data Rates"));
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Captured (frames/s):"), figure("pnlFpsCap"));
    form->addRow(QStringLiteral("Received (frames/s):"), figure("pnlFpsIn"));
    form->addRow(QStringLiteral("Sent (frames/s):"), figure("pnlFpsOut"));
    form->addRow(QStringLiteral("Received (bits/s):"), figure("pnlThIn"));
    form->addRow(QStringLiteral("Sent (bits/s):"), figure("pnlThOut"));
    resetFigures();
    setFigure("pnlFpsCap", QStringLiteral("0"));
}

QLabel *FrmRates::figure(const char *name)
{
    auto *label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(90);
    return label;
}

void FrmRates::setFigure(const char *panel, const QString &text)
{
    if (auto *label = findChild<QLabel *>(QLatin1String(panel))) label->setText(text);
}

void FrmRates::resetFigures()
{
    for (const char *name : {"pnlFpsIn", "pnlFpsOut", "pnlThIn", "pnlThOut"})
        setFigure(name, QStringLiteral("0.0"));
}
