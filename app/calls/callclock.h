// The call clock: minutes and seconds of the current call on the main window's four-digit
// read-out. A reset switches the read-out off; the first tick after it shows 00:00 and the colon.
#pragma once

#include <QObject>

class CallClock : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void reset();
    void tick(); // one second more

    int minutes() const { return m_minutes; }
    int seconds() const { return m_seconds; }
    bool displayOn() const { return m_on; }
    // Digit i (0..3, left to right) as shown: 0..9, or -1 while the read-out is off.
    int digit(int i) const;
    QString text() const; // "mm:ss", or "" while off

signals:
    void changed();

private:
    int m_minutes = 0;
    int m_seconds = 0;
    bool m_on = false;
};
