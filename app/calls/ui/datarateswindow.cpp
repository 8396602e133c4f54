// The data-rates window.
#include "datarateswindow.h"

#include <QFormLayout>
#include <QLabel>

DataRatesWindow::DataRatesWindow(QWidget *parent) : ToolWindow(parent, Qt::Window | Qt::Tool)
{
    setObjectName(QStringLiteral("frmRates"));
    setWindowTitle(QStringLiteral("Data Rates"));
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Captured (frames/s):"), figure("pnlFpsCap"));
    form->addRow(QStringLiteral("Received (frames/s):"), figure("pnlFpsIn"));
    form->addRow(QStringLiteral("Sent (frames/s):"), figure("pnlFpsOut"));
    form->addRow(QStringLiteral("Received (bits/s):"), figure("pnlThIn"));
    form->addRow(QStringLiteral("Sent (bits/s):"), figure("pnlThOut"));
    // Each figure takes the focus, and a screen reader reads it with its row's caption.
    for (int row = 0; row < form->rowCount(); ++row) {
        auto *caption = qobject_cast<QLabel *>(form->itemAt(row, QFormLayout::LabelRole)->widget());
        QWidget *figure = form->itemAt(row, QFormLayout::FieldRole)->widget();
        figure->setFocusPolicy(Qt::TabFocus);
        figure->setAccessibleDescription(caption->text().chopped(1));
    }
    resetFigures();
    setFigure("pnlFpsCap", QStringLiteral("0"));
}

QLabel *DataRatesWindow::figure(const char *name)
{
    auto *label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setMinimumWidth(90);
    return label;
}

void DataRatesWindow::setFigure(const char *panel, const QString &text)
{
    auto *label = findChild<QLabel *>(QLatin1String(panel));
    if (!label) return;
    label->setText(text);
    // Read with its caption: "Sent (bits/s): 1200".
    label->setAccessibleName(label->accessibleDescription() + QStringLiteral(": ") + text);
}

void DataRatesWindow::showFigures(const QString &fpsIn, const QString &fpsOut, const QString &bpsIn,
                                  const QString &bpsOut)
{
    setFigure("pnlFpsIn", fpsIn);
    setFigure("pnlFpsOut", fpsOut);
    setFigure("pnlThIn", bpsIn);
    setFigure("pnlThOut", bpsOut);
}

void DataRatesWindow::resetFigures()
{
    for (const char *name : {"pnlFpsIn", "pnlFpsOut", "pnlThIn", "pnlThOut"})
        setFigure(name, QStringLiteral("0.0"));
}
