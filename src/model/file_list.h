// What a model tells the host about the files it uses (DescribeFiles): the
// main file, and per file module the applications that open it, with any
// equipment and variables the model offers. The equipment description export
// writes this structure as XML.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace model {

struct EquipmentReference {
  std::string label;
  std::string type;
};

struct VariableTag {
  std::string tag;
  std::string qualifier;
};

struct EquipmentVariable {
  std::string label;
  std::string unit;
  bool writeable = false;
  std::vector<VariableTag> tags;
};

struct EquipmentItem {
  std::string label;
  std::string type;
  std::string subtype;
  std::vector<EquipmentReference> children;
  std::vector<EquipmentReference> parents;
  std::vector<EquipmentVariable> variables;
};

// One application entry of a module.
struct ModuleApplication {
  std::string application;
  std::string alias;  // the model's label
  bool isLocal = false;
  std::string description;
  std::string share;
  std::string uniqueId;
  std::string system;
  std::string systemType;  // left out of the document when blank
  std::vector<EquipmentItem> equipment;
};

struct FileModule {
  std::string fileName;
  std::vector<ModuleApplication> data;
};

struct FileList {
  // The model's main file.
  std::string fileName;
  std::vector<FileModule> modules;
  // Passed on by the host with the request; this driver does not use them.
  std::uint8_t flag = 0;
  std::vector<std::string> texts;
};

}  // namespace model
