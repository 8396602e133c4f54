// Help > Connection Doctor: the doctor's checks as they come, each with its verdict, what was
// found and what to do, and a line that sums them up; Run Again, Copy (as text) and Close.
#pragma once

#include <QDialog>

class ConnectionDoctor;
class QLabel;
class QPushButton;
class QTextBrowser;

class DoctorWindow : public QDialog
{
    Q_OBJECT
public:
    explicit DoctorWindow(ConnectionDoctor &doctor, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {580, 560}; } // room for every check at once

private:
    void refresh();

    ConnectionDoctor &m_doctor;
    QTextBrowser *m_report;
    QLabel *m_summary;
    QPushButton *m_again;
};
