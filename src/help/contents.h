// The rules of the help viewer that need no window: reading the contents text, choosing an
// entry by topic name, and what the topic pane shows for a topic.
//
// The contents text lists one entry per bracketed group, "[" level digit, blank, title, "|",
// topic name, "]"; everything outside the brackets (line breaks, comments) is ignored. The
// level digit is 0 for a book title, 1 a chapter, 2 a topic, 3 a sub-topic.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessavo::help {

// The contents hold at most this many entries; later groups are dropped.
inline constexpr int kContentsSlots = 151;
// Selection by name looks at the entries with an index below this.
inline constexpr int kSearchedSlots = 150;
// The one line the pane shows when a topic has no document.
inline constexpr const char* kTopicUnavailable = "Topic Unavailable";

struct ContentsEntry {
  std::string display;  // level digit, blank, title
  std::string topic;    // empty when the group has no "|"
};

// The entries of `text` in their order, at most kContentsSlots. A "]" before any "[" is
// ignored like other text outside the brackets, and a "[" that is never closed ends the list.
std::vector<ContentsEntry> ParseContents(std::string_view text);

// The level of an entry: its first character as a digit 0 to 3, -1 for anything else.
int EntryLevel(const ContentsEntry& entry);
// The text shown for an entry: the display text from its second character, at most 99
// characters.
std::string EntryCaption(const ContentsEntry& entry);

// The index of the entry whose topic name is exactly `name` (case-sensitive) among the first
// kSearchedSlots entries; the last match wins. `current` when nothing matches.
int FindTopic(const std::vector<ContentsEntry>& entries, std::string_view name, int current);

// The name of the document that holds `topic`: the topic name in upper case.
std::string TopicResourceName(std::string_view topic);

// Reads a document by its resource name; nullopt when it is missing or cannot be read.
using TopicReader = std::function<std::optional<std::string>(const std::string& resource_name)>;

// What the topic pane shows.
struct TopicPage {
  enum Kind { kDocument, kEmpty, kUnavailable };
  Kind kind = kEmpty;
  std::string text;  // the rich-text document, or kTopicUnavailable
};

// The page for `topic`: its document when it has content; an empty pane for an entry without
// a topic name or an empty document; "Topic Unavailable" when the document is missing.
TopicPage LoadTopic(std::string_view topic, const TopicReader& read);

// Where the viewer takes its contents and documents from.
struct HelpSource {
  std::string contents;
  TopicReader read;
};

}  // namespace tessavo::help
