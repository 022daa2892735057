#include "generator/engine.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

namespace tessavo {

// ---------------------------------------------------------------------------------------
// Plain replacement.

namespace {

// First occurrence of `what` in [begin, end). Every pattern searched here starts with a
// character that is rare in pages ('[' or '*'), so a memchr for it beats a general
// substring search.
const char* FindBytes(const char* begin, const char* end, std::string_view what) {
  if (what.empty() || static_cast<size_t>(end - begin) < what.size()) return nullptr;
  const char first = what.front();
  const char* last_start = end - what.size();
  const char* p = begin;
  while (p <= last_start) {
    p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(last_start - p) + 1));
    if (p == nullptr) return nullptr;
    if (std::memcmp(p + 1, what.data() + 1, what.size() - 1) == 0) return p;
    ++p;
  }
  return nullptr;
}

// Writes `text` with every `from` replaced by `to` into `out` and returns true; returns
// false, leaving `out` alone, when `from` does not occur.
bool ReplaceInto(std::string_view text, std::string_view from, std::string_view to,
                 std::string& out) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  const char* hit = FindBytes(begin, end, from);
  if (hit == nullptr) return false;
  std::vector<size_t> hits;
  while (hit != nullptr) {
    hits.push_back(static_cast<size_t>(hit - begin));
    hit = FindBytes(hit + from.size(), end, from);
  }
  std::string result;
  result.reserve(text.size() - hits.size() * from.size() + hits.size() * to.size());
  size_t pos = 0;
  for (size_t at : hits) {
    result.append(text.substr(pos, at - pos));
    result.append(to);
    pos = at + from.size();
  }
  result.append(text.substr(pos));
  out.swap(result);
  return true;
}

// Replaces every `from` in `text` at or after `start`. Only the part from the first
// occurrence on is rewritten; nothing is copied when `from` does not occur.
void ReplaceInPlace(std::string& text, std::string_view from, std::string_view to,
                    size_t start = 0) {
  if (start >= text.size()) return;
  const char* hit = FindBytes(text.data() + start, text.data() + text.size(), from);
  if (hit == nullptr) return;
  const size_t first = static_cast<size_t>(hit - text.data());
  std::string tail;
  if (!ReplaceInto(std::string_view(text).substr(first), from, to, tail)) return;
  text.resize(first);
  text += tail;
}

}  // namespace

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  if (!ReplaceInto(text, from, to, out)) out.assign(text);
  return out;
}

std::string StripLinkClasses(std::string_view text) {
  std::string out(text);
  ReplaceInPlace(out, "\" class=\"entrylink\">", "\">");
  ReplaceInPlace(out, "\" class=\"menulink\">", "\">");
  return out;
}

std::string ReplaceDelimiterEscapes(std::string_view text) {
  std::string out(text);
  ReplaceInPlace(out, "**[**%", "[%");
  ReplaceInPlace(out, "**%**]", "%]");
  return out;
}

// ---------------------------------------------------------------------------------------
// Variable stages.
//
// The stages are defined as one full replacement pass per name, in order. Done literally
// that is some eighty copies of every page. Two expanders below give the same text in
// one scan of the page.
//
// Without a name that forms across the edge of a replacement (say "[%main" + an empty
// value + "page.title%]"), the passes amount to this: every name in the text is replaced
// by its value, in which the names that come later in the order are replaced the same
// way and all other text stays as it is. The direct expander computes exactly that, each
// value's expansion once per call, and then checks on the result that no name can have
// formed across an edge (see DirectExpander). That holds for practically every page.
//
// When it does not hold, the general expander does the passes on a linked list of
// pieces: literal text, and "pending" occurrences of a name that has not had its pass
// yet. Pass i replaces each pending occurrence of name i by the pieces of its value, in
// which occurrences of later names are pending again and everything else is literal.
// Every replacement checks its edges; an edge whose two neighbouring characters could
// both belong to a delimited name is looked at closely, and if a later name really
// straddles it, the expander writes out the text as it stands and finishes with the
// literal passes.

