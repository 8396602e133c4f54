// What a TCP socket holds that a new write would wait behind, and a bound on it in the kernel.
#pragma once

#include <QtGlobal>

class QTcpSocket;

namespace SocketQueue
{

// The most a connection keeps unsent in the kernel (TCP_NOTSENT_LOWAT); beyond it, writes wait in
// the program's own buffer, where they are counted and capped.
constexpr int KernelUnsentLimit = 16 * 1024;

// Bytes a new write would queue behind: those the kernel has not sent yet, and those sent beyond
// what the path carries without queueing (its rate times its shortest round trip), which wait in
// a router's or a shaper's queue. 0 when the system cannot say.
qint64 queuedBytes(qintptr descriptor);
// What a TLS connection holds encrypted but not yet handed to the system (0 in the clear): it
// waits in front of the kernel's queue, like the program's own buffer.
qint64 encryptedBytes(const QTcpSocket *socket);
// What the socket object holds that the system has not taken: the program's own buffer and,
// over TLS, the encrypted bytes.
qint64 unsentBytes(const QTcpSocket *socket);
// Keeps the kernel from taking more than KernelUnsentLimit unsent bytes of this socket.
void limitUnsent(qintptr descriptor);

// A connection whose other end has vanished (its machine off, its network gone, no FIN ever)
// ends with an error after this long: what was sent stays unacknowledged (TCP_USER_TIMEOUT), or
// an idle connection answers no keepalive probe (after 10 s of silence, then every 5 s).
constexpr int LostAfterSeconds = 20;
void noticeLoss(qintptr descriptor);

} // namespace SocketQueue
