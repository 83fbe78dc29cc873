// The base of elements kept in the driver's keyed collections: a collection
// finds an element by the text its Key gives.
#pragma once

#include <string>

namespace casedata {

class CExtCollectionObject {
 public:
  virtual ~CExtCollectionObject() = default;

  // The text by which collections find the object; empty unless a derived
  // class has a name.
  virtual std::string Key() const { return {}; }

 protected:
  CExtCollectionObject() = default;
  CExtCollectionObject(const CExtCollectionObject&) = default;
  CExtCollectionObject& operator=(const CExtCollectionObject&) = default;
};

}  // namespace casedata
