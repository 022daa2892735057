#include "templates/packager/packager.h"

#include <optional>
#include <system_error>

#include "generator/page_output.h"
#include "templates/packager/insert_list.h"
#include "templates/packager/preview.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/host.h"
#include "util/text.h"

namespace tessavo {
namespace fs = std::filesystem;

namespace {

constexpr const char* kNewPackageStatus = "New Template Package";

// The names of page templates 2 to 6 in the questions of Reset and Clear.
constexpr std::array<const char*, 5> kResetNames = {"Home Page", "Archive Index", "Archive Entry",
                                                    "Article", "Static"};
constexpr std::array<const char*, 5> kClearNames = {"Home Page", "Archive Index", "Archive Entries",
                                                    "Article", "Static"};

bool IsResettable(int k) { return k >= kTemplateHomePage && k <= kTemplateStaticPages; }

std::string Digit(int k) { return std::string(1, static_cast<char>('0' + k)); }

std::string TrimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace

TemplatePackager::TemplatePackager(Host& host, PackagerDialogs& dialogs, fs::path program_folder)
    : host_(host), dialogs_(dialogs), program_folder_(std::move(program_folder)) {}

void TemplatePackager::Start() { StartNewPackage(); }

const std::string& TemplatePackager::SliceText(int slice) const {
  return slice_boxes_.at(static_cast<std::size_t>(slice - 1));
}

void TemplatePackager::SetSliceText(int slice, std::string text) {
  slice_boxes_.at(static_cast<std::size_t>(slice - 1)) = std::move(text);
}

std::string TemplatePackager::WhichPageLabel(int k) {
  switch (k) {
    case 1:
      return "Default Template";
    case 2:
      return "Index Template";
    case 3:
      return "Section Index Template";
    case 4:
      return "Section Entry Template";
    case 5:
      return "Article Template";
    case 6:
      return "Static Template";
    default:
      return "Error";
  }
}

std::string TemplatePackager::ResetQuestion(int k) {
  if (!IsResettable(k)) return {};
  return std::string("Reset ") + kResetNames[static_cast<std::size_t>(k - 2)] +
         " template to Default template?";
}

std::string TemplatePackager::ClearQuestion(int k) {
  if (!IsResettable(k)) return {};
  return std::string("Clear ") + kClearNames[static_cast<std::size_t>(k - 2)] + " template?";
}

// --- Operations ----------------------------------------------------------------------------

void TemplatePackager::CommitEdits() {
  if (edit_lines_.empty()) edit_lines_.emplace_back();
  edit_lines_[0] = BuildDescriptionRecord(description_box_);
  if (edit_template_ >= 0 && edit_template_ <= 9 &&
      static_cast<std::size_t>(edit_template_) < edit_lines_.size()) {
    for (std::size_t i = 1; i <= slice_boxes_.size(); ++i) edit_fields_[i] = slice_boxes_[i - 1];
    edit_lines_[static_cast<std::size_t>(edit_template_)] = BuildTemplateRecord(edit_fields_);
  }
}

void TemplatePackager::ShowTemplate(int k) {
  CommitEdits();
  edit_template_ = k;
  std::string_view line;
  if (k >= 0 && static_cast<std::size_t>(k) < edit_lines_.size()) {
    line = edit_lines_[static_cast<std::size_t>(k)];
  }
  edit_fields_ = SplitTemplateRecord(line);
  for (std::size_t i = 1; i <= slice_boxes_.size(); ++i) slice_boxes_[i - 1] = edit_fields_[i];
  which_page_ = WhichPageLabel(k);
  slice_tab_ = 1;
}

bool TemplatePackager::IsChanged() {
  current_text_ = JoinPackageLines(edit_lines_);
  return current_text_ != saved_text_;
}

void TemplatePackager::NewPackage() {
  edit_lines_.clear();
  edit_fields_ = TemplateFields();
  for (std::string& box : slice_boxes_) box.clear();
  description_box_.clear();
  file_list_.clear();
  edit_file_name_.clear();
  edit_template_ = -1;
  edit_lines_ = NewPackageLines();
  page_ = Page::kSlices;
  status_ = kNewPackageStatus;
  LoadDescriptionBox();
  RefreshFileList();
  saved_text_ = JoinPackageLines(edit_lines_);
}

void TemplatePackager::RefreshFileList() {
  file_list_.clear();
  for (std::size_t i = 0; i < edit_lines_.size(); ++i) {
    const std::string& line = edit_lines_[i];
    if (line.empty() || line[0] != 'A') continue;
    std::string name = line.size() > 2 ? line.substr(2, 300) : std::string();
    name = name.substr(0, name.find(kFieldSeparator));
    file_list_.push_back({std::move(name), i});
  }
}

void TemplatePackager::LoadDescriptionBox() { description_box_ = ReadDescription(edit_lines_); }

void TemplatePackager::StartNewPackage() {
  NewPackage();
  ShowTemplate(kTemplateDefaultLayout);
  CommitEdits();
  IsChanged();
  saved_text_ = current_text_;
}

// --- Page buttons --------------------------------------------------------------------------

void TemplatePackager::ShowPageTemplate(int k) {
  page_ = Page::kSlices;
  ShowTemplate(k);
}

void TemplatePackager::ShowDescription() {
  CommitEdits();
  page_ = Page::kDescription;
}

void TemplatePackager::ShowFiles() {
  CommitEdits();
  page_ = Page::kFiles;
}

// --- File bar ------------------------------------------------------------------------------

bool TemplatePackager::AskToSave() {
  CommitEdits();
  edit_template_ = -1;
  if (!IsChanged()) return true;
  switch (host_.ConfirmYesNoCancel("Save Changes before closing current Template Package?")) {
    case YesNoCancel::kCancel:
      return false;
    case YesNoCancel::kNo:
      return true;
    case YesNoCancel::kYes:
      Save();
      return !IsChanged();
  }
  return false;
}

void TemplatePackager::New() {
  // A stopped operation goes on showing the template it showed, and what is typed into it
  // is kept as before.
  const int shown = edit_template_;
  if (!AskToSave()) {
    edit_template_ = shown;
    return;
  }
  StartNewPackage();
}

void TemplatePackager::Open() {
  const int shown = edit_template_;
  if (!AskToSave()) {
    edit_template_ = shown;
    return;
  }
  const std::string path = dialogs_.ChooseFileToOpen(program_folder_.string(), kPackageFilter);
  if (!path.empty()) {
    std::string text;
    try {
      text = ReadWholeFile(path);
    } catch (const std::exception& e) {
      edit_template_ = shown;
      host_.ShowError(e.what());
      return;
    }
    edit_lines_ = SplitPackageLines(text);
    edit_file_name_ = path;
  }
  const int damage = FindPackageDamage(edit_lines_);
  if (damage != 0) {
    if (damage < 0) {
      host_.ShowInformation("Error. Template Package " + edit_file_name_ +
                            " is damaged and can not be edited. Sorry");
    } else {
      host_.ShowInformation("Error. Template Package " + edit_file_name_ +
                            " is damaged at record " + std::to_string(damage) +
                            " and can not be edited. Sorry");
    }
    StartNewPackage();
    return;
  }
  LoadDescriptionBox();
  RefreshFileList();
  IsChanged();
  saved_text_ = current_text_;
  page_ = Page::kSlices;
  edit_template_ = -1;
  ShowTemplate(kTemplateDefaultLayout);
  status_ = edit_file_name_.empty() ? kNewPackageStatus : edit_file_name_;
}

bool TemplatePackager::WritePackage(const std::string& path) {
  try {
    WriteFileAtomic(path, JoinPackageLines(edit_lines_));
  } catch (const std::exception& e) {
    host_.ShowError(e.what());
    return false;
  }
  return true;
}

void TemplatePackager::Save() {
  // A package without a file name has only Save As.
  if (edit_file_name_.empty()) {
    SaveAs();
    return;
  }
  CommitEdits();
  if (!IsChanged()) return;
  if (WritePackage(edit_file_name_)) saved_text_ = current_text_;
}

void TemplatePackager::SaveAs() {
  CommitEdits();
  const std::string proposed =
      edit_file_name_.empty() ? std::string() : fs::path(edit_file_name_).filename().string();
  std::string path =
      dialogs_.ChooseFileToSave(program_folder_.string(), proposed, kPackageFilter, "tem");
  if (path.empty()) return;
  if (fs::path(path).extension().empty()) path += ".tem";
  IsChanged();
  // The package counts as saved, and under the new name, only once it is written.
  if (!WritePackage(path)) return;
  saved_text_ = current_text_;
  edit_file_name_ = path;
  status_ = path;
}

bool TemplatePackager::Close() {
  CommitEdits();
  if (!IsChanged()) return true;
  switch (host_.ConfirmYesNoCancel("Save Changes before closing Template Package?")) {
    case YesNoCancel::kCancel:
      return false;
    case YesNoCancel::kNo:
      return true;
    case YesNoCancel::kYes:
      Save();
      return !IsChanged();
  }
  return false;
}

// --- Reset and clear -----------------------------------------------------------------------

void TemplatePackager::ResetTemplate(int k) {
  if (!IsResettable(k)) return;
  if (host_.ConfirmYesNoCancel(ResetQuestion(k)) != YesNoCancel::kYes) return;
  CommitEdits();
  edit_template_ = -1;
  std::string copy = edit_lines_.size() > 1 ? edit_lines_[1] : std::string();
  if (copy.empty()) {
    copy = Digit(k);
  } else {
    copy[0] = static_cast<char>('0' + k);
  }
  edit_lines_[static_cast<std::size_t>(k)] = std::move(copy);
  ShowTemplate(k);
}

void TemplatePackager::ClearTemplate(int k) {
  if (!IsResettable(k)) return;
  if (host_.ConfirmYesNoCancel(ClearQuestion(k)) != YesNoCancel::kYes) return;
  CommitEdits();
  edit_template_ = -1;
  edit_lines_[static_cast<std::size_t>(k)] = Digit(k) + kFieldSeparator;
  ShowTemplate(k);
}

// --- Insert --------------------------------------------------------------------------------

bool TemplatePackager::Insert(int slice, int entry, std::size_t sel_start, std::size_t sel_length,
                              std::size_t* caret) {
  if (slice < 1 || slice > 6) return false;
  const std::vector<std::string>& list = InsertListEntries(slice);
  if (entry < 0 || static_cast<std::size_t>(entry) >= list.size()) return false;
  return InsertIntoText(slice_boxes_[static_cast<std::size_t>(slice - 1)], sel_start, sel_length,
                        list[static_cast<std::size_t>(entry)], caret);
}

// --- Images and files ----------------------------------------------------------------------

void TemplatePackager::AddFile() {
  const std::string path = dialogs_.ChooseFileToOpen(program_folder_.string(), kAddFileFilter);
  if (path.empty()) return;
  std::string bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const std::exception& e) {
    host_.ShowError(e.what());
    return;
  }
  const std::string name = TrimBlanks(fs::path(path).filename().string());
  // A line break or a field separator in the name would break the package's lines.
  if (name.empty() || HasControlCharacter(name)) {
    host_.ShowError("\"" + ShowControlCharacters(name) +
                    "\" cannot be added: a file name in a template package holds no control "
                    "characters.");
    return;
  }
  edit_lines_.push_back(BuildFileRecord(name, bytes));
  RefreshFileList();
}

void TemplatePackager::RemoveFile(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= file_list_.size()) return;
  const std::size_t line = file_list_[static_cast<std::size_t>(index)].line;
  if (line < edit_lines_.size()) edit_lines_.erase(edit_lines_.begin() + static_cast<long>(line));
  file_list_.erase(file_list_.begin() + index);
  RefreshFileList();
}

