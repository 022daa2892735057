// The desktop program's session settings: window placement, background and display fonts,
// kept between runs in the settings file tessavo.ini in the program folder.
#pragma once

#include <filesystem>
#include <string>

namespace tessavo::desktop {

// A font string: name, charset, color, size and style joined by commas (see option_font.h).
inline constexpr const char* kEmptyFontString = ",,,,";

struct SessionSettings {
  // Main window ("Form").
  int form_top = 20;
  int form_left = 20;
  int form_height = 440;
  int form_width = 600;
  bool form_maximized = false;
  // Display ("Options").
  int background = 0;  // 0 grey, 1 green, 2 brown
  std::string font_form = kEmptyFontString;
  std::string font_lists = kEmptyFontString;
  std::string font_entry_text = kEmptyFontString;
  // Entry editor window ("Entry").
  int entry_top = 20;
  int entry_left = 20;
  int entry_height = 20;
  int entry_width = 20;
  bool entry_maximized = false;

  // Reads every key; a missing file or an unreadable value keeps the default.
  static SessionSettings Load(const std::filesystem::path& file);
  // Writes every key back, keeping what else the file holds. When `write_form_placement`
  // is false (the main window is maximised) the saved "Form" position and size stay as they
  // are in the file. Throws Error when the file cannot be written.
  void Save(const std::filesystem::path& file, bool write_form_placement) const;
};

// The settings file: ProgramFolder() / "tessavo.ini".
std::filesystem::path SettingsFilePath();

}  // namespace tessavo::desktop
