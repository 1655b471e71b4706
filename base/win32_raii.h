// Owners for Windows handles, keys and allocations: each releases its resource once.
#pragma once
#include <windows.h>
#include <objbase.h>  // CoTaskMemFree

#include <utility>

template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;
  UniqueResource() = default;
  explicit UniqueResource(Type value) : value_(value) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const { return value_; }
  bool Valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return Valid(); }
  Type Release() { return std::exchange(value_, Traits::Invalid()); }
  void Reset(Type value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }
  // For APIs that return the resource through an out-parameter.
  Type* Receive() {
    Reset();
    return &value_;
  }

 private:
  Type value_ = Traits::Invalid();
};

// Resources whose failure value is null, released by one Windows call.
template <typename T, auto CloseFunction>
struct NullTraits {
  using Type = T;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type value) { return value != nullptr; }
  static void Close(Type value) { CloseFunction(value); }
};

struct HandleTraits : NullTraits<HANDLE, &CloseHandle> {  // kernel handles; never the pseudo "invalid" value
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
};
struct FileHandleTraits : HandleTraits {  // handles whose failure value is INVALID_HANDLE_VALUE
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;  // also toolhelp snapshots
using UniqueRegKey = UniqueResource<NullTraits<HKEY, &RegCloseKey>>;
using UniqueGlobal = UniqueResource<NullTraits<HGLOBAL, &GlobalFree>>;
using UniqueSid = UniqueResource<NullTraits<PSID, &FreeSid>>;
using UniqueIcon = UniqueResource<NullTraits<HICON, &DestroyIcon>>;
using UniqueLocal = UniqueResource<NullTraits<HLOCAL, &LocalFree>>;
using UniqueServiceHandle = UniqueResource<NullTraits<SC_HANDLE, &CloseServiceHandle>>;  // manager and services
using UniqueModule = UniqueResource<NullTraits<HMODULE, &FreeLibrary>>;
using UniqueTaskText = UniqueResource<NullTraits<PWSTR, &CoTaskMemFree>>;  // texts the shell allocates

// Locks a movable global block for as long as it lives.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
  ~GlobalLockGuard() {
    if (data_ != nullptr) GlobalUnlock(block_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
  void* Data() const { return data_; }

 private:
  HGLOBAL block_;
  void* data_;
};
