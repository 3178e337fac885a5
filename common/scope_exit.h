// Runs a cleanup at scope end unless dismissed: the undo-on-failure idiom.
#pragma once

#include <exception>
#include <utility>

namespace common {

template <typename F>
class [[nodiscard]] ScopeExitGuard {
 public:
  explicit ScopeExitGuard(F f) : f_(std::move(f)) {}
  ScopeExitGuard(ScopeExitGuard&& other) noexcept
      : f_(std::move(other.f_)), active_(std::exchange(other.active_, false)) {}
  ScopeExitGuard(const ScopeExitGuard&) = delete;
  ScopeExitGuard& operator=(const ScopeExitGuard&) = delete;
  ScopeExitGuard& operator=(ScopeExitGuard&&) = delete;
  ~ScopeExitGuard() { Reset(); }

  /// Runs the cleanup now (once).
  void Reset() noexcept {
    if (std::exchange(active_, false)) {
      // A cleanup that throws cannot be reported from a destructor.
      try {
        f_();
      } catch (...) {
        std::terminate();
      }
    }
  }
  /// Dismisses the cleanup.
  void Release() noexcept { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

template <typename F>
[[nodiscard]] ScopeExitGuard<F> ScopeExit(F f) {
  return ScopeExitGuard<F>(std::move(f));
}

/// A move-only owner of a handle, like std::unique_ptr for handles that
/// are not pointers. Traits gives the handle type, its invalid value and its
/// close function:
///   struct FdTraits {
///     using Type = int;
///     static Type Invalid() { return -1; }
///     static void Close(Type fd) { ::close(fd); }
///   };
template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) : value_(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Type get() const noexcept { return value_; }
  explicit operator bool() const noexcept {
    return value_ != Traits::Invalid();
  }
  Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  Type value_ = Traits::Invalid();
};

}  // namespace common
