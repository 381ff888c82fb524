// Ownership of the handles that each backend opens and closes in its own way:
// moving a file hands its handle over, destruction closes it.
#include "platform/platform.h"

namespace platform {

File::~File() { close(); }

File::File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

DirListing::~DirListing() { close(); }

}  // namespace platform