namespace {

// Exact lookup of the bare names of one stage. The sets are small and fixed, so an
// open-addressed table indexed by a hash of the length and three characters finds a name
// with about one probe and one comparison; any other text ends at an empty slot. The
// table refers to the names' own storage, which lives as long as the program.
class NameIndex {
 public:
  explicit NameIndex(const std::vector<std::string>& delimited) {
    for (size_t i = 0; i < delimited.size(); ++i) {
      std::string_view bare(delimited[i]);
      bare = bare.substr(2, bare.size() - 4);
      if (bare.empty() || Find(bare.data(), bare.size()) >= 0) continue;  // first one wins
      if (i + 1 >= kSlots) break;  // never happens: the sets are far smaller
      shortest_ = std::min(shortest_, bare.size());
      longest_ = std::max(longest_, bare.size());
      size_t at = Hash(bare.data(), bare.size());
      while (slots_[at].index >= 0) at = (at + 1) & kMask;
      slots_[at] = Slot{bare.data(), bare.size(), static_cast<int>(i)};
    }
  }

  // Position of the bare name [s, s + size) in the order, or -1.
  int Find(const char* s, size_t size) const {
    if (size < shortest_ || size > longest_) return -1;
    for (size_t at = Hash(s, size);; at = (at + 1) & kMask) {
      const Slot& slot = slots_[at];
      if (slot.index < 0) return -1;
      if (slot.size == size && std::memcmp(slot.name, s, size) == 0) return slot.index;
    }
  }

  size_t longest() const { return longest_; }

 private:
  static constexpr size_t kSlots = 256;
  static constexpr size_t kMask = kSlots - 1;

  struct Slot {
    const char* name = nullptr;
    size_t size = 0;
    int index = -1;
  };

  // The names share long prefixes ("linkto.index."), so the characters come from the end
  // and the middle. `size` is at least 1.
  static size_t Hash(const char* s, size_t size) {
    const auto at = [s](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(s[i])); };
    return (size * 61 + at(size - 1) * 7 + at(size / 2) * 3 + at(size * 3 / 4)) & kMask;
  }

  Slot slots_[kSlots];
  size_t shortest_ = SIZE_MAX;
  size_t longest_ = 0;
};

struct VariableTable {
  const std::vector<std::string>* names = nullptr;  // delimited, in order
  NameIndex index;
  bool token_char[256] = {};  // characters of the bare names and the delimiter characters
  size_t max_token = 0;       // longest delimited name

  explicit VariableTable(const std::vector<std::string>& delimited)
      : names(&delimited), index(delimited) {
    for (const std::string& name : delimited) {
      for (size_t k = 2; k + 2 < name.size(); ++k) {
        token_char[static_cast<unsigned char>(name[k])] = true;
      }
      if (name.size() > max_token) max_token = name.size();
    }
    // Names never hold the delimiter characters; the scans below rely on it.
    token_char[static_cast<unsigned char>('[')] = true;
    token_char[static_cast<unsigned char>('%')] = true;
    token_char[static_cast<unsigned char>(']')] = true;
  }

  // Position of a bare name in the order, or -1 when it is no variable of this stage.
  int Lookup(std::string_view bare) const { return index.Find(bare.data(), bare.size()); }
};

const VariableTable& EntryTable() {
  static const VariableTable table(EntryVariableNames());
  return table;
}

const VariableTable& PageTable() {
  static const VariableTable table(PageVariableNames());
  return table;
}

// Calls fn(start, end, index) for every delimited known name in `text`, left to right.
template <typename Fn>
void ForEachName(const VariableTable& table, std::string_view text, Fn&& fn) {
  const char* base = text.data();
  const size_t n = text.size();
  const size_t longest = table.index.longest();
  size_t p = 0;
  while (p + 1 < n) {
    const void* hit = std::memchr(base + p, '[', n - p - 1);
    if (hit == nullptr) return;
    p = static_cast<size_t>(static_cast<const char*>(hit) - base);
    if (base[p + 1] != '%') {
      ++p;
      continue;
    }
    // A bare name holds no '%', so a known one runs exactly up to the next '%'; it is
    // never looked for further away than the longest name.
    const size_t from = p + 2;
    const void* close = std::memchr(base + from, '%', std::min(n - from, longest + 1));
    if (close != nullptr) {
      const size_t e = static_cast<size_t>(static_cast<const char*>(close) - base);
      if (e + 1 < n && base[e + 1] == ']') {
        const int idx = table.index.Find(base + from, e - from);
        if (idx >= 0) {
          fn(p, e + 2, idx);
          p = e + 2;
          continue;
        }
      }
    }
    p += 2;
  }
}

// A delimited known name found in a text: [start, end) and its position in the order.
struct NameAt {
  size_t start;
  size_t end;
  int index;
};

