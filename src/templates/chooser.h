// The template chooser's list: the template packages in the program folder, each with its
// description, from which a blog's "Template File" (option 301) is chosen, and the import of
// packages from elsewhere into the program folder ("Add New Templates").
//
// The list is kept sorted by name without regard to letter case. Every entry carries the
// number of its description slot (1, 2, ... in the order the packages were found or
// imported), so sorting never separates a name from its description. Descriptions are kept
// for the first 499 packages only: a package found or imported as the 500th or later is
// listed without one.
//
// The window (templates/ui/template_form.h) shows this list; everything it tells a person
// goes through the Host.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessavo {

class Host;

class TemplateChooser {
 public:
  static constexpr int kDescriptionSlots = 500;

  struct Item {
    std::string name;  // the file name in the program folder
    int slot = 0;      // its description slot

    bool operator==(const Item&) const = default;
  };

  // Empties the list, then lists every "*.tem" file of `folder` that is a file (or a link
  // to one) and not hidden, in the order the folder gives them, reporting in the host's
  // status window: "Looking for Templates...", "Found " + name per package, "Complete...".
  // A package's description is its first line from the third character on, with 0x03 as
  // CR and 0x02 as LF; a package that cannot be read is listed without one.
  void Scan(const std::filesystem::path& folder, Host& host);

  // The listed packages, sorted.
  const std::vector<Item>& items() const { return items_; }
  // Packages found or imported so far (the last slot number given).
  int counter() const { return counter_; }
  // The description kept in `slot`; empty for a slot without one.
  std::string Description(int slot) const;
  // The position in items() of the first entry named `name` without regard to letter case,
  // or -1.
  int Find(const std::string& name) const;

  // Add New Templates, for the package file `file` that the person chose:
  //   - a file in `folder` itself is refused with "You have selected a template that is
  //     already in the Tessavo Directory. Please choose again.";
  //   - a package of fewer than ten lines with "Error. Template Package " + file + " is
  //     damaged and can not be used. Sorry", one whose line n (0..9) does not begin with
  //     the digit n with "Error. Template Package " + file + " is damaged at record " + (n+1)
  //     + " and can not be used. Sorry";
  //   - otherwise its lines are written into `folder` under the file's name with the
  //     extension ".tem" (an existing file of that name is replaced) and the name is listed
  //     with the next slot and, within the first 499, the package's description.
  // Returns the position of the new entry in items(), or -1 when the file was refused (the
  // host was told why; nothing was written). Throws Error when the file cannot be read or
  // the copy cannot be written.
  int Import(const std::filesystem::path& file, const std::filesystem::path& folder, Host& host);

 private:
  // Lists `name` with the next slot; keeps `description` when the slot is below 500.
  int Add(const std::string& name, const std::string& description);

  std::vector<Item> items_;
  std::vector<std::string> descriptions_;  // index = slot; slots 1..499 are kept
  int counter_ = 0;
};

// True when `file` lies directly in `folder` (the folders compared without regard to letter
// case, or the same folder by another path).
bool IsInFolder(const std::filesystem::path& file, const std::filesystem::path& folder);

}  // namespace tessavo