void TemplatePackager::ExtractFile(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= file_list_.size()) return;
  // The line the entry stands for, so that a stray line among the file records cannot
  // make it extract its neighbour.
  const std::size_t line = file_list_[static_cast<std::size_t>(index)].line;
  if (line >= edit_lines_.size()) return;
  std::optional<PackageFileRecord> record = ReadFileRecord(edit_lines_[line]);
  if (!record) return;
  const std::string proposed = fs::path(record->name).filename().string();
  const std::string path = dialogs_.ChooseFileToSave(program_folder_.string(), proposed,
                                                     kExtractFileFilter, std::string());
  if (path.empty()) return;
  DecodeHexToFile(record->hex, path);  // a failure is not reported
}

// --- Preview -------------------------------------------------------------------------------

fs::path TemplatePackager::PreviewFolder() const {
  return program_folder_ / "HTML" / "TemplatePreview";
}

void TemplatePackager::Preview() {
  CommitEdits();
  host_.ShowStatus();
  host_.SetStatus("Building Preview Pages");
  bool built = false;
  try {
    built = BuildPreview();
  } catch (const std::exception& e) {
    host_.CloseStatus();
    host_.ShowError(e.what());
    return;
  }
  if (!built) {
    host_.CloseStatus();
    return;
  }
  host_.SetStatus("Building Preview Pages - complete");
  host_.CloseStatus();
  const fs::path index = PreviewFolder() / "index.html";
  std::error_code ec;
  if (fs::is_regular_file(index, ec)) {
    dialogs_.OpenWithDefaultProgram(index.string());
  } else {
    host_.ShowInformation("Error: Index File is missing. Preview failed.\n\n" + index.string());
  }
}