void ScanNames(const VariableTable& table, std::string_view text, std::vector<NameAt>& names) {
  names.clear();
  ForEachName(table, text, [&](size_t start, size_t end, int index) {
    names.push_back(NameAt{start, end, index});
  });
}

// The names found in the template slices. Every page expands the same few slices, so
// their scans are kept, each in a slot chosen by where the slice lies; a kept scan is
// used only while the slice holds exactly the bytes that were scanned.
class SliceScans {
 public:
  const std::vector<NameAt>& Names(const VariableTable& table, std::string_view slice) {
    const auto address = reinterpret_cast<std::uintptr_t>(slice.data());
    Slot& slot = slots_[((address >> 4) ^ (address >> 12) ^ slice.size()) % kSlots];
    if (!slot.used || slot.table != &table || slot.text != slice) {
      slot.used = true;
      slot.table = &table;
      slot.text.assign(slice);
      ScanNames(table, slice, slot.names);
    }
    return slot.names;
  }

 private:
  static constexpr size_t kSlots = 64;

  struct Slot {
    bool used = false;
    const VariableTable* table = nullptr;
    std::string text;
    std::vector<NameAt> names;
  };

  Slot slots_[kSlots];
};

constexpr size_t kMaxNames = 82;

std::string& Scratch(size_t index) {
  static thread_local std::string scratch[kMaxNames];
  return scratch[index];
}

// Values are produced on demand, at most once per expansion; views stay valid for the
// whole expansion. Composed values are built in per-thread scratch strings that keep
// their capacity between pages.
class ValueSource {
 public:
  virtual ~ValueSource() = default;

  std::string_view Get(int index) {
    const size_t i = static_cast<size_t>(index);
    if (!ready_[i]) {
      const std::string_view value = Compute(index, Scratch(i));
      data_[i] = value.data();
      size_[i] = value.size();
      ready_[i] = true;
    }
    return {data_[i], size_[i]};
  }

 protected:
  virtual std::string_view Compute(int index, std::string& scratch) = 0;

 private:
  bool ready_[kMaxNames] = {};
  // Read only once ready_ is set, so they are not cleared for every slice.
  const char* data_[kMaxNames];
  size_t size_[kMaxNames];
};

class EntryValues final : public ValueSource {
 public:
  explicit EntryValues(const TemplateEntryVars& entry) : entry_(entry) {}

 protected:
  std::string_view Compute(int index, std::string& scratch) override {
    return EntryVariableView(index, entry_, scratch);
  }

 private:
  const TemplateEntryVars& entry_;
};

class PageValues final : public ValueSource {
 public:
  PageValues(const TemplateGlobalVars& g, const TemplateEntryVars& e, const TemplatePageVars& p)
      : global_(g), entry_(e), page_(p) {}

 protected:
  std::string_view Compute(int index, std::string& scratch) override {
    return PageVariableView(index, global_, entry_, page_, scratch);
  }

 private:
  const TemplateGlobalVars& global_;
  const TemplateEntryVars& entry_;
  const TemplatePageVars& page_;
};

// The direct expander's buffers, kept per thread so that their memory is reused.
struct DirectSpace {
  std::string expansion[kMaxNames];  // composed expansions of values
  std::vector<size_t> edges;         // edge positions still to be checked, a stack
  std::vector<NameAt> names;         // the names of a page
};

// Expands a text as the passes would when no name forms across an edge, and tells
// whether that was the case.
//
// Characters that meet at the edge of a replacement during the passes still meet in the
// result: a pass only ever replaces a whole pending name, and other text never changes
// again. The only other thing that can stand next to an edge is a pending name, which
// begins with '[' and ends with ']'; no name holds those characters anywhere else, so a
// name cannot reach across them. Hence when, at every edge of the result, one of the two
// characters cannot be part of a delimited name, or the left one is a ']' or the right
// one a '[', no pass can have found a name across an edge and the result is exact.
class DirectExpander {
 public:
  DirectExpander(const VariableTable& table, ValueSource& values, DirectSpace& space)
      : table_(table), values_(values), space_(space) {}

  // Appends the expansion of `text`, whose names are `names`, to `out` and returns true;
  // returns false, with `out` as it was, when a name might have formed across an edge.
  bool Run(std::string_view text, const std::vector<NameAt>& names, std::string& out) {
    const size_t base = out.size();
    std::vector<size_t>& edges = space_.edges;
    edges.clear();
    size_t pos = 0;
    for (const NameAt& name : names) {
      out.append(text.data() + pos, name.start - pos);
      const std::string_view expansion = Expansion(name.index);
      edges.push_back(out.size());
      out.append(expansion);
      edges.push_back(out.size());
      pos = name.end;
    }
    out.append(text.data() + pos, text.size() - pos);
    if (exact_ && EdgesSafe(out, base, 0)) return true;
    out.resize(base);
    return false;
  }

