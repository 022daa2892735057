#include "help/contents.h"

#include <algorithm>

namespace tessavo::help {

std::vector<ContentsEntry> ParseContents(std::string_view text) {
  std::vector<ContentsEntry> entries;
  size_t at = 0;
  while (static_cast<int>(entries.size()) < kContentsSlots) {
    size_t open = text.find('[', at);
    if (open == std::string_view::npos) break;
    size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos) break;  // an unclosed group holds no entry
    std::string_view group = text.substr(open + 1, close - open - 1);
    ContentsEntry entry;
    size_t bar = group.find('|');
    if (bar == std::string_view::npos) {
      entry.display = group;
    } else {
      entry.display = group.substr(0, bar);
      entry.topic = group.substr(bar + 1);
    }
    entries.push_back(std::move(entry));
    at = close + 1;
  }
  return entries;
}

int EntryLevel(const ContentsEntry& entry) {
  if (entry.display.empty()) return -1;
  char c = entry.display[0];
  return c >= '0' && c <= '3' ? c - '0' : -1;
}

std::string EntryCaption(const ContentsEntry& entry) {
  if (entry.display.size() < 2) return {};
  return entry.display.substr(1, 99);
}

int FindTopic(const std::vector<ContentsEntry>& entries, std::string_view name, int current) {
  int found = current;
  int searched = std::min(static_cast<int>(entries.size()), kSearchedSlots);
  for (int i = 0; i < searched; ++i) {
    if (entries[i].topic == name) found = i;
  }
  return found;
}

std::string TopicResourceName(std::string_view topic) {
  std::string name(topic);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

TopicPage LoadTopic(std::string_view topic, const TopicReader& read) {
  if (topic.empty()) return {TopicPage::kEmpty, {}};
  std::optional<std::string> document = read ? read(TopicResourceName(topic)) : std::nullopt;
  if (!document) return {TopicPage::kUnavailable, kTopicUnavailable};
  if (document->empty()) return {TopicPage::kEmpty, {}};
  return {TopicPage::kDocument, std::move(*document)};
}

}  // namespace tessavo::help
