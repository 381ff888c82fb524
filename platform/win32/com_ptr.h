// Owns one COM interface pointer: released once, when the owner goes or is
// given another pointer. Nothing outside platform/win32/ includes this.
#pragma once

#include <unknwn.h>

namespace platform {
namespace win32 {

template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(ComPtr&& other) noexcept : pointer_(other.detach()) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) reset(other.detach());
    return *this;
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For calls that hand out a new reference: releases the old one first.
  Interface** receive() {
    reset();
    return &pointer_;
  }
  void** receive_void() { return reinterpret_cast<void**>(receive()); }
  // Takes over a reference the caller already holds.
  void reset(Interface* pointer = nullptr) {
    Interface* old = pointer_;
    pointer_ = pointer;
    if (old) old->Release();
  }
  Interface* detach() {
    Interface* pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

 private:
  Interface* pointer_ = nullptr;
};

// Asks `from` for interface `iid`; empty when it is refused.
template <class Interface>
ComPtr<Interface> query(IUnknown* from, REFIID iid) {
  ComPtr<Interface> result;
  if (from) from->QueryInterface(iid, result.receive_void());
  return result;
}

}  // namespace win32
}  // namespace platform
