// Writes the seed corpora of the fuzz targets: small valid archives of
// several versions, inputs tables with every kind of column the host
// reads, and small workbook packages and OpenDocument content with every
// kind of saved value, shared and array formulas and damaged parts. Run
// from the top of the tree after a layout change:
//   build/fuzz/fuzz/make_seeds fuzz/corpus
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "archive/records/case_record.h"
#include "archive/records/model_data_file.h"
#include "archive/sample_case.h"
#include "archive/version_builder.h"
#include "common/csv.h"
#include "scenario/records.h"
#include "support/xlsx_writer.h"

namespace {

namespace fs = std::filesystem;

// Bytes (a string or a vector of bytes) into `file` of `folder`, made when missing.
template <typename Bytes>
void Write(const fs::path& folder, const std::string& file, const Bytes& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> CurrentCase(std::size_t streams) {
  archive::CaseContent content;
  if (streams > 0) archive_test::FillSampleCase(content.View(), streams);
  std::vector<std::uint8_t> bytes;
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  if (archive::TransferCase(store, content.View())) std::abort();
  return bytes;
}

// The sample case with one stream of each kind and two published variables,
// as version `v` stored it.
std::vector<std::uint8_t> OlderCase(std::uint32_t v) {
  archive::CaseContent content;
  archive_test::FillSampleCase(content.View(), 1);
  for (std::size_t i = 0; i < 2; ++i)
    content.publishedVariables.Add(archive_test::SamplePublishedVariable(i));
  return archive_test::WriteCase(content.View(), v, v);
}

// The first byte picks the case version (1 + byte % 40) for the target.
std::vector<std::uint8_t> ModelData(std::uint32_t version, std::size_t count) {
  casedata::CExcclExportedVariable variables;
  for (std::size_t i = 0; i < count; ++i)
    variables.Add(archive_test::SamplePublishedVariable(i));
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(version - 1)};
  archive::Archive store = archive::Archive::StoreGrowing(bytes);
  store.SetVersion(version);
  if (archive::TransferModelData(store, variables)) std::abort();
  return bytes;
}

// Every scalar field and eosModel for two streams, some cells left empty.
std::string ScalarInputs() {
  refhost::CsvRow header{"timestep", "stream"};
  for (const refhost::ScalarField& field : refhost::kScalarFields)
    header.push_back(field.key);
  header.push_back("eosModel");
  std::string text = refhost::CsvLine(header);
  const char* eos[] = {"PR", "SRK", "other"};
  for (int t = 0; t < 3; ++t)
    for (const char* stream : {"In-1", "In-2"}) {
      refhost::CsvRow row{std::to_string(t * 2), stream};
      for (std::size_t f = 0; f < refhost::kScalarFields.size(); ++f)
        row.push_back((f + t) % 4 == 3 ? "" : refhost::FormatNumber(100.5 * (f + 1) - 7 * t));
      row.push_back(eos[t]);
      text += refhost::CsvLine(row);
    }
  return text;
}

// Three components: mole fractions, each property and the interaction.
std::string CompositionInputs() {
  constexpr std::size_t n = 3;
  refhost::CsvRow header{"timestep", "stream"};
  for (std::size_t i = 0; i < n; ++i)
    header.push_back("moleFractions[" + std::to_string(i) + "]");
  for (const refhost::ComponentProperty& property : refhost::kComponentProperties)
    for (std::size_t i = 0; i < n; ++i)
      header.push_back(std::string(property.key) + "[" + std::to_string(i) + "]");
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j)
      header.push_back("interaction[" + std::to_string(i) + "][" + std::to_string(j) + "]");
  std::string text = refhost::CsvLine(header);
  for (int t = 0; t < 2; ++t) {
    refhost::CsvRow row{std::to_string(t), "Feed"};
    for (std::size_t c = 2; c < header.size(); ++c)
      row.push_back(refhost::FormatNumber(0.125 * static_cast<double>(c) + t));
    text += refhost::CsvLine(row);
  }
  return text;
}

