#include "support/xlsx_writer.h"

#include <zlib.h>

#include <fstream>
#include <map>
#include <stdexcept>
#include <string_view>

#include "xml/xml_writer.h"

namespace test_support {
namespace {

// Little-endian fields: the size of each in bytes, then their values.
void Put(std::string& out, std::string_view sizes, std::initializer_list<std::uint32_t> values) {
  const std::uint32_t* value = values.begin();
  for (const char size : sizes) {
    for (int i = 0; i < size - '0'; ++i)
      out += static_cast<char>((*value >> (8 * i)) & 0xFF);
    ++value;
  }
}

// Raw deflate data, as zip writes it.
std::string Deflated(const std::string& content, int level) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::string out(deflateBound(&stream, static_cast<uLong>(content.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
  stream.avail_in = static_cast<uInt>(content.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (status != Z_STREAM_END) throw std::runtime_error("deflate failed");
  return out;
}

}  // namespace

std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& parts, bool deflated,
                     int level) {
  std::string out;
  std::string directory;
  for (const auto& [name, content] : parts) {
    const auto crc = static_cast<std::uint32_t>(crc32(
        0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    const auto offset = static_cast<std::uint32_t>(out.size());
    const auto size = static_cast<std::uint32_t>(content.size());
    const std::string packed = deflated ? Deflated(content, level) : content;
    const auto packedSize = static_cast<std::uint32_t>(packed.size());
    const std::uint32_t method = deflated ? 8 : 0;
    const auto nameSize = static_cast<std::uint32_t>(name.size());
    // Version 2.0, no flags, no time; no extra, comment, disk or attributes.
    Put(out, "4222444422", {0x04034b50, 20, 0, method, 0, crc, packedSize, size, nameSize, 0});
    out += name + packed;
    Put(directory, "4222244442222244",
        {0x02014b50, 20, 20, 0, method, 0, crc, packedSize, size, nameSize, 0, 0, 0, 0, 0, offset});
    directory += name;
  }
  const auto directoryOffset = static_cast<std::uint32_t>(out.size());
  out += directory;
  const auto count = static_cast<std::uint32_t>(parts.size());
  Put(out, "42222442",
      {0x06054b50, 0, 0, count, count, static_cast<std::uint32_t>(directory.size()),
       directoryOffset, 0});
  return out;
}

std::string SheetXml(const XlsxSheet& sheet) {
  // Cells grouped into rows by the digits of their references.
  std::map<int, std::string> rows;
  for (const XlsxCell& cell : sheet.cells) {
    const std::size_t digits = cell.ref.find_first_of("0123456789");
    const int row = std::stoi(cell.ref.substr(digits));
    std::string xml = "<c r=\"" + cell.ref + "\"";
    if (!cell.type.empty()) xml += " t=\"" + cell.type + "\"";
    xml += ">";
    if (!cell.formula.empty() || !cell.extra.empty())
      xml += "<f" + (cell.extra.empty() ? "" : " " + cell.extra) + ">" +
             xml::EscapeText(cell.formula) + "</f>";
    if (!cell.value.empty()) xml += "<v>" + xml::EscapeText(cell.value) + "</v>";
    rows[row] += xml + "</c>";
  }
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
  for (const auto& [row, cells] : rows)
    xml += "<row r=\"" + std::to_string(row) + "\">" + cells + "</row>";
  return xml + "</sheetData></worksheet>";
}

std::vector<std::pair<std::string, std::string>> XlsxParts(const std::vector<XlsxSheet>& sheets) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/"
      ">";
  std::string book = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"" + main +
                     "\" xmlns:r=\"" + rel + "\"><sheets>";
  std::string bookRels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::vector<std::pair<std::string, std::string>> parts;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    types += "<Override PartName=\"/xl/worksheets/sheet" + n +
             ".xml\" ContentType=\"application/"
             "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    book += "<sheet name=\"" + xml::EscapeText(sheets[i].name) + "\" sheetId=\"" + n +
            "\" r:id=\"rId" + n + "\"/>";
    bookRels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel +
                "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts.emplace_back("xl/worksheets/sheet" + n + ".xml", SheetXml(sheets[i]));
  }
  types += "</Types>";
  book += "</sheets></workbook>";
  bookRels += "</Relationships>";
  const std::string rootRels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
      "Id=\"rId1\" Type=\"" +
      rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
  parts.insert(parts.begin(), {{"[Content_Types].xml", types},
                               {"_rels/.rels", rootRels},
                               {"xl/workbook.xml", book},
                               {"xl/_rels/workbook.xml.rels", bookRels}});
  return parts;
}

std::string XlsxBytes(const std::vector<XlsxSheet>& sheets) {
  return ZipBytes(XlsxParts(sheets));
}

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out.flush()) throw std::runtime_error("could not write " + file.string());
}

namespace {

constexpr const char* kRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string TableXml(const XlsxTable& table, std::size_t id) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<table "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" id=\"" +
      std::to_string(id) + "\" name=\"" + xml::EscapeText(table.name) + "\" displayName=\"" +
      xml::EscapeText(table.name) + "\" ref=\"" + table.ref + "\" totalsRowCount=\"" +
      std::to_string(table.totalsRows) + "\"><tableColumns count=\"" +
      std::to_string(table.columns.size()) + "\">";
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    xml += "<tableColumn id=\"" + std::to_string(i + 1) + "\" name=\"" +
           xml::EscapeText(table.columns[i]) + "\"/>";
  return xml + "</tableColumns></table>";
}

std::string& PartNamed(std::vector<std::pair<std::string, std::string>>& parts,
                       const std::string& name) {
  for (auto& [partName, content] : parts)
    if (partName == name) return content;
  throw std::invalid_argument("the package has no part " + name);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> WithTables(
    std::vector<std::pair<std::string, std::string>> parts, const std::vector<XlsxTable>& tables) {
  std::map<std::size_t, std::pair<std::string, std::string>> bySheet;  // rels, <tablePart>s
  std::string types;
  std::vector<std::pair<std::string, std::string>> added;
  for (std::size_t t = 0; t < tables.size(); ++t) {
    const std::string n = std::to_string(t + 1);
    types += "<Override PartName=\"/xl/tables/table" + n +
             ".xml\" ContentType=\"application/"
             "vnd.openxmlformats-officedocument.spreadsheetml.table+xml\"/>";
    auto& [rels, elements] = bySheet[tables[t].sheet];
    rels += "<Relationship Id=\"rIdT" + n + "\" Type=\"" + kRelationships +
            "/table\" Target=\"../tables/table" + n + ".xml\"/>";
    elements +=
        "<tablePart xmlns:r=\"" + std::string(kRelationships) + "\" r:id=\"rIdT" + n + "\"/>";
    added.emplace_back("xl/tables/table" + n + ".xml", TableXml(tables[t], t + 1));
  }
  std::string& contentTypes = PartNamed(parts, "[Content_Types].xml");
  contentTypes.insert(contentTypes.rfind("</Types>"), types);
  for (const auto& [sheet, relsAndElements] : bySheet) {
    const std::string part = "xl/worksheets/sheet" + std::to_string(sheet + 1) + ".xml";
    std::string& sheetXml = PartNamed(parts, part);
    sheetXml.insert(sheetXml.rfind("</worksheet>"),
                    "<tableParts>" + relsAndElements.second + "</tableParts>");
    added.emplace_back("xl/worksheets/_rels/sheet" + std::to_string(sheet + 1) + ".xml.rels",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                           relsAndElements.first + "</Relationships>");
  }
  parts.insert(parts.end(), added.begin(), added.end());
  return parts;
}

}  // namespace test_support
