// Ownership of the handles that each backend opens and closes in its own way:
// moving hands the handle over, destruction closes it.
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

DirListing::DirListing(DirListing&& other) noexcept : state_(other.state_) {
  other.state_ = nullptr;
}

DirListing& DirListing::operator=(DirListing&& other) noexcept {
  if (this != &other) {
    close();
    state_ = other.state_;
    other.state_ = nullptr;
  }
  return *this;
}

}  // namespace platform