using Parts = std::vector<std::pair<std::string, std::string>>;
const std::string kRelationships =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// Adds a relationship to the workbook's, a sheet to its list, or settings.
void Insert(Parts& parts, const std::string& part, const std::string& before,
            const std::string& text) {
  for (auto& [name, content] : parts)
    if (name == part) content.insert(content.find(before), text);
}

// Every kind of saved value, shared strings included, and a t="d" date.
Parts Types() {
  Parts parts = test_support::XlsxParts({{"Types",
                                          {{"A1", "", "", "5", ""},
                                           {"B1", "A1*2", "", "10", ""},
                                           {"B2", "\"a\"&\"b\"", "str", "ab", ""},
                                           {"B3", "A1>1", "b", "1", ""},
                                           {"B4", "1/0", "e", "#DIV/0!", ""},
                                           {"B5", "TODAY()", "d", "2024-01-15T06:00:00", ""},
                                           {"B6", "\"x\"", "s", "1", ""},
                                           {"B7", "NOW()", "", "", ""}}}});
  Insert(parts, "xl/_rels/workbook.xml.rels", "</Relationships>",
         "<Relationship Id=\"rId9\" Type=\"" + kRelationships +
             "/sharedStrings\" Target=\"sharedStrings.xml\"/>");
  parts.emplace_back("xl/sharedStrings.xml",
                     "<sst><si><t>x</t></si><si><r><t>y</t></r><rPh><t>z</t></rPh></si></sst>");
  return parts;
}

// A shared formula over a block with every kind of reference, and an array
// formula filling a block, on two sheets.
Parts SharedAndArrays() {
  const std::string shared = "t=\"shared\" si=\"0\"";
  return test_support::XlsxParts(
      {{"Blocks",
        {{"A1", "", "", "1", ""},
         {"C1", "$A1+A$1+SUM(A:A,1:1)+'My Sheet'!B2+Table1[Col]+LOG10(A1)&\"A1\"", "", "2",
          "t=\"shared\" ref=\"C1:D3\" si=\"0\""},
         {"D1", "", "", "3", shared},
         {"C2", "", "", "4", shared},
         {"D2", "", "", "5", shared},
         {"C3", "", "", "6", shared},
         {"D3", "", "", "7", shared},
         {"E1", "A1:A2*2", "", "2", "t=\"array\" ref=\"E1:F2\""},
         {"F1", "", "", "4", ""},
         {"E2", "", "str", "x", ""},
         {"F2", "", "", "", ""}}},
       {"My Sheet", {{"B2", "Blocks!C1*2", "", "4", ""}}}});
}

// The 1904 date system, an external link, and a sheet without its
// relationship.
Parts LinksAnd1904() {
  Parts parts = test_support::XlsxParts(
      {{"Linked",
        {{"A1", "[1]Prices!A1", "", "7", ""}, {"A2", "DATE(2024,1,15)", "d", "2024-01-15", ""}}}});
  Insert(parts, "xl/workbook.xml", "<sheets>", "<workbookPr date1904=\"1\"/>");
  Insert(parts, "xl/workbook.xml", "</sheets>",
         "<sheet name=\"Lost\" sheetId=\"9\" r:id=\"rId99\"/>");
  Insert(parts, "xl/_rels/workbook.xml.rels", "</Relationships>",
         "<Relationship Id=\"rId8\" Type=\"" + kRelationships +
             "/externalLink\" Target=\"externalLinks/externalLink1.xml\"/>");
  parts.emplace_back("xl/externalLinks/externalLink1.xml", "<externalLink/>");
  parts.emplace_back("xl/externalLinks/_rels/externalLink1.xml.rels",
                     "<Relationships><Relationship Id=\"rId1\" Type=\"" + kRelationships +
                         "/externalLinkPath\" Target=\"file:///srv/prices.xlsx\" "
                         "TargetMode=\"External\"/></Relationships>");
  return parts;
}

