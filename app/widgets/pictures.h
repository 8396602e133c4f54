// The program's pictures, drawn rather than shipped: lights, the call clock's digits, the
// activity animation, toolbar icons and the logo.
#pragma once

#include <QPixmap>

namespace Pictures
{

enum class Light { Off, On, NoDevice };

QPixmap microphone(Light state);
QPixmap camera(Light state);
QPixmap speaker(Light state);
QPixmap connection(bool on);
QPixmap doNotDisturb(bool on);
// A padlock: closed (an encrypted call) or open.
QPixmap lock(bool closed);
QPixmap messageIn(bool waiting);

// A seven-segment digit 0..9, or the dark digit for -1.
QPixmap digit(int value);
QPixmap colon(bool on);

constexpr int AnimationFrames = 8;
QPixmap animation(int frame);

enum class Tool { Call, HangUp, Directory, SelfView, Chat, Talk };
QPixmap tool(Tool which, bool highlighted);

QPixmap logo(int width = 200);
QPixmap incomingCall();
QPixmap busy();

// The directory list's icons, 1 to 9: a person (blue for users of this program, grey for others)
// with a camera when they have video and a speaker when they have sound; 7 is the plain person,
// 9 a person who cannot be called now.
QPixmap directoryIcon(int index);

// The program's window icon.
QPixmap appIcon();

} // namespace Pictures
