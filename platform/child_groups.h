#pragma once

// The process groups of the converters that are running, so that a signal meant for the whole
// program (a stop from the terminal, and the continue after it) can be passed on to them:
// each converter runs in a group of its own and would not get it otherwise.

namespace platform {

// Records a running child's process group. Without room (more groups than any batch runs at
// once) the group is not recorded and simply not passed signals.
void registerChildGroup(long group);

// Forgets a group; called before its leader is reaped, so that no signal can reach a group id
// the system has given to another process.
void unregisterChildGroup(long group);

// Sends the signal to every recorded group. Async-signal-safe: for use in a signal handler.
// Does nothing on Windows, where a console stop does not suspend processes.
void signalChildGroups(int signal);

}  // namespace platform
