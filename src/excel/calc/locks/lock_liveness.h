// Whether the writer of a lock entry still runs on this machine: a driver
// process, the office a driver started, or a person's own office. Read from
// /proc; no UNO here.
#pragma once

#include <filesystem>
#include <string_view>

namespace excel::calc {

// The process whose private office folder a profile URL lies in; 0 when it
// lies in no driver's folder.
long DriverOfProfileUrl(std::string_view url);

// True while an office that is no driver's runs here.
bool PersonalOfficeRunsHere();

// True while process `pid` is a driver (the driver's code is mapped in it,
// or its mappings cannot be read) or the office it started runs.
bool DriverRunsHere(long pid);

}  // namespace excel::calc