 private:
  // The value of name `index` with the later names in it expanded.
  std::string_view Expansion(int index) {
    const size_t i = static_cast<size_t>(index);
    if (ready_[i]) return {data_[i], size_[i]};
    const std::string_view value = values_.Get(index);
    std::string& buffer = space_.expansion[i];
    std::vector<size_t>& edges = space_.edges;
    const size_t mark = edges.size();
    bool composed = false;
    size_t pos = 0;
    ForEachName(table_, value, [&](size_t start, size_t end, int idx) {
      if (idx <= index) return;
      if (!composed) {
        buffer.clear();
        composed = true;
      }
      buffer.append(value.data() + pos, start - pos);
      const std::string_view inner = Expansion(idx);
      edges.push_back(buffer.size());
      buffer.append(inner);
      edges.push_back(buffer.size());
      pos = end;
    });
    std::string_view result = value;
    if (composed) {
      buffer.append(value.data() + pos, value.size() - pos);
      // Edges at either end of the expansion are checked where it is put in.
      if (!EdgesSafe(buffer, 0, mark)) exact_ = false;
      edges.resize(mark);
      result = buffer;
    }
    data_[i] = result.data();
    size_[i] = result.size();
    ready_[i] = true;
    return result;
  }

  // Whether no name can reach across any edge recorded from `mark` on, in `s`; edges at
  // `lo` or at the end have nothing on one side.
  bool EdgesSafe(std::string_view s, size_t lo, size_t mark) const {
    const std::vector<size_t>& edges = space_.edges;
    for (size_t k = mark; k < edges.size(); ++k) {
      const size_t j = edges[k];
      if (j <= lo || j >= s.size()) continue;
      const unsigned char left = static_cast<unsigned char>(s[j - 1]);
      const unsigned char right = static_cast<unsigned char>(s[j]);
      if (table_.token_char[left] && table_.token_char[right] && left != ']' && right != '[') {
        return false;
      }
    }
    return true;
  }

  const VariableTable& table_;
  ValueSource& values_;
  DirectSpace& space_;
  bool exact_ = true;
  bool ready_[kMaxNames] = {};
  // Read only once ready_ is set.
  const char* data_[kMaxNames];
  size_t size_[kMaxNames];
};
// The literal procedure: one full pass per name.
std::string ExpandSequential(std::string text, const VariableTable& table, ValueSource& values,
                             size_t first_pass) {
  const auto& names = *table.names;
  for (size_t i = first_pass; i < names.size(); ++i) {
    if (text.find("[%") == std::string::npos) break;
    const char* begin = text.data();
    if (FindBytes(begin, begin + text.size(), names[i]) == nullptr) continue;
    ReplaceInPlace(text, names[i], values.Get(static_cast<int>(i)));
  }
  return text;
}

struct Node {
  std::string_view text;
  int index;  // pending name, or -1 for literal text
  int prev;
  int next;
};

struct Piece {
  std::string_view text;
  int index;
};

// The expander's lists, kept per thread so that their memory is reused from page to page.
// Every list is empty between expansions.
struct Workspace {
  std::vector<Node> nodes;
  std::vector<Piece> pieces[kMaxNames];
  bool pieces_ready[kMaxNames] = {};
  std::vector<int> pending[kMaxNames];
  std::vector<int> pieces_used;
};

class Expander {
 public:
  Expander(const VariableTable& table, ValueSource& values, Workspace& space)
      : table_(table),
        values_(values),
        nodes_(space.nodes),
        pieces_(space.pieces),
        pieces_ready_(space.pieces_ready),
        pending_(space.pending),
        pieces_used_(space.pieces_used) {}

  ~Expander() {
    for (int i : pieces_used_) {
      pieces_[i].clear();
      pieces_ready_[i] = false;
    }
    pieces_used_.clear();
    for (size_t i = 0; i < table_.names->size(); ++i) pending_[i].clear();
    nodes_.clear();
  }

