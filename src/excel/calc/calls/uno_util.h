// Helpers between UNO and the driver's automation types. Only the calc
// sources include this.
#pragma once

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <rtl/ustring.hxx>

#include <exception>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "com/error.h"
#include "com/variants/variant.h"

namespace css = ::com::sun::star;

namespace excel::calc {

rtl::OUString ToOUString(std::u16string_view text);
rtl::OUString Utf8ToOUString(std::string_view utf8);
std::u16string ToU16(const rtl::OUString& text);
std::string ToUtf8(const rtl::OUString& text);
rtl::OUString BstrToOUString(const com::Bstr& text);

// A property list for loading and storing.
css::uno::Sequence<css::beans::PropertyValue> Properties(
    std::initializer_list<std::pair<const char*, css::uno::Any>> entries);

// A macro argument as Basic receives it; arrays become nested sequences.
// Throws com::Error(DISP_E_TYPEMISMATCH) for what Basic cannot take.
css::uno::Any VariantToAny(const com::VARIANT& value);
// The elements of a sequence of any element type; nullopt for a value that
// is no sequence.
std::optional<std::vector<css::uno::Any>> SequenceItems(const css::uno::Any& value);

// A macro's result; objects and other values no VARIANT holds become
// VT_EMPTY.
com::Variant AnyToVariant(const css::uno::Any& value);

// The office's own words for a caught failure (cppu::getCaughtException):
// the exception's message, else that of the exception it wraps; empty when
// it gave none.
std::string ReasonOf(const css::uno::Any& failure);

// Inside a catch: the text of the exception being handled, a UNO
// exception's reason (ReasonOf) or a standard exception's what(); empty for
// any other type, which carries none.
std::string CaughtReason();

// Turns every failure of `body` into a com::Error: a com::Error passes, a
// disposed object or a dead office is RPC_E_DISCONNECTED, any other UNO
// exception is `refused` (the application's own refusal of the request)
// with the office's reason as its text, running out of memory
// E_OUTOFMEMORY, anything else E_FAIL. No UNO exception gets past it.
// `disconnected`, asked after every UNO exception, tells whether the office
// is gone (and may remember it).
template <typename Disconnected, typename Body>
auto Guarded(Disconnected&& disconnected, com::HRESULT refused, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const com::Error&) {
    throw;
  } catch (const css::lang::DisposedException&) {
    // A closed document's objects say the same as a broken bridge: asked
    // so that a dead office is known from here on.
    static_cast<void>(disconnected());
    com::Throw(com::RPC_E_DISCONNECTED);
  } catch (const css::uno::Exception&) {
    const css::uno::Any failure = cppu::getCaughtException();
    if (disconnected()) com::Throw(com::RPC_E_DISCONNECTED);
    com::Throw(refused, ReasonOf(failure));
  } catch (const std::bad_alloc&) {
    com::Throw(com::E_OUTOFMEMORY);
  } catch (...) {
    com::Throw(com::E_FAIL, CaughtReason());
  }
}

// The same for calls whose failure is ignored (closing, ending the office).
template <typename Body>
void IgnoringFailures(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    // The caller goes on the same whatever failed: the text has no reader.
  }
}

}  // namespace excel::calc