// As the workbook check's unit tests write it: repeats, groups, every type.
const char* const kOdfContent = R"xml(<?xml version="1.0"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0">
<office:body><office:spreadsheet>
<table:calculation-settings><table:null-date table:date-value="1904-01-01"/></table:calculation-settings>
<table:table table:name="S">
 <table:table-header-rows><table:table-row><table:table-cell office:value-type="string"><text:p>head</text:p></table:table-cell></table:table-row></table:table-header-rows>
 <table:table-row table:number-rows-repeated="2">
  <table:table-cell office:value-type="float" office:value="3"/>
  <table:table-cell table:number-columns-repeated="2" table:formula="of:=[.A1]*2" office:value-type="float" office:value="6"/>
 </table:table-row>
 <table:table-row-group><table:table-row>
  <table:table-cell table:formula="of:=&quot;x&quot;" office:value-type="string"><text:p>a<text:s text:c="2"/>b<text:tab/><text:line-break/></text:p></table:table-cell>
  <table:table-cell table:formula="of:=1=1" office:value-type="boolean" office:boolean-value="true"/>
  <table:table-cell table:formula="of:=DATE(2024;1;2)" office:value-type="date" office:date-value="2024-01-02T12:00:00.5"/>
  <table:table-cell table:formula="of:=TIME(1;2;3)" office:value-type="time" office:time-value="PT01H02M03S"/>
  <table:table-cell table:formula="of:=SQRT(-1)" office:value-type="string" office:string-value="" calcext:value-type="error"><text:p>Err:502</text:p></table:table-cell>
  <table:covered-table-cell table:formula="of:=0.5" office:value-type="percentage" office:value="0.5"/>
  <table:table-cell table:formula="of:=[.Z9]"/>
 </table:table-row></table:table-row-group>
 <table:table-row table:number-rows-repeated="1048570"><table:table-cell/></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>)xml";

void WriteWorkbookSeeds(const fs::path& root) {
  const fs::path xlsx = root / "xlsx_saved_values_fuzz";
  const fs::path zip = root / "zip_package_fuzz";
  // Stored, so that the fuzzer changes the XML itself; and one deflated.
  Write(xlsx, "types.xlsx", test_support::ZipBytes(Types()));
  Write(xlsx, "types-deflated.xlsx", test_support::ZipBytes(Types(), true));
  Write(xlsx, "shared-and-arrays.xlsx", test_support::ZipBytes(SharedAndArrays()));
  Write(xlsx, "links-1904.xlsx", test_support::ZipBytes(LinksAnd1904()));
  const Parts parts = {
      {"a.txt", "alpha"}, {"dir/b.xml", "<b/>"}, {"empty", ""}, {"line\nbreak", "x"}};
  Write(zip, "stored.zip", test_support::ZipBytes(parts));
  Write(zip, "deflated.zip", test_support::ZipBytes(parts, true));
  // Past the fuzz target's ratio limit, and past its size limit.
  Write(zip, "bomb.zip", test_support::ZipBytes({{"zeros", std::string(300000, '0')}}, true));
  Write(zip, "large.zip", test_support::ZipBytes({{"large", std::string(1100000, 'x')}}, true));
  Write(root / "odf_saved_values_fuzz", "content.xml", std::string(kOdfContent));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  const fs::path cases = root / "case_reader_fuzz", data = root / "model_data_fuzz";
  Write(cases, "v40-new.bin", CurrentCase(0));
  Write(cases, "v40-sample.bin", CurrentCase(1));
  for (const std::uint32_t version : {1u, 3u, 9u, 11u, 13u, 21u, 32u, 33u})
    Write(cases, "v" + std::to_string(version) + ".bin", OlderCase(version));
  Write(data, "v40-empty.bin", ModelData(40, 0));
  for (const std::uint32_t version : {12u, 31u, 32u, 40u})
    Write(data, "v" + std::to_string(version) + ".bin", ModelData(version, 2));
  const fs::path inputs = root / "input_csv_fuzz";
  Write(inputs, "scalars.csv", ScalarInputs());
  Write(inputs, "composition.csv", CompositionInputs());
  // As a spreadsheet saves it: byte-order mark, CRLF, quoted names.
  Write(inputs, "spreadsheet.csv",
        std::string("\xEF\xBB\xBFtimestep,stream,pressure,\"temperature\"\r\n"
                    "0,\"Well \"\"A\"\", north\",250,160\r\n3,\"Well \"\"A\"\", north\",240,\r\n"));
  WriteWorkbookSeeds(root);
  return 0;
}
