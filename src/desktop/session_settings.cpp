#include "desktop/session_settings.h"

#include "desktop/ini_file.h"
#include "util/program_folder.h"

namespace tessavo::desktop {

std::filesystem::path SettingsFilePath() { return ProgramFolder() / "tessavo.ini"; }

SessionSettings SessionSettings::Load(const std::filesystem::path& file) {
  IniFile ini = IniFile::Load(file);
  SessionSettings s;
  s.form_top = ini.ReadInteger("Form", "Top", 20);
  s.form_left = ini.ReadInteger("Form", "Left", 20);
  s.form_height = ini.ReadInteger("Form", "Height", 440);
  s.form_width = ini.ReadInteger("Form", "Width", 600);
  s.form_maximized = ini.ReadBool("Form", "InitMax", false);
  s.background = ini.ReadInteger("Options", "Back", 0);
  s.font_form = ini.ReadString("Options", "optionFontForm", kEmptyFontString);
  s.font_lists = ini.ReadString("Options", "optionFontLists", kEmptyFontString);
  s.font_entry_text = ini.ReadString("Options", "optionFontEntryText", kEmptyFontString);
  s.entry_top = ini.ReadInteger("Entry", "Top", 20);
  s.entry_left = ini.ReadInteger("Entry", "Left", 20);
  s.entry_height = ini.ReadInteger("Entry", "Height", 20);
  s.entry_width = ini.ReadInteger("Entry", "Width", 20);
  s.entry_maximized = ini.ReadBool("Entry", "InitMax", false);
  return s;
}

void SessionSettings::Save(const std::filesystem::path& file, bool write_form_placement) const {
  IniFile ini = IniFile::Load(file);
  if (write_form_placement) {
    ini.WriteInteger("Form", "Top", form_top);
    ini.WriteInteger("Form", "Left", form_left);
    ini.WriteInteger("Form", "Height", form_height);
    ini.WriteInteger("Form", "Width", form_width);
  }
  ini.WriteBool("Form", "InitMax", form_maximized);
  ini.WriteInteger("Options", "Back", background);
  ini.Set("Options", "optionFontForm", font_form);
  ini.Set("Options", "optionFontLists", font_lists);
  ini.Set("Options", "optionFontEntryText", font_entry_text);
  ini.WriteInteger("Entry", "Top", entry_top);
  ini.WriteInteger("Entry", "Left", entry_left);
  ini.WriteInteger("Entry", "Height", entry_height);
  ini.WriteInteger("Entry", "Width", entry_width);
  ini.WriteBool("Entry", "InitMax", entry_maximized);
  ini.Save(file);
}

}  // namespace tessavo::desktop
