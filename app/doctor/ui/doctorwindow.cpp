// The connection doctor's window.
#include "doctorwindow.h"

#include "doctor/connectiondoctor.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace
{

// Each verdict's colour, lighter on a dark background so that it stays readable.
QString colourOf(DoctorCheck::Verdict verdict, bool dark)
{
    switch (verdict) {
    case DoctorCheck::Fine:
        return dark ? QStringLiteral("#5fd38d") : QStringLiteral("#1b7f3b");
    case DoctorCheck::Warning:
        return dark ? QStringLiteral("#f0a54a") : QStringLiteral("#a15c00");
    case DoctorCheck::Problem:
        return dark ? QStringLiteral("#ff7b7b") : QStringLiteral("#b00020");
    case DoctorCheck::NotChecked:
        break;
    }
    return dark ? QStringLiteral("#a8a8a8") : QStringLiteral("#666666");
}

} // namespace

DoctorWindow::DoctorWindow(ConnectionDoctor &doctor, QWidget *parent)
    : QDialog(parent), m_doctor(doctor), m_report(new QTextBrowser(this)),
      m_summary(new QLabel(this)), m_again(new QPushButton(QStringLiteral("&Run Again"), this))
{
    setObjectName(QStringLiteral("frmDoctor"));
    setWindowTitle(QStringLiteral("Connection Doctor"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto *intro = new QLabel(QStringLiteral("Checks what calls need, one after another: the "
                                            "network, the servers, the call ports, the router, "
                                            "and the sound and camera devices."),
                             this);
    intro->setWordWrap(true);
    m_report->setObjectName(QStringLiteral("txtDoctorReport"));
    m_report->setOpenLinks(false);
    m_report->setMinimumHeight(380); // every check at once, without scrolling
    m_report->setAccessibleName(QStringLiteral("The checks and their verdicts"));
    m_summary->setObjectName(QStringLiteral("lblDoctorSummary"));
    QFont bold = m_summary->font();
    bold.setBold(true);
    m_summary->setFont(bold);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_again->setObjectName(QStringLiteral("cmdDoctorAgain"));
    auto *copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("cmdDoctorCopy"));
    copy->setToolTip(QStringLiteral("Copies the report as text, to paste into a message to "
                                    "whoever helps you."));
    buttons->addButton(m_again, QDialogButtonBox::ActionRole);
    buttons->addButton(copy, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_again, &QPushButton::clicked, &m_doctor, &ConnectionDoctor::run);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_doctor.report()); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_report, 1);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);

    connect(&m_doctor, &ConnectionDoctor::started, this, &DoctorWindow::refresh);
    connect(&m_doctor, &ConnectionDoctor::checkDone, this, &DoctorWindow::refresh);
    connect(&m_doctor, &ConnectionDoctor::finished, this, &DoctorWindow::refresh);
    refresh();
}

void DoctorWindow::refresh()
{
    const bool dark = m_report->palette().color(QPalette::Base).lightness() < 128;
    QString html;
    for (const DoctorCheck &c : m_doctor.checks()) {
        html += QStringLiteral("<p><b>%1</b> &mdash; <span style=\"color:%2\"><b>%3</b></span>"
                               "<br>%4")
                    .arg(c.title.toHtmlEscaped(), colourOf(c.verdict, dark),
                         ConnectionDoctor::verdictText(c.verdict), c.finding.toHtmlEscaped());
        if (!c.advice.isEmpty())
            html += QStringLiteral("<br><i>%1</i>").arg(c.advice.toHtmlEscaped());
        html += QStringLiteral("</p>");
    }
    m_report->setHtml(html);
    m_summary->setText(m_doctor.summary());
    m_again->setEnabled(!m_doctor.running());
}
