#include "scenario/records.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace refhost {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

// 1899-12-30, day 0 of OLE dates, counted from 1970-01-01.
constexpr long kOleEpoch = -25569;

std::size_t ComponentLimit(std::size_t count) {
  return std::min<std::size_t>(count, EXT_IPR_MAX_COMPONENTS);
}

}  // namespace

void Record::PastTheEnd(std::size_t offset, std::size_t width) const {
  std::fprintf(stderr, "gridmoor-host: host record access past its end (%zu bytes at %zu of %zu)\n",
               width, offset, bytes_.size());
  std::fflush(stderr);
  std::abort();
}

void Record::PutText(std::size_t offset, std::size_t size, const std::string& text) {
  Check(offset, size);
  if (size == 0) return;
  std::memset(bytes_.data() + offset, 0, size);
  std::memcpy(bytes_.data() + offset, text.data(), std::min(text.size(), size - 1));
}

std::string Record::GetText(std::size_t offset, std::size_t size) const {
  Check(offset, size);
  const auto* begin = reinterpret_cast<const char*>(bytes_.data() + offset);
  std::size_t length = 0;
  while (length < size && begin[length] != '\0')
    ++length;
  return std::string(begin, length);
}

Record NewIprRecord(std::uint32_t handle) {
  Record record(EXT_IPR_RECORD_SIZE);
  record.Put<std::uint32_t>(EXT_IPR_SIZE_OFFSET, EXT_IPR_RECORD_SIZE);
  record.Put<std::uint32_t>(EXT_IPR_HANDLE_OFFSET, handle);
  // What the library does not fill stays the host's missing-value marker.
  for (const ScalarField& field : kScalarFields)
    record.Put(field.offset, kUndefined);
  return record;
}

Record EncodeIpr(std::uint32_t handle, const StreamState& state, std::size_t componentCount) {
  Record record = NewIprRecord(handle);
  for (std::size_t i = 0; i < kScalarFields.size(); ++i)
    record.Put(kScalarFields[i].offset, state.scalars[i]);
  record.Put<std::uint32_t>(EXT_IPR_EOS_MODEL_OFFSET, state.eosModel);
  const std::size_t n = ComponentLimit(componentCount);
  record.Put<std::uint32_t>(EXT_IPR_COMPONENT_COUNT_OFFSET, static_cast<std::uint32_t>(n));
  record.Put<std::uint32_t>(EXT_IPR_COMPOSITION_PRESENT_OFFSET, state.compositionPresent ? 1 : 0);
  for (std::size_t i = 0; i < n && i < state.moleFractions.size(); ++i)
    record.Put(EXT_IPR_MOLE_FRACTION_OFFSET + 8 * i, state.moleFractions[i]);
  for (std::size_t p = 0; p < kComponentProperties.size(); ++p) {
    const std::vector<double>& values = state.properties[p];
    for (std::size_t i = 0; i < n && i < values.size(); ++i)
      record.Put(kComponentProperties[p].offset + 8 * i, values[i]);
  }
  if (!state.interaction.empty()) {
    for (std::size_t i = 0; i < n && i < state.interaction.size(); ++i)
      for (std::size_t j = 0; j < n && j < state.interaction[i].size(); ++j)
        record.Put(EXT_IPR_INTERACTION_OFFSET + EXT_IPR_INTERACTION_ROW_SIZE * i + 8 * j,
                   state.interaction[i][j]);
  }
  record.Put<std::uint32_t>(EXT_IPR_COMPONENT_FLAGS_OFFSET, ComponentFlags(state));
  return record;
}

std::uint32_t ComponentFlags(const StreamState& state) {
  std::uint32_t flags = 0;
  for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
    if (!state.properties[p].empty()) flags |= kComponentProperties[p].bit;
  if (!state.interaction.empty()) flags |= EXT_IPR_HAS_INTERACTION;
  return flags;
}

