// Apartment set-up for a thread that uses automation objects. Nothing needs
// initialising here; the scope marks where a thread enters and leaves its
// apartment so that the call sites stay in place.
#pragma once

namespace com {

class ApartmentScope {
 public:
  // User-provided, so that a scope object is not an "unused variable".
  ApartmentScope() noexcept {}
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;
  ~ApartmentScope() {}
};

}  // namespace com
