// The call report.
#include "callreport.h"

#include "calls/mediasession.h"

#include <QFile>

#include <QTextStream>
#include <algorithm>

CallReport::CallReport(const MediaSession &media, const QString &path,
                       std::function<void(const QString &)> savePicture, QObject *parent)
    : QObject(parent), m_media(media), m_path(path), m_savePicture(std::move(savePicture))
{
    connect(&media, &MediaSession::callEnded, this, [this] {
        write();
        if (m_savePicture) m_savePicture(m_path + QStringLiteral(".png"));
    });
    m_window.setSingleShot(true);
    m_window.setTimerType(Qt::PreciseTimer);
    connect(&m_window, &QTimer::timeout, this, &CallReport::writeRates);
    connect(&media, &MediaSession::callEntered, this, [this] {
        m_callClock.start();
        m_windows = 0;
        m_picturesIn = m_picturesOut = 0;
        m_window.start(10000);
    });
    connect(&media, &MediaSession::callEnded, &m_window, &QTimer::stop);
}

void CallReport::writeRates()
{
    const MediaSession::Totals &t = m_media.totals();
    ++m_windows;
    QFile file(m_path);
    if (file.open(QIODevice::Append))
        file.write(QStringLiteral("rates=%1,%2,%3\n")
                       .arg((t.picturesIn - m_picturesIn) / 10.0)
                       .arg((t.picturesOut - m_picturesOut) / 10.0)
                       .arg(m_windows * 10)
                       .toUtf8());
    m_picturesIn = t.picturesIn;
    m_picturesOut = t.picturesOut;
    m_window.start(int(std::max<qint64>(1, m_windows * 10000LL + 10000 - m_callClock.elapsed())));
}

void CallReport::write() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::Append)) return;
    const MediaSession::Totals &t = m_media.totals();
    const double seconds = std::max<qint64>(1, t.endedMs - t.startedMs) / 1000.0;
    QTextStream out(&file);
    out << "seconds=" << seconds << "\npictures_sent=" << t.picturesOut
        << "\npictures_received=" << t.picturesIn << "\nbytes_sent=" << t.bytesOut
        << "\nbytes_received=" << t.bytesIn << "\nspeech_blocks_sent=" << t.blocksOut
        << "\nspeech_blocks_received=" << t.blocksIn << "\nchat_lines_received=" << t.linesIn
        << "\ncpu_seconds=" << (t.cpuEnd - t.cpuStart) << "\nsent_capture_ms=";
    for (size_t i = 0; i < t.sentCaptureMs.size(); ++i)
        out << (i ? "," : "") << t.sentCaptureMs[i];
    auto list = [&](const char *key, const std::vector<qint64> &values) {
        out << "\n" << key << "=";
        for (size_t i = 0; i < values.size(); ++i)
            out << (i ? "," : "") << values[i];
    };
    list("drawn_ms", t.drawnMs);
    list("sent_speech_ms", t.sentSpeechMs);
    list("arrived_speech_ms", t.arrivedSpeechMs);
    out << "\npictures_held_back=" << t.picturesHeldBack << "\n\n";
}
