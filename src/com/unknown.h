// The reference-counted object base and the handle that holds one reference.
//
// An object starts with no references; the first Ptr to it adds one and the
// last one to let go deletes it. Interfaces that one object may implement
// side by side derive from Unknown virtually, so the object has one count.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "com/error.h"

namespace com {

class Unknown {
 public:
  Unknown() = default;
  Unknown(const Unknown&) = delete;
  Unknown& operator=(const Unknown&) = delete;

  // Both return the new count; Release deletes the object at 0.
  std::uint32_t AddRef() noexcept { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  std::uint32_t Release() noexcept {
    const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  // For tests and diagnostics; stale as soon as another thread acts.
  std::uint32_t RefCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

 protected:
  virtual ~Unknown() = default;

 private:
  std::atomic<std::uint32_t> refs_{0};
};

template <typename T>
class Ptr {
  static_assert(std::is_base_of_v<Unknown, T>, "Ptr holds objects derived from com::Unknown");

 public:
  Ptr() noexcept = default;
  Ptr(std::nullptr_t) noexcept {}
  // Adds a reference to `object` (when not null).
  explicit Ptr(T* object) noexcept : object_(object) { AddRefHeld(); }
  // Takes over a reference the caller already holds.
  static Ptr Adopt(T* object) noexcept {
    Ptr ptr;
    ptr.object_ = object;
    return ptr;
  }

  Ptr(const Ptr& other) noexcept : object_(other.object_) { AddRefHeld(); }
  Ptr(Ptr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ptr(const Ptr<U>& other) noexcept : object_(other.Get()) {
    AddRefHeld();
  }
  template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ptr(Ptr<U>&& other) noexcept : object_(other.Detach()) {}

  Ptr& operator=(Ptr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ptr() { Reset(); }

  // Releases the reference held, if any.
  void Reset() noexcept {
    if (T* old = std::exchange(object_, nullptr)) static_cast<Unknown*>(old)->Release();
  }
  // Hands the reference to the caller and leaves this empty.
  T* Detach() noexcept { return std::exchange(object_, nullptr); }

  T* Get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  // A call through an empty handle raises E_POINTER.
  T* operator->() const {
    if (object_ == nullptr) Throw(E_POINTER);
    return object_;
  }
  T& operator*() const { return *operator->(); }

  friend bool operator==(const Ptr& a, const Ptr& b) noexcept { return a.object_ == b.object_; }
  friend bool operator==(const Ptr& a, std::nullptr_t) noexcept { return a.object_ == nullptr; }

 private:
  void AddRefHeld() noexcept {
    if (object_ != nullptr) static_cast<Unknown*>(object_)->AddRef();
  }

  T* object_ = nullptr;
};

// A new object of type T in a Ptr.
template <typename T, typename... Args>
Ptr<T> MakeObject(Args&&... args) {
  return Ptr<T>(new T(std::forward<Args>(args)...));
}

// The same object seen as a T. Throws com::Error(E_POINTER) for an empty
// handle and com::Error(E_NOINTERFACE) when the object does not implement T.
template <typename T, typename U>
Ptr<T> QueryInterface(const Ptr<U>& source) {
  if (!source) Throw(E_POINTER);
  T* target = dynamic_cast<T*>(source.Get());
  if (target == nullptr) Throw(E_NOINTERFACE);
  return Ptr<T>(target);
}

// The same object seen as a T, or an empty handle when it is not one (or
// `source` is empty). Smart-pointer assignment across interfaces behaves so.
template <typename T, typename U>
Ptr<T> TryQueryInterface(const Ptr<U>& source) noexcept {
  return Ptr<T>(dynamic_cast<T*>(source.Get()));
}

}  // namespace com
