#pragma once
// Owners for COM's apartment and interface pointers (Windows build only).

#include "os/windows_api.h"

namespace ovix {

// COM for the calling thread, apartment-threaded, as the shell objects want it.
class ComApartment {
 public:
  ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (ok_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// Owns one reference to a COM interface.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* operator->() const { return pointer_; }
  // For the calls that hand out a new reference; the holder must be empty.
  void** out() { return reinterpret_cast<void**>(&pointer_); }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace ovix
