// The call report.
#include "callreport.h"

#include "calls/mediasession.h"

#include <QFile>
#include <QTextStream>

CallReport::CallReport(const MediaSession &media, const QString &path,
                       std::function<void(const QString &)> savePicture, QObject *parent)
    : QObject(parent), m_media(media), m_path(path), m_savePicture(std::move(savePicture))
{
    connect(&media, &MediaSession::callEnded, this, [this] {
        write();
        if (m_savePicture) m_savePicture(m_path + QStringLiteral(".png"));
    });
    connect(&media, &MediaSession::figures, this,
            [this](const QString &fpsIn, const QString &fpsOut) { writeRates(fpsIn, fpsOut); });
}

void CallReport::writeRates(const QString &fpsIn, const QString &fpsOut) const
{
    QFile file(m_path);
    if (file.open(QIODevice::Append))
        file.write("rates=" + fpsIn.toUtf8() + ',' + fpsOut.toUtf8() + '\n');
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
    out << "\ndrawn_ms=";
    for (size_t i = 0; i < t.drawnMs.size(); ++i)
        out << (i ? "," : "") << t.drawnMs[i];
    out << "\n\n";
}