  // Appends the expansion of `text` to `out`.
  void Run(std::string_view text, std::string& out) {
    nodes_.clear();
    nodes_.push_back(Node{{}, -1, -1, 1});  // head
    nodes_.push_back(Node{{}, -1, 0, -1});  // tail
    bool any = false;
    int last = 0;
    size_t pos = 0;
    ForEachName(table_, text, [&](size_t start, size_t end, int idx) {
      if (start > pos) last = InsertAfter(last, text.substr(pos, start - pos), -1);
      last = InsertAfter(last, text.substr(start, end - start), idx);
      pos = end;
      any = true;
    });
    if (!any) {
      out.append(text);
      return;
    }
    if (pos < text.size()) InsertAfter(last, text.substr(pos), -1);

    const size_t count = table_.names->size();
    for (size_t i = 0; i < count; ++i) {
      if (pending_[i].empty()) continue;
      const int index = static_cast<int>(i);
      const std::string_view value = values_.Get(index);
      const std::vector<Piece>& pieces = PiecesOf(index, value);
      bool straddled = false;
      // New pending names of later passes are appended to their lists; this pass's list
      // does not grow while it is walked (a value never holds a pending name of its own).
      for (size_t k = 0; k < pending_[i].size(); ++k) {
        const int node = pending_[i][k];
        const int prev = nodes_[static_cast<size_t>(node)].prev;
        const int next = nodes_[static_cast<size_t>(node)].next;
        Unlink(node);
        int at = prev;
        for (const Piece& piece : pieces) at = InsertAfter(at, piece.text, piece.index);
        if (!straddled && EdgesStraddled(prev, next, value, index)) straddled = true;
      }
      pending_[i].clear();
      if (straddled) {
        std::string text_now;
        Render(text_now);
        ClearPending();
        out += ExpandSequential(std::move(text_now), table_, values_, i + 1);
        return;
      }
    }
    Render(out);
  }

 private:
  int InsertAfter(int at, std::string_view text, int index) {
    if (text.empty()) return at;
    const int id = static_cast<int>(nodes_.size());
    const int next = nodes_[static_cast<size_t>(at)].next;
    nodes_.push_back(Node{text, index, at, next});
    nodes_[static_cast<size_t>(at)].next = id;
    nodes_[static_cast<size_t>(next)].prev = id;
    if (index >= 0) pending_[static_cast<size_t>(index)].push_back(id);
    return id;
  }

  void Unlink(int id) {
    Node& n = nodes_[static_cast<size_t>(id)];
    nodes_[static_cast<size_t>(n.prev)].next = n.next;
    nodes_[static_cast<size_t>(n.next)].prev = n.prev;
  }

  // The value of name `index` cut into pieces: later names pending, the rest literal.
  const std::vector<Piece>& PiecesOf(int index, std::string_view value) {
    const size_t i = static_cast<size_t>(index);
    if (!pieces_ready_[i]) {
      pieces_ready_[i] = true;
      pieces_used_.push_back(index);
      std::vector<Piece>& pieces = pieces_[i];
      size_t pos = 0;
      ForEachName(table_, value, [&](size_t start, size_t end, int idx) {
        if (idx <= index) return;
        if (start > pos) pieces.push_back(Piece{value.substr(pos, start - pos), -1});
        pieces.push_back(Piece{value.substr(start, end - start), idx});
        pos = end;
      });
      if (pos < value.size()) pieces.push_back(Piece{value.substr(pos), -1});
    }
    return pieces_[i];
  }

  // Up to `limit` characters that end with node `from`, walking left.
  std::string CharsBefore(int from, size_t limit) const {
    std::string out;
    for (int id = from; id > 0 && out.size() < limit; id = nodes_[static_cast<size_t>(id)].prev) {
      std::string_view t = nodes_[static_cast<size_t>(id)].text;
      size_t take = std::min(t.size(), limit - out.size());
      out.insert(0, t.substr(t.size() - take));
    }
    return out;
  }

  // Up to `limit` characters that start with node `from`, walking right.
  std::string CharsAfter(int from, size_t limit) const {
    std::string out;
    for (int id = from; id > 1 && out.size() < limit; id = nodes_[static_cast<size_t>(id)].next) {
      std::string_view t = nodes_[static_cast<size_t>(id)].text;
      out.append(t.substr(0, std::min(t.size(), limit - out.size())));
    }
    return out;
  }

  int LastChar(int from) const {
    for (int id = from; id > 0; id = nodes_[static_cast<size_t>(id)].prev) {
      std::string_view t = nodes_[static_cast<size_t>(id)].text;
      if (!t.empty()) return static_cast<unsigned char>(t.back());
    }
    return -1;
  }