StreamState SentInput(const StreamState& given) {
  StreamState sent = given;
  sent.componentFlags = ComponentFlags(given);
  return sent;
}

StreamState DecodeIpr(const Record& record) {
  StreamState state;
  for (std::size_t i = 0; i < kScalarFields.size(); ++i)
    state.scalars[i] = record.Get<double>(kScalarFields[i].offset);
  state.eosModel = record.Get<std::uint32_t>(EXT_IPR_EOS_MODEL_OFFSET);
  state.compositionPresent = record.Get<std::uint32_t>(EXT_IPR_COMPOSITION_PRESENT_OFFSET) != 0;
  if (!state.compositionPresent) return state;
  const std::size_t n = ComponentLimit(record.Get<std::uint32_t>(EXT_IPR_COMPONENT_COUNT_OFFSET));
  state.componentFlags = record.Get<std::uint32_t>(EXT_IPR_COMPONENT_FLAGS_OFFSET);
  state.moleFractions.resize(n);
  for (std::size_t i = 0; i < n; ++i)
    state.moleFractions[i] = record.Get<double>(EXT_IPR_MOLE_FRACTION_OFFSET + 8 * i);
  for (std::size_t p = 0; p < kComponentProperties.size(); ++p) {
    if ((state.componentFlags & kComponentProperties[p].bit) == 0) continue;
    std::vector<double>& values = state.properties[p];
    values.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      values[i] = record.Get<double>(kComponentProperties[p].offset + 8 * i);
  }
  if ((state.componentFlags & EXT_IPR_HAS_INTERACTION) != 0) {
    state.interaction.assign(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        state.interaction[i][j] = record.Get<double>(EXT_IPR_INTERACTION_OFFSET +
                                                     EXT_IPR_INTERACTION_ROW_SIZE * i + 8 * j);
  }
  return state;
}

ProblemInfo DecodeProblem(const Record& r) {
  ProblemInfo problem;
  problem.objectiveDefined = r.Get<std::uint8_t>(EXT_OPT_PROBLEM_OBJ_DEFINED_OFFSET) != 0;
  if (problem.objectiveDefined) {
    problem.objectiveName =
        r.GetText(EXT_OPT_PROBLEM_OBJ_NAME_OFFSET, EXT_OPT_PROBLEM_OBJ_NAME_SIZE);
    problem.objectiveUnit =
        r.GetText(EXT_OPT_PROBLEM_OBJ_UNIT_OFFSET, EXT_OPT_PROBLEM_OBJ_UNIT_SIZE);
    problem.maximise = r.Get<std::uint8_t>(EXT_OPT_PROBLEM_OBJ_MAXIMISE_OFFSET) != 0;
  }
  const auto count = [&r](std::size_t offset) {
    const std::int32_t n = r.Get<std::int32_t>(offset);
    return static_cast<std::size_t>(std::clamp<std::int32_t>(n, 0, EXT_OPT_PROBLEM_MAX_ITEMS));
  };
  for (std::size_t i = 0, n = count(EXT_OPT_PROBLEM_CONTROL_COUNT_OFFSET); i < n; ++i) {
    const std::size_t at = EXT_OPT_PROBLEM_CONTROLS_OFFSET + EXT_OPT_CONTROL_ENTRY_SIZE * i;
    ControlInfo c;
    c.name = r.GetText(at + EXT_OPT_CONTROL_NAME_OFFSET, EXT_OPT_CONTROL_NAME_SIZE);
    c.unit = r.GetText(at + EXT_OPT_CONTROL_UNIT_OFFSET, EXT_OPT_CONTROL_UNIT_SIZE);
    c.lower.present = r.Get<std::uint8_t>(at + EXT_OPT_CONTROL_HAS_LOWER_OFFSET) != 0;
    c.lower.value = r.Get<double>(at + EXT_OPT_CONTROL_LOWER_OFFSET);
    c.upper.present = r.Get<std::uint8_t>(at + EXT_OPT_CONTROL_HAS_UPPER_OFFSET) != 0;
    c.upper.value = r.Get<double>(at + EXT_OPT_CONTROL_UPPER_OFFSET);
    c.handle = r.Get<std::int32_t>(at + EXT_OPT_CONTROL_HANDLE_OFFSET);
    problem.controls.push_back(std::move(c));
  }
  for (std::size_t i = 0, n = count(EXT_OPT_PROBLEM_CONSTRAINT_COUNT_OFFSET); i < n; ++i) {
    const std::size_t at = EXT_OPT_PROBLEM_CONSTRAINTS_OFFSET + EXT_OPT_CONSTRAINT_ENTRY_SIZE * i;
    ConstraintInfo c;
    c.name = r.GetText(at + EXT_OPT_CONSTRAINT_NAME_OFFSET, EXT_OPT_CONSTRAINT_NAME_SIZE);
    c.unit = r.GetText(at + EXT_OPT_CONSTRAINT_UNIT_OFFSET, EXT_OPT_CONSTRAINT_UNIT_SIZE);
    c.limit = r.Get<double>(at + EXT_OPT_CONSTRAINT_LIMIT_OFFSET);
    const std::int32_t type = r.Get<std::int32_t>(at + EXT_OPT_CONSTRAINT_TYPE_OFFSET);
    c.type = type == EXT_CONSTRAINT_LESS      ? ConstraintType::kLess
             : type == EXT_CONSTRAINT_GREATER ? ConstraintType::kGreater
                                              : ConstraintType::kEqual;
    c.handle = r.Get<std::int32_t>(at + EXT_OPT_CONSTRAINT_HANDLE_OFFSET);
    problem.constraints.push_back(std::move(c));
  }
  for (std::size_t i = 0, n = count(EXT_OPT_PROBLEM_INT_CONTROL_COUNT_OFFSET); i < n; ++i) {
    const std::size_t at = EXT_OPT_PROBLEM_INT_CONTROLS_OFFSET + EXT_OPT_INT_CONTROL_ENTRY_SIZE * i;
    IntControlInfo c;
    c.name = r.GetText(at + EXT_OPT_INT_CONTROL_NAME_OFFSET, EXT_OPT_INT_CONTROL_NAME_SIZE);
    c.handle = r.Get<std::int32_t>(at + EXT_OPT_INT_CONTROL_HANDLE_OFFSET);
    const std::int32_t states =
        std::clamp<std::int32_t>(r.Get<std::int32_t>(at + EXT_OPT_INT_CONTROL_STATE_COUNT_OFFSET),
                                 0, EXT_OPT_INT_CONTROL_MAX_STATES);
    for (std::int32_t k = 0; k < states; ++k)
      c.labels.push_back(r.GetText(at + EXT_OPT_INT_CONTROL_LABELS_OFFSET +
                                       EXT_OPT_INT_CONTROL_LABEL_SIZE * static_cast<std::size_t>(k),
                                   EXT_OPT_INT_CONTROL_LABEL_SIZE));
    problem.intControls.push_back(std::move(c));
  }
  return problem;
}

bool ParseIsoDate(const std::string& text, double& oleDate) {
  int y = 0;
  unsigned m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%4d-%2u-%2u%c", &y, &m, &d, &tail) != 3) return false;
  if (text.size() != 10 || m < 1 || m > 12 || d < 1) return false;
  static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] || (m == 2 && d == 29 && !leap)) return false;
  oleDate = static_cast<double>(DaysFromCivil(y, m, d) - kOleEpoch);
  return true;
}

std::string FormatIsoDate(double oleDate) {
  long y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(static_cast<long>(std::floor(oleDate)) + kOleEpoch, y, m, d);
  char text[32];
  std::snprintf(text, sizeof text, "%04ld-%02u-%02u", y, m, d);
  return text;
}

}  // namespace refhost
