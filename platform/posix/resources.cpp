// The program's resources of type "DATA" (the wizard's pages). There is no
// resource section here: the build compiles the resources that the resource
// script names into the program (resources/embed.cmake).
#include <cstddef>
#include <cstring>
#include <string>

#include "core/ascii.h"
#include "platform/platform.h"

namespace platform {
namespace posix {

// Defined by the generated source, one entry per resource.
extern const size_t kEmbeddedCount;
extern const char* const kEmbeddedNames[];
extern const unsigned char* const kEmbeddedBytes[];
extern const size_t kEmbeddedSizes[];

}  // namespace posix

bool load_data_resource(const std::string& name, std::string& bytes) {
  for (size_t i = 0; i < posix::kEmbeddedCount; ++i) {
    // Names match without regard to case, as Windows finds them.
    const char* candidate = posix::kEmbeddedNames[i];
    if (!equal_ignoring_case(name.data(), name.size(), candidate, std::strlen(candidate))) continue;
    bytes.assign(reinterpret_cast<const char*>(posix::kEmbeddedBytes[i]), posix::kEmbeddedSizes[i]);
    return true;
  }
  return false;
}

}  // namespace platform
