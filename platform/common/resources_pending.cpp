// Placeholder until the executable carries its pages: no resource is found.
#include "platform/platform.h"

namespace platform {
bool load_data_resource(const std::string& /*name*/, std::string& /*bytes*/) { return false; }
}  // namespace platform
