#include "common/exception_text.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace refhost {

std::string CaughtExceptionText() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) return "an exception of an unknown type";
  int status = 0;
  const std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
  return std::string("an exception of type ") +
         (status == 0 && name != nullptr ? name.get() : type->name());
}

}  // namespace refhost
