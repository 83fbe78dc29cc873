// Case archives of any version put together byte by byte from the record
// tables, independently of the archive code: one input of each field the
// version has, with a value other than its default. The version tests read
// them back; the fuzz seed generator starts from them.
//
// BuildCase(v, layout) lays the case of version v out as version `layout`
// does: a field v does not have takes its default, and v's published
// variables are left out when the layout keeps them elsewhere. So
// BuildCase(v, 40) is what the driver writes after reading BuildCase(v).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_builder.h"

namespace archive_test {

inline constexpr char kFile[] = "C:\\Models\\Plant.xls";

inline void CompositionBlock(ByteBuilder& b, std::uint32_t v, std::uint32_t layout) {
  if (layout <= 2) return;
  b.Text(v > 2 ? "E5" : "").Text(v > 2 ? "K5" : "").U32(v > 2 ? 1 : 0);
  for (std::uint32_t k = 0; k < 20; ++k)
    b.U32(v > 2 ? k % 4 : 0);
  if (layout > 3) b.Text(v > 3 ? "D30" : "").U32(v > 3 ? 3 : 0);
  if (layout > 4) b.Text(v > 4 ? "D31" : "");
}

// Before version 10 a stream used the case's one composition, "Comp" from
// version 3.
inline std::string CompositionName(std::uint32_t v, const char* named) {
  return v >= 10 ? named : v >= 3 ? "Comp" : "";
}

inline void InputStreamRecord(ByteBuilder& b, std::uint32_t v, std::uint32_t layout, int seed) {
  b.Flag(false).Flag(true).U32(0).Text("In" + std::to_string(seed)).U32(1).U32(0);
  for (std::size_t row = 0; row < 10; ++row) {
    b.Text("B" + std::to_string(row + 3)).U32(row % 3);
    b.Text("AA" + std::to_string(row + 3)).U32(1);
  }
  CompositionBlock(b, v, layout);
  if (layout >= 10) b.Text(CompositionName(v, "Gas"));
}

inline void OutputStreamRecord(ByteBuilder& b, std::uint32_t v, std::uint32_t layout) {
  b.Text("Out").U32(1);
  for (std::size_t row = 0; row < 8; ++row)
    b.Text("G" + std::to_string(row + 9)).U32(row % 2);
  CompositionBlock(b, v, layout);
  if (layout >= 10) b.Text(CompositionName(v, "Oil"));
}

// One item's cell reference on the sheet "Opt".
inline void Reference(ByteBuilder& b, const char* cell, const char* name, const char* unit) {
  b.Text("Opt").Text(cell).Text(name).Text(unit);
}

inline std::vector<std::uint8_t> BuildCase(std::uint32_t v, std::uint32_t layout = 0) {
  if (layout == 0) layout = v;
  // Each macro and its date flag, in the record's order, from its version.
  const struct {
    std::uint32_t first;
    const char* name;
    bool passDate;
  } macros[] = {{1, "EndStep", true},   {12, "Pre", false},    {12, "Post", true},
                {15, "RunStart", true}, {15, "RunEnd", false}, {15, "StepStart", true},
                {20, "Post2", true}};
  ByteBuilder b;
  b.Signature().U32(layout).Text(kFile).U32(2).U32(1);
  for (const auto& macro : macros) {
    if (layout >= macro.first)
      b.Text(v >= macro.first ? macro.name : "").Flag(v >= macro.first && macro.passDate);
  }
  b.U32(2);
  InputStreamRecord(b, v, layout, 1);
  InputStreamRecord(b, v, layout, 2);
  b.U32(1);
  OutputStreamRecord(b, v, layout);
  if (layout > 1) {
    if (v > 1) {
      b.Flag(true).Flag(false).Text("Obj").Text("B1").Text("Profit").Text("$");
      b.U32(1).U32(2).Double(150.5);
      Reference(b, "B2", "Pmax", "psig");
    } else {
      b.Flag(false).Flag(true).Text("").Text("").Text("").Text("").U32(0);
    }
  }
  if (layout > 2) b.Flag(v > 2);
  const bool legacy = v >= 3 && v < 10;
  if (layout >= 10) {
    if (v >= 10) b.U32(2).Text("Gas").U32(2).Text("C1").Text("C2").Text("Oil").U32(1).Text("C7+");
    if (legacy) b.U32(1).Text("Comp").U32(3).Text("N2").Text("CO2").Text("C1");
    if (v < 3) b.U32(0);
  } else if (layout >= 3) {
    b.U32(3).Text("N2").Text("CO2").Text("C1");
  }
  if (layout > 5) {
    b.U32(v > 5 ? 1 : 0);
    if (v > 5) b.Double(1.5).Double(9.5);
    if (v > 5) Reference(b, "B3", "Rate", "");
  }
  if (layout > 20) {
    b.U32(v > 20 ? 1 : 0);
    if (v > 20) b.I32(3);
    for (int k = 0; v > 20 && k < (layout < 33 ? 10 : 20); ++k) {
      if (k < 3) {
        b.Text("S" + std::to_string(k)).Text("V" + std::to_string(k));
      } else if (k == 12 && v >= 33) {
        b.Text("Twelve").Text("12");  // only stored from version 33
      } else {
        b.Text("").Text("");
      }
    }
    if (v > 20) Reference(b, "B4", "Route", "");
  }
  if (layout >= 11 && layout <= 30) {
    b.U32(1).Text("Pub").Text("m3").Text("Data").Text("C7");
    if (layout > 12) b.Text(v > 12 ? "C20" : "").U32(v > 12 ? 1 : 0);
  }
  if (layout > 13) b.Flag(v > 13);
  return b.bytes();
}

}  // namespace archive_test
