#include "platform/platform.h"

namespace platform {

bool graphical_front_end_available() { return true; }

}  // namespace platform