  int FirstChar(int from) const {
    for (int id = from; id > 1; id = nodes_[static_cast<size_t>(id)].next) {
      std::string_view t = nodes_[static_cast<size_t>(id)].text;
      if (!t.empty()) return static_cast<unsigned char>(t.front());
    }
    return -1;
  }

  bool IsTokenChar(int c) const {
    return c >= 0 && table_.token_char[static_cast<unsigned char>(c)];
  }

  // Whether `window` holds a delimited name that comes after pass `index` and has
  // characters on both sides of one of the `junctions`.
  bool StraddlingName(std::string_view window, std::initializer_list<size_t> junctions,
                      int index) const {
    bool found = false;
    ForEachName(table_, window, [&](size_t start, size_t end, int idx) {
      if (idx <= index) return;
      for (size_t j : junctions) {
        if (start < j && j < end) found = true;
      }
    });
    return found;
  }

  // Whether the value just put between `prev` and `next` forms, with its neighbours, a
  // later name across one of its two edges.
  bool EdgesStraddled(int prev, int next, std::string_view value, int index) const {
    const int before = LastChar(prev);
    const int after = FirstChar(next);
    const size_t k = table_.max_token;
    if (value.empty()) {
      if (!IsTokenChar(before) || !IsTokenChar(after)) return false;
      std::string left = CharsBefore(prev, k);
      std::string window = left + CharsAfter(next, k);
      return StraddlingName(window, {left.size()}, index);
    }
    const int first = static_cast<unsigned char>(value.front());
    const int last = static_cast<unsigned char>(value.back());
    const bool left_edge = IsTokenChar(before) && IsTokenChar(first);
    const bool right_edge = IsTokenChar(last) && IsTokenChar(after);
    if (!left_edge && !right_edge) return false;
    std::string left = CharsBefore(prev, k);
    std::string right = CharsAfter(next, k);
    if (value.size() <= 2 * k) {
      std::string window = left;
      window += value;
      window += right;
      return StraddlingName(window, {left.size(), left.size() + value.size()}, index);
    }
    std::string head = left;
    head += value.substr(0, k);
    std::string tail(value.substr(value.size() - k));
    tail += right;
    return StraddlingName(head, {left.size()}, index) || StraddlingName(tail, {k}, index);
  }

  void Render(std::string& out) const {
    size_t total = 0;
    for (int id = nodes_[0].next; id != 1; id = nodes_[static_cast<size_t>(id)].next) {
      total += nodes_[static_cast<size_t>(id)].text.size();
    }
    // Grow geometrically: pages are built by appending one slice after another.
    const size_t needed = out.size() + total;
    if (out.capacity() < needed) out.reserve(std::max(needed, 2 * out.capacity()));
    for (int id = nodes_[0].next; id != 1; id = nodes_[static_cast<size_t>(id)].next) {
      out.append(nodes_[static_cast<size_t>(id)].text);
    }
  }

  void ClearPending() {
    for (size_t i = 0; i < table_.names->size(); ++i) pending_[i].clear();
  }

  const VariableTable& table_;
  ValueSource& values_;
  std::vector<Node>& nodes_;
  std::vector<Piece>* pieces_;
  bool* pieces_ready_;
  std::vector<int>* pending_;
  std::vector<int>& pieces_used_;
};

Workspace& ThreadWorkspace() {
  static thread_local Workspace space;
  return space;
}

DirectSpace& ThreadDirectSpace() {
  static thread_local DirectSpace space;
  return space;
}

SliceScans& ThreadSliceScans() {
  static thread_local SliceScans scans;
  return scans;
}

// Appends the expansion of `text`, whose names are `names`, to `out`: directly when that
// is exact, else by the general expander.
void Expand(const VariableTable& table, ValueSource& values, std::string_view text,
            const std::vector<NameAt>& names, std::string& out) {
  if (names.empty()) {
    out.append(text);
    return;
  }
  if (DirectExpander(table, values, ThreadDirectSpace()).Run(text, names, out)) return;
  Expander(table, values, ThreadWorkspace()).Run(text, out);
}

}  // namespace

