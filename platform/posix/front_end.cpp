#include "platform/platform.h"

namespace platform {

// No embedded browser on Linux yet: the console is the front end.
bool graphical_front_end_available() { return false; }

}  // namespace platform
