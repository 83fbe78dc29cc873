// What the help viewer is given to open: the help page at a topic's anchor.
#pragma once

#include <filesystem>
#include <string>

namespace driver {

// An HTML help file (".html" or ".htm") becomes the file:// address of its
// topic's anchor ("file:///opt/lib/Conflux.html#topic-1021"), so that the
// desktop's browser opens the page at that topic; any other file (a help file
// the settings name) is given as its path.
std::string HelpTarget(const std::filesystem::path& file, int context);

}  // namespace driver