void ExpandEntrySlice(std::string& page_text, std::string_view slice,
                      const TemplateEntryVars& entry) {
  if (slice.find("[%") == std::string_view::npos) {
    page_text.append(slice);
    return;
  }
  // Pages are built by appending one slice after another to an empty text: start with
  // room for a small page rather than growing from nothing.
  const size_t needed = page_text.size() + 2 * slice.size();
  if (page_text.capacity() < needed) {
    page_text.reserve(std::max({needed, 2 * page_text.capacity(), size_t{4096}}));
  }
  const VariableTable& table = EntryTable();
  EntryValues values(entry);
  Expand(table, values, slice, ThreadSliceScans().Names(table, slice), page_text);
}

std::string ExpandPageVariables(std::string_view page_text, const TemplateGlobalVars& global,
                                const TemplateEntryVars& entry, const TemplatePageVars& page) {
  std::string out;
  if (page_text.find("[%") == std::string_view::npos) {
    out.assign(page_text);
    return out;
  }
  // The values (navigation columns and the like) add to the page; room for half as much
  // again usually saves growing the text several times.
  out.reserve(page_text.size() + page_text.size() / 2 + 1024);
  const VariableTable& table = PageTable();
  std::vector<NameAt>& names = ThreadDirectSpace().names;
  ScanNames(table, page_text, names);
  PageValues values(global, entry, page);
  Expand(table, values, page_text, names, out);
  return out;
}

int EntryVariableIndex(std::string_view bare_name) { return EntryTable().Lookup(bare_name); }

int PageVariableIndex(std::string_view bare_name) { return PageTable().Lookup(bare_name); }

namespace reference {

void ExpandEntrySlice(std::string& page_text, std::string_view slice,
                      const TemplateEntryVars& entry) {
  const auto& names = EntryVariableNames();
  std::string text(slice);
  for (size_t i = 0; i < names.size(); ++i) {
    text = ReplaceAll(text, names[i], EntryVariableValue(static_cast<int>(i), entry));
  }
  page_text += text;
}

std::string ExpandPageVariables(std::string_view page_text, const TemplateGlobalVars& global,
                                const TemplateEntryVars& entry, const TemplatePageVars& page) {
  const auto& names = PageVariableNames();
  std::string text(page_text);
  for (size_t i = 0; i < names.size(); ++i) {
    text = ReplaceAll(text, names[i], PageVariableValue(static_cast<int>(i), global, entry, page));
  }
  return text;
}

}  // namespace reference

// ---------------------------------------------------------------------------------------
// Function stage.

namespace {

std::string_view TrimControls(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

// Whether `name` is `letters` (capital letters only) in any letter case. Setting bit 5
// turns a capital into its small letter, and no byte but those two turns into that small
// letter, so one comparison per character is exact.
bool IsNameNoCase(std::string_view name, std::string_view letters) {
  if (name.size() != letters.size()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) | 0x20) !=
        (static_cast<unsigned char>(letters[i]) | 0x20)) {
      return false;
    }
  }
  return true;
}

// The value of a function as a part of `inner`: a result is always cut out of the
// function's own text.
std::string_view FunctionResult(std::string_view inner) {
  std::string_view name = inner;
  std::string_view args;
  if (size_t split = inner.find("~~"); split != std::string_view::npos) {
    name = inner.substr(0, split);
    args = inner.substr(split + 2);
  }
  std::string_view test = args;
  std::string_view result;
  if (size_t split = args.find("~~"); split != std::string_view::npos) {
    test = TrimControls(args.substr(0, split));
    result = TrimControls(args.substr(split + 2));
  }
  if (IsNameNoCase(name, "IFNOTBLANK")) return test.empty() ? std::string_view() : result;
  if (IsNameNoCase(name, "IFBLANK")) return test.empty() ? result : std::string_view();
  return {};
}

// Position of the "%]" that closes the "[%" at `open`, counting the openings met on the
// way, or npos. Both delimiters hold a '%', so the scan goes from one '%' to the next:
// an opening counts when its '[' lies after the delimiter at `open`, and at one '%' an
// opening comes before a closing.
size_t MatchingClose(std::string_view in, size_t open) {
  const char* base = in.data();
  const size_t n = in.size();
  int depth = 1;
  size_t j = open + 2;
  while (j < n) {
    const void* hit = std::memchr(base + j, '%', n - j);
    if (hit == nullptr) break;
    j = static_cast<size_t>(static_cast<const char*>(hit) - base);
    if (j >= open + 3 && base[j - 1] == '[') ++depth;
    if (j + 1 < n && base[j + 1] == ']' && --depth == 0) return j;
    ++j;
  }
  return std::string_view::npos;
}

