// Turns the dialogs' help text (a small subset of Markdown) into the HTML
// page the Help buttons open: "#", "##" and "###" headings (an "{#id}" at
// the end of a heading names its anchor), "- " list items, paragraphs
// separated by blank lines, `code` and **bold**. Anything else is text.
//
//   help-html <input.md> <output.html>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "xml/xml_writer.h"

namespace {

// The page is XHTML-compatible, so the document writer's escaping serves.
std::string Escape(const std::string& text) {
  return xml::EscapeText(text);
}

// `code` and **bold** inside a line of text; unmatched marks stay as typed.
std::string Inline(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '`') {
      const std::size_t end = text.find('`', i + 1);
      if (end != std::string::npos) {
        out += "<code>" + Escape(text.substr(i + 1, end - i - 1)) + "</code>";
        i = end + 1;
        continue;
      }
    }
    if (text.compare(i, 2, "**") == 0) {
      const std::size_t end = text.find("**", i + 2);
      if (end != std::string::npos) {
        out += "<strong>" + Escape(text.substr(i + 2, end - i - 2)) + "</strong>";
        i = end + 2;
        continue;
      }
    }
    out += Escape(std::string(1, text[i]));
    ++i;
  }
  return out;
}

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

class Page {
 public:
  void Line(const std::string& raw) {
    const std::string line = Trim(raw);
    if (line.empty()) {
      Close();
      return;
    }
    if (line[0] == '#') {
      Close();
      Heading(line);
      return;
    }
    if (line.rfind("- ", 0) == 0) {
      if (open_ == Open::kParagraph) Close();
      if (open_ == Open::kNone) body_ << "<ul>\n";
      if (open_ == Open::kItem) body_ << "</li>\n";
      body_ << "<li>" << Inline(line.substr(2));
      open_ = Open::kItem;
      return;
    }
    if (open_ == Open::kNone) {
      body_ << "<p>";
      open_ = Open::kParagraph;
    } else {
      body_ << "\n";
    }
    body_ << Inline(line);
  }

  std::string Html() {
    Close();
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           Escape(title_) +
           "</title>\n<style>\nbody { font-family: sans-serif; max-width: 46em; margin: 2em auto; "
           "line-height: 1.45; }\nh2 { border-bottom: 1px solid #ccc; margin-top: 2em; }\n"
           "code { background: #f2f2f2; padding: 0 .2em; }\n</style>\n</head>\n<body>\n" +
           body_.str() + "</body>\n</html>\n";
  }

 private:
  enum class Open { kNone, kParagraph, kItem };

  void Close() {
    if (open_ == Open::kParagraph) body_ << "</p>\n";
    if (open_ == Open::kItem) body_ << "</li>\n</ul>\n";
    open_ = Open::kNone;
  }

  void Heading(const std::string& line) {
    std::size_t level = 0;
    while (level < line.size() && line[level] == '#')
      ++level;
    std::string text = Trim(line.substr(level));
    std::string id;
    const std::size_t mark = text.rfind("{#");
    if (mark != std::string::npos && text.back() == '}') {
      id = text.substr(mark + 2, text.size() - mark - 3);
      text = Trim(text.substr(0, mark));
    }
    if (level == 1 && title_.empty()) title_ = text;
    level = std::min<std::size_t>(level, 3);
    body_ << "<h" << level;
    if (!id.empty()) body_ << " id=\"" << Escape(id) << "\"";
    body_ << ">" << Inline(text) << "</h" << level << ">\n";
  }

  std::ostringstream body_;
  std::string title_;
  Open open_ = Open::kNone;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: help-html <input.md> <output.html>\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::cerr << "help-html: cannot read " << argv[1] << "\n";
    return 1;
  }
  Page page;
  std::string line;
  while (std::getline(in, line))
    page.Line(line);
  std::ofstream out(argv[2], std::ios::binary);
  out << page.Html();
  if (!out) {
    std::cerr << "help-html: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
