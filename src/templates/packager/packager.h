// TemplatePackager: the state and the operations of the template packager, the window in
// which a person makes or changes a template package (.tem): writes the six slices of each
// page template, inserts variables, writes the description, adds and removes the design's
// files, saves the package and previews every page template in the browser.
//
// The class holds everything the window shows, the text boxes included, so that every rule
// runs and is tested without a window; the window (TTemplatePackagerForm) copies what the
// person types into the boxes here, calls the operations, and shows the result. Questions
// and notices go to the Host; file dialogs and the browser to PackagerDialogs.
//
// The package is worked on as its encoded lines (`EditLines`) and written exactly in the
// package format, with the same writer as `tessavo-cli template pack`. The packager never
// touches a blog.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "templates/package.h"

namespace tessavo {

class Host;

// The file dialogs and the browser the packager asks for. The window implements them with
// its dialogs; tests script them. Filters are written "Caption|*.a;*.b|Caption|*.*".
class PackagerDialogs {
 public:
  virtual ~PackagerDialogs() = default;

  // An open dialog starting in `folder`: the chosen file's path, or "" when cancelled.
  virtual std::string ChooseFileToOpen(const std::string& folder, const std::string& filter) = 0;
  // A save dialog starting in `folder`, preset with `proposed_name` (may be empty): the
  // chosen path, or "" when cancelled. `default_extension` ("tem", or "" for none) is
  // what a name typed without extension gets.
  virtual std::string ChooseFileToSave(const std::string& folder, const std::string& proposed_name,
                                       const std::string& filter,
                                       const std::string& default_extension) = 0;
  // Opens `path` with the system's default program for it (the browser for a page).
  virtual void OpenWithDefaultProgram(const std::string& path) = 0;
};

class TemplatePackager {
 public:
  // The three pages of the window's page area.
  enum class Page { kSlices, kDescription, kFiles };

  // One entry of the list of images and files: its name and the package line it stands for.
  struct FileListEntry {
    std::string name;
    std::size_t line = 0;
  };

  // Filters of the file dialogs.
  static constexpr const char* kPackageFilter = "Template Packages|*.tem|All Files|*.*";
  static constexpr const char* kAddFileFilter =
      "Pictures|*.gif;*.jpg;*.png|Programs|*.exe;*.zip|All Files|*.*";
  static constexpr const char* kExtractFileFilter = "All Files|*.*";
  // The package name of a preview of a package that was never saved.
  static constexpr const char* kUntitledPackage = "untitled.tem";

  // `program_folder` is where the dialogs start and where the preview folder lives.
  TemplatePackager(Host& host, PackagerDialogs& dialogs, std::filesystem::path program_folder);

  // Opening the window: a new, empty package showing the default layout, unchanged.
  void Start();

  // --- The text boxes ------------------------------------------------------------------
  // What the person typed. Slice boxes 1..6 (the six tabs); the description box.
  const std::string& SliceText(int slice) const;
  void SetSliceText(int slice, std::string text);
  const std::string& DescriptionText() const { return description_box_; }
  void SetDescriptionText(std::string text) { description_box_ = std::move(text); }

  // --- What the window shows -------------------------------------------------------------
  Page CurrentPage() const { return page_; }
  // The slice tab shown (1..6).
  int SliceTab() const { return slice_tab_; }
  void SetSliceTab(int slice) { slice_tab_ = slice; }
  // `lblWhichPage`: which page template the slice editor shows.
  const std::string& WhichPage() const { return which_page_; }
  // `lblStatus`: the package's path, or "New Template Package".
  const std::string& Status() const { return status_; }
  // `lbFiles`: the names of the file records, in package order.
  const std::vector<FileListEntry>& FileList() const { return file_list_; }

  // --- State -----------------------------------------------------------------------------
  const PackageLines& EditLines() const { return edit_lines_; }
  const TemplateFields& EditFields() const { return edit_fields_; }
  int EditTemplate() const { return edit_template_; }
  const std::string& EditFileName() const { return edit_file_name_; }
  const std::string& SavedText() const { return saved_text_; }
  const std::string& CurrentText() const { return current_text_; }

  // --- Operations ------------------------------------------------------------------------
  // Stores the description box into line 0; then, when a page template is shown, the six
  // slice boxes into EditFields 1..6, and rebuilds its line (slices 7 to 9 kept).
  void CommitEdits();
  // CommitEdits, then shows page template k (1..6) in the slice boxes, decoded but without
  // the fall-back to the default layout; the first slice tab.
  void ShowTemplate(int k);
  // Takes CurrentText (every line with CR LF); true when it differs from SavedText in any
  // character, letter case included.
  bool IsChanged();
  // Empties everything and starts the ten lines of a new package; SavedText is its text.
  void NewPackage();
  // Lists every line that begins with "A" by its name.
  void RefreshFileList();

  // --- Commands --------------------------------------------------------------------------
  // The page buttons: page template k (1..6) in the slice editor; the description page;
  // the page of images and files.
  void ShowPageTemplate(int k);
  void ShowDescription();
  void ShowFiles();

  // New, Open, Save, Save As...: file bar. Save of a package that was never saved is Save
  // As. Failures to read or write are shown as errors and change nothing.
  void New();
  void Open();
  void Save();
  void SaveAs();
  // The Close button and the window's close box: true when the window may close (after
  // the person's answer to "Save Changes before closing Template Package?").
  bool Close();

  // Reset (a copy of the default layout) and Clear of page template k (2..6), each after
  // a Yes to its confirmation.
  void ResetTemplate(int k);
  void ClearTemplate(int k);

  // The Insert button of slice tab `slice` (1..6) with entry `entry` of its list selected
  // and the selection [sel_start, sel_start + sel_length) in its box. False (nothing
  // changed) when the entry inserts nothing. On success `caret` is after the insertion.
  bool Insert(int slice, int entry, std::size_t sel_start, std::size_t sel_length,
              std::size_t* caret = nullptr);

  // Images and files; `index` is the entry of the file list (-1: none selected).
  void AddFile();
  void RemoveFile(int index);
  void ExtractFile(int index);

  // Writes the preview pages into the preview folder and opens its index page.
  void Preview();
  // program folder / "HTML" / "TemplatePreview".
  std::filesystem::path PreviewFolder() const;

  // The label of page template k: "Default Template" ... "Static Template", "Error".
  static std::string WhichPageLabel(int k);
  // The confirmations of Reset and Clear of page template k (2..6).
  static std::string ResetQuestion(int k);
  static std::string ClearQuestion(int k);

 private:
  // "Save Changes before closing current Template Package?": false when the operation
  // that asks must stop.
  bool AskToSave();
  // Writes the package to `path`; false after showing the error when it cannot.
  bool WritePackage(const std::string& path);
  // The tail of New and of a failed Open: a new package shown unchanged.
  void StartNewPackage();
  void LoadDescriptionBox();
  // The preview's files; false when it stopped after telling the person why.
  bool BuildPreview();

  Host& host_;
  PackagerDialogs& dialogs_;
  std::filesystem::path program_folder_;

  PackageLines edit_lines_;
  TemplateFields edit_fields_;
  int edit_template_ = -1;
  std::string edit_file_name_;
  std::string saved_text_;
  std::string current_text_;

  std::array<std::string, 6> slice_boxes_;
  std::string description_box_;
  Page page_ = Page::kSlices;
  int slice_tab_ = 1;
  std::string which_page_;
  std::string status_;
  std::vector<FileListEntry> file_list_;
};

}  // namespace tessavo