// One left-to-right pass that replaces every outermost "[%...%]" by its function value.
// An opening "[%" without its matching "%]" drops the rest of the text. `first` is the
// position of the first "[%"; the text before it stays where it is. Returns the position
// of the first "[%" in the new text, or npos.
//
// The pass works in place. A value is a part of its function's text, so the text never
// grows, and everything is written at or before the position where reading goes on.
//
// The text between two functions holds no "[%" (the search for the next opening went
// over it), so a "[%" of the new text lies inside a value or is made of the last
// character written and the first one of the next piece.
size_t FunctionPass(std::string& text, size_t first) {
  char* const data = text.data();
  const std::string_view in(text);
  size_t write = first;
  size_t next_open = std::string_view::npos;
  // Moves [from, from + size) down to the writing position.
  const auto keep = [&](size_t from, size_t size, bool is_value) {
    if (size == 0) return;
    if (next_open == std::string_view::npos) {
      if (write > 0 && data[write - 1] == '[' && data[from] == '%') {
        next_open = write - 1;
      } else if (is_value) {
        const char* hit = FindBytes(data + from, data + from + size, "[%");
        if (hit != nullptr) next_open = write + static_cast<size_t>(hit - (data + from));
      }
    }
    if (write != from) std::memmove(data + write, data + from, size);
    write += size;
  };
  size_t pos = first;
  while (true) {
    const size_t open = in.find("[%", pos);
    if (open == std::string_view::npos) {
      keep(pos, in.size() - pos, false);
      break;
    }
    keep(pos, open - pos, false);
    const size_t close = MatchingClose(in, open);
    if (close == std::string_view::npos) break;
    const std::string_view result = FunctionResult(in.substr(open + 2, close - open - 2));
    keep(static_cast<size_t>(result.data() - data), result.size(), true);
    pos = close + 2;
  }
  text.resize(write);
  return next_open;
}

// Whether "**[**%" or "**%**]" occurs in `text`, in one scan.
bool HasEscapes(std::string_view text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (end - p >= 6) {
    p = static_cast<const char*>(std::memchr(p, '*', static_cast<size_t>(end - p) - 5));
    if (p == nullptr) return false;
    if (std::memcmp(p, "**[**%", 6) == 0 || std::memcmp(p, "**%**]", 6) == 0) return true;
    ++p;
  }
  return false;
}

}  // namespace

std::string FunctionValue(std::string_view inner) { return std::string(FunctionResult(inner)); }

int DrawPageRandom() {
  static thread_local std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> draw(0, 999998);
  return draw(generator);
}

std::string ExpandFunctions(std::string page_text) {
  return ExpandFunctions(std::move(page_text), DrawPageRandom());
}

std::string ExpandFunctions(std::string text, int random_number) {
  // Nothing before the first "[%" changes until the escapes; the steps start there.
  size_t first = text.find("[%");
  if (first != std::string::npos) {
    static constexpr std::string_view kRandom = "[%RANDOM%]";
    if (FindBytes(text.data() + first, text.data() + text.size(), kRandom) != nullptr) {
      ReplaceInPlace(text, kRandom, std::to_string(random_number), first);
    }
    for (int pass = 0; pass < 2 && first != std::string::npos; ++pass) {
      first = FunctionPass(text, first);
    }
  }
  if (HasEscapes(text)) {
    ReplaceInPlace(text, "**[**%", "[%");
    ReplaceInPlace(text, "**%**]", "%]");
  }
  return text;
}
namespace reference {

std::string ExpandFunctions(std::string_view page_text, int random_number) {
  std::string text = ReplaceAll(page_text, "[%RANDOM%]", std::to_string(random_number));
  for (int pass = 0; pass < 2; ++pass) {
    std::string out;
    size_t pos = 0;
    while (true) {
      size_t open = text.find("[%", pos);
      if (open == std::string::npos) {
        out += text.substr(pos);
        break;
      }
      out += text.substr(pos, open - pos);
      int depth = 1;
      size_t i = open + 2;
      for (; i < text.size(); ++i) {
        if (text.compare(i, 2, "[%") == 0) ++depth;
        if (text.compare(i, 2, "%]") == 0) --depth;
        if (depth == 0) break;
      }
      if (depth != 0) break;
      out += FunctionValue(std::string_view(text).substr(open + 2, i - open - 2));
      pos = i + 2;
    }
    text = out;
  }
  text = ReplaceAll(text, "**[**%", "[%");
  return ReplaceAll(text, "**%**]", "%]");
}

}  // namespace reference

}  // namespace tessavo
