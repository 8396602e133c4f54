// What crossed in each call, appended to a file when the call ends: pictures, bytes, speech
// blocks and chat lines each way, processor time, and when each picture was captured and drawn.
// During the call, each ten-second figure of the data-rates window is appended as it comes
// ("rates=" pictures per second in, out), so a long call can be followed while it runs.
// The demo, the end-to-end tests and the call benchmark ask for it with OVELA_REPORT; the
// program then also keeps the last picture it received beside the report (report + ".png").
#pragma once

#include <QObject>
#include <QString>

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
    void writeRates(const QString &fpsIn, const QString &fpsOut) const;

    const MediaSession &m_media;
    QString m_path;
    std::function<void(const QString &)> m_savePicture;
};
