// Case archives of any version put together byte by byte from the record
// tables, independently of the archive code: one input of each field the
// version has, with a value other than its default. The version tests read
// them back; the fuzz seed generator starts from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_builder.h"

namespace archive_test {

inline constexpr char kFile[] = "C:\\Models\\Plant.xls";

inline std::string InputCell(std::size_t row) {
  return "B" + std::to_string(row + 3);
}
inline std::string ForecastCell(std::size_t row) {
  return "AA" + std::to_string(row + 3);
}
inline std::string OutputCell(std::size_t row) {
  return "G" + std::to_string(row + 9);
}

inline void CompositionBlock(ByteBuilder& b, std::uint32_t v) {
  if (v <= 2) return;
  b.Text("E5").Text("K5").U32(1);
  for (std::uint32_t k = 0; k < 20; ++k)
    b.U32(k % 4);
  if (v > 3) b.Text("D30").U32(3);
  if (v > 4) b.Text("D31");
}

inline void InputStreamRecord(ByteBuilder& b, std::uint32_t v, int seed) {
  b.Flag(false).Flag(true).U32(0).Text("In" + std::to_string(seed)).U32(1).U32(0);
  for (std::size_t row = 0; row < 10; ++row)
    b.Text(InputCell(row)).U32(row % 3).Text(ForecastCell(row)).U32(1);
  CompositionBlock(b, v);
  if (v >= 10) b.Text("Gas");
}

inline void OutputStreamRecord(ByteBuilder& b, std::uint32_t v) {
  b.Text("Out").U32(1);
  for (std::size_t row = 0; row < 8; ++row)
    b.Text(OutputCell(row)).U32(row % 2);
  CompositionBlock(b, v);
  if (v >= 10) b.Text("Oil");
}

inline std::vector<std::uint8_t> BuildCase(std::uint32_t v) {
  ByteBuilder b;
  b.Signature().U32(v).Text(kFile).U32(2).U32(1);
  b.Text("EndStep").Flag(true);
  if (v > 11) b.Text("Pre").Flag(false).Text("Post").Flag(true);
  if (v > 14) b.Text("RunStart").Flag(true).Text("RunEnd").Flag(false).Text("StepStart").Flag(true);
  if (v >= 20) b.Text("Post2").Flag(true);
  b.U32(2);
  InputStreamRecord(b, v, 1);
  InputStreamRecord(b, v, 2);
  b.U32(1);
  OutputStreamRecord(b, v);
  if (v > 1) {
    b.Flag(true).Flag(false).Text("Obj").Text("B1").Text("Profit").Text("$");
    b.U32(1).U32(2).Double(150.5).Text("Opt").Text("B2").Text("Pmax").Text("psig");
  }
  if (v > 2) b.Flag(true);
  if (v >= 10) {
    b.U32(2).Text("Gas").U32(2).Text("C1").Text("C2").Text("Oil").U32(1).Text("C7+");
  } else if (v >= 3) {
    b.U32(3).Text("N2").Text("CO2").Text("C1");
  }
  if (v > 5) b.U32(1).Double(1.5).Double(9.5).Text("Opt").Text("B3").Text("Rate").Text("");
  if (v > 20) {
    b.U32(1).I32(3);
    const int pairs = v < 33 ? 10 : 20;
    for (int k = 0; k < pairs; ++k) {
      if (k < 3) {
        b.Text("S" + std::to_string(k)).Text("V" + std::to_string(k));
      } else if (k == 12) {
        b.Text("Twelve").Text("12");  // only stored from version 33
      } else {
        b.Text("").Text("");
      }
    }
    b.Text("Opt").Text("B4").Text("Route").Text("");
  }
  if (v >= 11 && v <= 30) {
    b.U32(1).Text("Pub").Text("m3").Text("Data").Text("C7");
    if (v > 12) b.Text("C20").U32(1);
  }
  if (v > 13) b.Flag(true);
  return b.bytes();
}

}  // namespace archive_test
