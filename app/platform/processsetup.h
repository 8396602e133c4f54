// What the program and the directory server set up about their process before they serve, with
// Qt Core only: every descriptor the system allows, and SIGTERM and SIGINT turned into an event
// of the Qt event loop (the handler only writes a byte to a pipe, and a notifier on the pipe's
// other end runs the shutdown in the loop, where it may do whatever the shutdown needs).
#pragma once

#include <QObject>

#include <functional>

// Every connection costs a descriptor: takes what the system allows beyond the usual 1,024.
void raiseDescriptorLimit();

// From here on, the first SIGTERM or SIGINT the process gets runs `terminate` in this thread's
// event loop; the notifier that waits for them belongs to `owner`. False when the process has no
// pipe to spare: the signals then keep their default action.
bool watchTerminationSignals(QObject *owner, std::function<void()> terminate);
