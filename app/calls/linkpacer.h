// Paces a call's pictures to its link. A picture that leaves while earlier ones still wait to go
// only adds to the delay of everything behind it, speech included; so on each tick the media
// session tells the pacer how much of what it sent has not yet left the machine, and the pacer
// says whether a picture may be grabbed and sent, and how far to lower the pictures' quality.
//
// A picture goes while at most half the last picture waits. Speech and chat lines are never held
// back. While the user talks, pictures stop altogether when one would hold the speech behind it
// for longer than TalkDelayMs at the rate the link has been seen to carry. While pictures are
// being held back, their quality goes down one step a second; after three seconds without, up
// one step again.
#pragma once

#include <QtGlobal>

class LinkPacer
{
public:
    static constexpr int TalkDelayMs = 250;
    static constexpr qint64 MinimumAllowance = 512;

    // A new call: nothing known about its link.
    void reset();
    // The start of a tick, `ms` after the last one: what still waits to leave, and whether the
    // user is talking.
    void observe(qint64 waiting, int ms, bool talking);
    // What left the program during the tick.
    void sent(qint64 bytes, bool picture);
    // Whether a picture may be grabbed or sent now.
    bool pictureAllowed() const { return m_allowed; }
    // Steps (of the media session's choosing) to lower the quality by, 0 up to the set maximum.
    int qualityDrop() const { return m_drop; }
    void setMaximumDrop(int steps);
    // Bytes a second the link has been seen to carry while it was full; 0 until then.
    double rate() const { return m_rate; }
    qint64 heldBack() const { return m_heldBack; }

private:
    qint64 m_waiting = 0;     // at the last tick
    qint64 m_sentSince = 0;   // since the last tick
    qint64 m_lastPicture = 0; // the size of the last picture sent
    double m_rate = 0;        // bytes a second
    bool m_allowed = true;
    qint64 m_heldBack = 0; // ticks on which a picture could not go, in this call
    int m_drop = 0, m_maximumDrop = 0;
    int m_secondMs = 0; // into the current second
    bool m_heldThisSecond = false;
    int m_clearSeconds = 0; // seconds in a row without holding back
};
