// What a catch-all handler can still say of what it caught, so that no
// reason is dropped: an exception outside std::exception has no message,
// but its type names it.
#pragma once

#include <string>

namespace refhost {

// "an exception of type com::sun::star::uno::RuntimeException" for the
// exception being handled; "an exception of an unknown type" when its type
// cannot be told. Call it only inside a catch block.
std::string CaughtExceptionText();

}  // namespace refhost
