// The driver's owning, typed pointer array: clearing or destroying a
// collection deletes its elements, and copying one copies every element.
//
// Elements are deleted and copied through functions captured when they are
// added, so a collection can be declared, moved, copied and destroyed where
// its element type is only forward-declared; only Add needs the complete
// type.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace casedata {

template <typename T>
class CExtCollection {
 public:
  CExtCollection() = default;
  CExtCollection(const CExtCollection& other) { CopyFrom(other); }
  CExtCollection(CExtCollection&&) noexcept = default;
  CExtCollection& operator=(const CExtCollection& other) {
    if (this != &other) {
      CExtCollection copy(other);
      *this = std::move(copy);
    }
    return *this;
  }
  CExtCollection& operator=(CExtCollection&&) noexcept = default;
  ~CExtCollection() = default;

  // Takes ownership of `element` (null is ignored) and returns it.
  template <typename U>
  T* Add(std::unique_ptr<U> element) {
    static_assert(std::is_base_of_v<T, U> || std::is_same_v<T, U>);
    if (!element) return nullptr;
    T* raw = element.release();
    items_.emplace_back(raw, &Delete<U>);
    clones_.push_back(&Clone<U>);
    return raw;
  }

  // Deletes the element at `index` (nothing when out of range); the later
  // elements move up one place.
  void RemoveAt(std::size_t index) {
    if (index >= items_.size()) return;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    clones_.erase(clones_.begin() + static_cast<std::ptrdiff_t>(index));
  }

  // Deletes every element.
  void Clear() {
    items_.clear();
    clones_.clear();
  }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  // Null when out of range.
  T* At(std::size_t index) const { return index < items_.size() ? items_[index].get() : nullptr; }

 private:
  using Deleter = void (*)(T*);
  using Cloner = T* (*)(const T&);
  using Owned = std::unique_ptr<T, Deleter>;

  template <typename U>
  static void Delete(T* element) {
    delete static_cast<U*>(element);
  }
  template <typename U>
  static T* Clone(const T& element) {
    return new U(static_cast<const U&>(element));
  }

  void CopyFrom(const CExtCollection& other) {
    items_.reserve(other.items_.size());
    clones_.reserve(other.clones_.size());
    for (std::size_t i = 0; i < other.items_.size(); ++i) {
      // The copy is owned (and so deleted) the way the original is.
      Owned copy(other.clones_[i](*other.items_[i]), other.items_[i].get_deleter());
      items_.push_back(std::move(copy));
      clones_.push_back(other.clones_[i]);
    }
  }

  std::vector<Owned> items_;
  std::vector<Cloner> clones_;
};

}  // namespace casedata
