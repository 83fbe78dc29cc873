#include "driver/equipment_xml.h"

#include <string>
#include <vector>

#include "driver/instances.h"
#include "host/host_record.h"
#include "xml/equipment.h"

namespace driver {
namespace {

std::vector<std::string> CopyTexts(const ExtStringList* texts) {
  std::vector<std::string> copy;
  if (texts == nullptr || texts->items == nullptr) return copy;
  copy.reserve(texts->count);
  for (std::size_t i = 0; i < texts->count; ++i) {
    const ExtString& item = texts->items[i];
    copy.emplace_back(item.text != nullptr ? std::string(item.text, item.length) : std::string());
  }
  return copy;
}

}  // namespace

std::int32_t WriteEquipmentXml(ExtInstance instance, const ExtString* outputPath, std::uint8_t flag,
                               const ExtStringList* texts) {
  const std::vector<std::string> textCopy = CopyTexts(texts);
  xml::EquipmentDescription description;
  if (DescribeInstanceFiles(instance, description, flag, textCopy) != 0) return 1;
  if (outputPath == nullptr) return 1;
  const std::string path = host::ReadHostText(outputPath->text);
  xml::CXMLDocument document;
  xml::BuildModelDocument(description, document);
  return document.Save(path) == xml::SaveResult::kSaved ? 0 : 1;
}

}  // namespace driver
