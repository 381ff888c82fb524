// One lock for every read-modify-write of a profile file in this process, so
// that two threads never lose each other's writes.
#pragma once

#include <mutex>

namespace platform {
namespace posix {

std::mutex& profile_mutex();

}  // namespace posix
}  // namespace platform
