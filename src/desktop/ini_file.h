// A small reader and writer of INI files ("[Section]" lines and "Key=Value" lines), the
// format of the desktop program's settings file. Section and key names compare without
// regard to letter case, as the platform's INI functions do. Lines that are neither are kept
// as they are when the file is written back.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessavo::desktop {

class IniFile {
 public:
  IniFile() = default;
  // Reads `path`; a missing or unreadable file gives an empty IniFile.
  static IniFile Load(const std::filesystem::path& path);
  // Writes the file atomically. Throws Error when it cannot be written.
  void Save(const std::filesystem::path& path) const;

  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // The value read as a whole decimal number; `def` when missing or not a number.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  // A number other than 0 (or the word "true") is true; `def` when missing or unreadable.
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;

  void Set(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  std::string Text() const;

 private:
  struct Line {
    std::string key;  // empty for a line that is not "key=value"
    std::string value;
    std::string raw;  // the line as read, for lines that are not "key=value"
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };
  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;

  std::vector<Section> sections_;  // sections_[0] holds lines before the first header
};

}  // namespace tessavo::desktop
