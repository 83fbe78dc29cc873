#include "com/error.h"

#include "com/error_text.h"

namespace com {

Error::Error(HRESULT hr) : std::runtime_error(ComErrorText(hr)), hr_(hr) {}

void Throw(HRESULT hr) {
  throw Error(hr);
}

HRESULT ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr)) Throw(hr);
  return hr;
}

}  // namespace com
