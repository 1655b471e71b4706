// A function-local object that is made on first use and never destroyed: the
// wrappers may be called from static initialisers and, on other threads or
// from static destructors, after the program's statics have gone.
#pragma once
#include <new>
#include <utility>

template <typename T>
class Immortal {
 public:
  template <typename... Args>
  explicit Immortal(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  T& Get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};
