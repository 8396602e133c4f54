// What crossed in each call, appended to a file when the call ends: pictures, bytes, speech
// blocks and chat lines each way, processor time, and when each picture was captured and drawn.
// During the call, the pictures of every ten seconds are appended as they come ("rates=" pictures
// per second in, out, and the end of those ten seconds counted from the call's start), so a long
// call can be followed while it runs.
// The demo, the end-to-end tests and the call benchmark ask for it with OVELA_REPORT; the
// program then also keeps the last picture it received beside the report (report + ".png").
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class MediaSession;

class CallReport : public QObject
{
    Q_OBJECT
public:
    // savePicture writes the last received picture to the path it is given.
    CallReport(const MediaSession &media, const QString &path,
               std::function<void(const QString &path)> savePicture = {},
               QObject *parent = nullptr);

private:
    void write() const;
    void writeRates();

    const MediaSession &m_media;
    // The ten-second windows follow the call's own clock, so they never drift from its start.
    QElapsedTimer m_callClock;
    QTimer m_window;
    int m_windows = 0;
    qint64 m_picturesIn = 0, m_picturesOut = 0;
    QString m_path;
    std::function<void(const QString &)> m_savePicture;
};
