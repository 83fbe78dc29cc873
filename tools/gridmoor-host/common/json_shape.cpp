#include "common/json_shape.h"

#include <map>
#include <vector>

#include <nlohmann/json.hpp>

namespace refhost {
namespace {

// One open object or array.
struct Frame {
  bool object = false;
  bool expectKey = false;                   // objects: the next string is a key
  std::size_t index = 0;                    // arrays: the element being read
  std::string key;                          // objects: the member being read
  std::map<std::string, std::size_t> keys;  // -> where the key starts
};

// The key's text as the parser will see it: escapes decoded.
std::string KeyText(const std::string& literal) {
  if (literal.find('\\') == std::string::npos) return literal.substr(1, literal.size() - 2);
  const nlohmann::json key = nlohmann::json::parse(literal, nullptr, /*allow_exceptions=*/false);
  // A key that does not decode: the parser refuses the whole text anyway.
  return key.is_string() ? key.get<std::string>() : literal;
}

// "run.timesteps", "publishedVariables[1].cell": the open frames' members.
std::string PathOf(const std::vector<Frame>& frames, const std::string& key) {
  std::string path;
  for (std::size_t i = 0; i + 1 < frames.size(); ++i) {
    if (frames[i].object) {
      if (!path.empty()) path += '.';
      path += frames[i].key;
    } else {
      path.append("[").append(std::to_string(frames[i].index)).append("]");
    }
  }
  return path.empty() ? key : path + "." + key;
}

}  // namespace

std::string TextPosition(const std::string& text, std::size_t byte) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < byte && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

JsonShape ReadJsonShape(const std::string& text) {
  JsonShape shape;
  std::vector<Frame> frames;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '[') {
      if (frames.size() == kJsonDepthLimit) {
        shape.tooDeep = "JSON nested deeper than " + std::to_string(kJsonDepthLimit) +
                        " levels at " + TextPosition(text, i);
        return shape;
      }
      Frame& frame = frames.emplace_back();
      frame.object = c == '{';
      frame.expectKey = frame.object;
    } else if (c == '}' || c == ']') {
      if (frames.empty()) return shape;
      frames.pop_back();
    } else if (c == ',') {
      if (frames.empty()) return shape;
      frames.back().expectKey = frames.back().object;
      ++frames.back().index;
    } else if (c == '"') {
      std::size_t end = i + 1;
      while (end < text.size() && text[end] != '"')
        end += text[end] == '\\' ? 2 : 1;
      if (end >= text.size()) return shape;  // unterminated
      if (!frames.empty() && frames.back().expectKey) {
        Frame& frame = frames.back();
        frame.expectKey = false;
        frame.key = KeyText(text.substr(i, end - i + 1));
        const auto [first, added] = frame.keys.emplace(frame.key, i);
        if (!added && shape.duplicate.empty())
          shape.duplicate = "the key '" + PathOf(frames, frame.key) + "' is given twice, at " +
                            TextPosition(text, first->second) + " and at " + TextPosition(text, i);
      }
      i = end;
    }
  }
  return shape;
}

}  // namespace refhost
