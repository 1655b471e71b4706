// Owners for Windows handles, keys and allocations: each releases its resource once.
#pragma once
#include <windows.h>

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

struct HandleTraits {  // kernel handles whose failure value is null
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits : HandleTraits {  // handles whose failure value is INVALID_HANDLE_VALUE
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type k) { return k != nullptr; }
  static void Close(Type k) { RegCloseKey(k); }
};
struct GlobalTraits {
  using Type = HGLOBAL;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type g) { return g != nullptr; }
  static void Close(Type g) { GlobalFree(g); }
};
struct SidTraits {
  using Type = PSID;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type s) { return s != nullptr; }
  static void Close(Type s) { FreeSid(s); }
};
struct IconTraits {
  using Type = HICON;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type i) { return i != nullptr; }
  static void Close(Type i) { DestroyIcon(i); }
};
struct LocalTraits {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type l) { return l != nullptr; }
  static void Close(Type l) { LocalFree(l); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;  // also toolhelp snapshots
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueGlobal = UniqueResource<GlobalTraits>;
using UniqueSid = UniqueResource<SidTraits>;
using UniqueIcon = UniqueResource<IconTraits>;
using UniqueLocal = UniqueResource<LocalTraits>;

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