bool TemplatePackager::BuildPreview() {
  const fs::path folder = PreviewFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) throw Error("Cannot create " + (folder / "").string());

  const std::string package_name = edit_file_name_.empty()
                                       ? std::string(kUntitledPackage)
                                       : fs::path(edit_file_name_).filename().string();
  const fs::path copy = folder / package_name;
  WriteFileAtomic(copy, JoinPackageLines(edit_lines_));
  PackageLines lines;
  if (!ValidatePackage(copy.string(), host_, lines)) return false;  // it told the person
  const PageTemplates templates = LoadPageTemplates(lines);

  for (const PackageFileRecord& record : FileRecords(edit_lines_)) {
    host_.SetStatus("Extracting " + record.name);
    if (std::string refused = UnwritableNameLine(record.name); !refused.empty()) {
      host_.ShowInformation(refused);
      continue;
    }
    std::string bytes;
    if (!DecodeHexToBytes(record.hex, bytes)) continue;  // as the generator, without a file
    WriteFileAtomic(folder / record.name, bytes);
  }

  const PreviewSamples samples = MakePreviewSamples();
  for (int n = 1; n <= kPageTemplateCount; ++n) {
    const std::string article = std::to_string(n) + "article.html";
    host_.SetStatus("Building " + article);
    WriteFileAtomic(folder / article, BuildPreviewArticlePage(templates, n, samples));
    const std::string entries = std::to_string(n) + "entries.html";
    host_.SetStatus("Building " + entries);
    WriteFileAtomic(folder / entries, BuildPreviewEntriesPage(templates, n, samples));
  }
  WriteFileAtomic(folder / "index.html", BuildPreviewIndexPage(package_name));
  return true;
}

}  // namespace tessavo
