// Template packages (.tem): one text file that carries a whole site design.
//
// A package is a sequence of lines (records). Lines 0 to 9 have fixed roles: line 0 is the
// description, lines 1 to 6 are the six page templates, lines 7 to 9 are reserved. Every
// line from 10 on is a file record (an image, style sheet or other design file, stored as
// hexadecimal text). Inside a record the byte 0x01 separates fields, and line breaks of the
// HTML are stored as 0x03 (CR) and 0x02 (LF). Text is single-byte and copied, never
// converted.
//
// The package is kept exactly as stored: `PackageLines` holds the encoded lines, and the
// functions below read the parts out of them (decoding) or rebuild one line (encoding).
// So reading a package and writing it back gives the same bytes.
//
// Page templates are handed to the variable engine as `PageTemplates`: six templates of
// ten decoded fields each (index 0 the type digit, 1 to 9 the slices).
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessavo {

class Host;

// The encoded lines of a package, without their line ends.
using PackageLines = std::vector<std::string>;

inline constexpr char kFieldSeparator = '\x01';
inline constexpr char kEncodedLf = '\x02';
inline constexpr char kEncodedCr = '\x03';

// Lines 0 to 9 are fixed; every line from this index on is a file record.
inline constexpr std::size_t kFixedRecordCount = 10;
inline constexpr int kPageTemplateCount = 6;
// Fields of a decoded page template: the type digit and slices 1 to 9.
inline constexpr int kTemplateFieldCount = 10;
// A page template record shorter than this (as stored) is replaced by the default layout.
inline constexpr std::size_t kMinTemplateRecordLength = 50;

// Page templates (1-based numbers).
enum PageTemplateNo : int {
  kTemplateDefaultLayout = 1,
  kTemplateHomePage = 2,
  kTemplateArchiveIndex = 3,
  kTemplateArchiveEntries = 4,
  kTemplateArticlePages = 5,
  kTemplateStaticPages = 6,
};

// Slices of a page template (1-based; 7 to 9 are reserved and always empty in practice).
// A page of one entry is slices 1, 2, 6; a list page is 1, 3, 4 per entry, 5, 6.
enum SliceNo : int {
  kSliceStartOfPage = 1,
  kSliceArticle = 2,
  kSliceBeforeEntries = 3,
  kSliceEachEntry = 4,
  kSliceAfterEntries = 5,
  kSliceEndOfPage = 6,
};

// One page template, decoded: [0] the type digit, [1]..[9] slices 1 to 9.
using TemplateFields = std::array<std::string, kTemplateFieldCount>;

// The six page templates of the package in use, ready for the variable engine.
struct PageTemplates {
  std::array<TemplateFields, kPageTemplateCount> templates;

  // Slice `slice` (1..9) of page template `template_no` (1..6).
  // REQUIRES: 1 <= template_no <= 6, 0 <= slice <= 9.
  const std::string& Slice(int template_no, int slice) const {
    return templates[static_cast<std::size_t>(template_no - 1)][static_cast<std::size_t>(slice)];
  }
  TemplateFields& Template(int template_no) {
    return templates[static_cast<std::size_t>(template_no - 1)];
  }
  const TemplateFields& Template(int template_no) const {
    return templates[static_cast<std::size_t>(template_no - 1)];
  }
};

// A usable file record: its name and its hexadecimal text (not yet decoded).
struct PackageFileRecord {
  std::string name;
  std::string hex;
  std::size_t line = 0;  // index of the record in PackageLines
};

// --- Lines ---------------------------------------------------------------------------------

// Splits package text into lines. CR LF, a lone CR and a lone LF each end a line; a NUL
// byte ends the readable text. A final line without line end counts; the text after the
// last line end does not make an empty extra line.
PackageLines SplitPackageLines(std::string_view text);

// The package text as the packager writes it: every line followed by CR LF.
std::string JoinPackageLines(const PackageLines& lines);

// The lines of a new, empty package: "0" 0x01, "1" 0x01, ... "9" 0x01.
PackageLines NewPackageLines();

// --- Checking ------------------------------------------------------------------------------

// 0 when the package's fixed records are in place; -1 when it has fewer than ten lines
// (damaged as a whole); otherwise n (1..10) when line n-1 is the first that does not begin
// with its digit ("damaged at record n"). Lines from 10 on are not examined.
int FindPackageDamage(const PackageLines& lines);

// --- Text encoding -------------------------------------------------------------------------

// CR -> 0x03 and LF -> 0x02.
std::string EncodeLineBreaks(std::string_view text);
// 0x03 -> CR and 0x02 -> LF.
std::string DecodeLineBreaks(std::string_view text);

// --- Description (line 0) ------------------------------------------------------------------

// The description: line 0 from its third character on, decoded. Empty when there is none.
std::string ReadDescription(const PackageLines& lines);
// "0" 0x01 + the encoded description.
std::string BuildDescriptionRecord(std::string_view description);

// --- Page templates (lines 1 to 6) ---------------------------------------------------------

// Decodes one template record and splits it at 0x01: every 0x01 ends a field, the text
// after the last one is dropped, and empty fields are added up to ten. Fields beyond ten
// are dropped. No fall-back to the default layout here.
TemplateFields SplitTemplateRecord(std::string_view record);

// The record for `fields`: field 0, 0x01, fields 1 to 9 each followed by 0x01, with every
// LF then replaced by 0x02 and every CR by 0x03.
std::string BuildTemplateRecord(const TemplateFields& fields);

// Page template k (1..6) as the generator reads it: line k, or line 1 (the default layout)
// when line k is shorter than 50 characters as stored; then decoded and split.
// REQUIRES: lines.size() > k (a checked package has ten lines).
TemplateFields ReadPageTemplate(const PackageLines& lines, int k);

// All six page templates by ReadPageTemplate. Missing lines read as empty templates.
PageTemplates LoadPageTemplates(const PackageLines& lines);

// --- File records (lines 10 and on) --------------------------------------------------------

// The record's name and hexadecimal text when it is usable: it begins with "A" and is
// longer than 10 characters. A record without closing separators reads as name and data
// running to the end of the line.
std::optional<PackageFileRecord> ReadFileRecord(std::string_view line);

// Every usable file record from line 10 on, in order.
std::vector<PackageFileRecord> FileRecords(const PackageLines& lines);

// "A" 0x01 name 0x01 HEX 0x01, with two upper-case digits per byte.
std::string BuildFileRecord(std::string_view name, std::string_view bytes);

// Upper-case hexadecimal text of `bytes`.
std::string EncodeHex(std::string_view bytes);

// Decodes hexadecimal text (upper or lower case) two characters at a time. Returns false,
// leaving `out` empty, when a pair is not a hexadecimal number or a single digit is left
// over at the end (a truncated record).
bool DecodeHexToBytes(std::string_view hex, std::string& out);

// Decodes `hex` and writes the bytes as the complete new content of `path` (atomically).
// False when the text does not decode or the file cannot be written.
bool DecodeHexToFile(std::string_view hex, const std::filesystem::path& path);

// --- Reading packages ----------------------------------------------------------------------

// Reads the package at `path` into `lines` and checks its fixed records. On failure tells
// the host in a message box (ShowInformation):
//   "Error. I can not find the [" path "] Template Package. Sorry"
//   "Error. Template Package [" path "] is damaged and can not be used. Sorry"
//   "Error. Template Package [" path "] is damaged at record " n " and can not be used. Sorry"
// and returns false; `lines` then keeps whatever was read.
bool ValidatePackage(const std::string& path, Host& host, PackageLines& lines);

// The built-in default package, exactly as stored in the program.
std::string_view BuiltInPackageText();
PackageLines BuiltInPackageLines();

// A package loaded for a generation run.
struct LoadedPackage {
  enum class Source { kTemplateFile, kDefaultFile, kBuiltIn };
  PackageLines lines;
  PageTemplates templates;
  Source source = Source::kBuiltIn;
  std::string path;  // the file read; empty for the built-in package
};

// The loading steps of a generation run, up to (not including) extracting the files:
//   "Loading Template Package..."; the package named by `template_file` (the "Template File"
//   option) in `program_folder`; on failure the red line "Error opening template package: "
//   + template_file and "@default.tem" in the program folder; on failure too the red lines
//   "Error opening default template package: @default.tem" and "Loading internal copy of
//   default template package instead." and the built-in package; then the page templates
//   and "Loading Template Package complete...". Never fails.
LoadedPackage LoadTemplatePackage(Host& host, const std::filesystem::path& program_folder,
                                  const std::string& template_file);

// The name of the default package file in the program folder.
inline constexpr const char* kDefaultPackageName = "@default.tem";

// Puts the built-in package into `program_folder` as "@default.tem", as an installation
// does, when no file of that name is there (a package that is there, changed or not, is
// left alone). True when the file was written. Throws Error when it cannot be written.
bool InstallDefaultPackage(const std::filesystem::path& program_folder);

}  // namespace tessavo
