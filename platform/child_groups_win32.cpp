#include "child_groups.h"

namespace platform {

// A Windows console has no job control: nothing suspends the program, so nothing is passed on.
void registerChildGroup(long) {}

void unregisterChildGroup(long) {}

void signalChildGroups(int) {}

}  // namespace platform
