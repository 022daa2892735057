#include "generator/engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <unordered_map>
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
    p = static_cast<const char*>(
        std::memchr(p, first, static_cast<size_t>(last_start - p) + 1));
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
// that is some eighty copies of every page. The expander below gives the same text in
// one scan of the page:
//
// The text is kept as a linked list of pieces: literal text, and "pending" occurrences of
// a name that has not had its pass yet. Pass i replaces each pending occurrence of name i
// by the pieces of its value, in which occurrences of later names are pending again and
// everything else is literal. That is exactly what a full pass does, as long as no
// replacement makes a new occurrence of a later name out of characters on both sides of
// its edges (say "[%main" + an empty value + "page.title%]"). So every replacement
// checks its edges; an edge whose two neighbouring characters could both belong to a
// delimited name is looked at closely, and if a later name really straddles it, the
// expander writes out the text as it stands and finishes with the literal passes.

namespace {

struct VariableTable {
  const std::vector<std::string>* names = nullptr;  // delimited, in order
  std::unordered_map<std::string_view, int> index;  // bare name -> position
  bool name_char[256] = {};     // characters that occur in some bare name
  bool token_char[256] = {};    // name characters and the delimiter characters
  size_t max_token = 0;         // longest delimited name

  explicit VariableTable(const std::vector<std::string>& delimited) : names(&delimited) {
    for (size_t i = 0; i < delimited.size(); ++i) {
      std::string_view bare(delimited[i]);
      bare = bare.substr(2, bare.size() - 4);
      index.emplace(bare, static_cast<int>(i));
      for (unsigned char c : bare) name_char[c] = token_char[c] = true;
      if (delimited[i].size() > max_token) max_token = delimited[i].size();
    }
    // Names never hold the delimiter characters; the scans below rely on it.
    token_char[static_cast<unsigned char>('[')] = true;
    token_char[static_cast<unsigned char>('%')] = true;
    token_char[static_cast<unsigned char>(']')] = true;
  }

  // Position of a bare name in the order, or -1 when it is no variable of this stage.
  int Lookup(std::string_view bare) const {
    auto it = index.find(bare);
    return it == index.end() ? -1 : it->second;
  }
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
  size_t p = 0;
  while (p + 1 < n) {
    const void* hit = std::memchr(base + p, '[', n - p - 1);
    if (hit == nullptr) return;
    p = static_cast<size_t>(static_cast<const char*>(hit) - base);
    if (base[p + 1] != '%') {
      ++p;
      continue;
    }
    size_t e = p + 2;
    while (e < n && table.name_char[static_cast<unsigned char>(base[e])]) ++e;
    if (e + 1 < n && base[e] == '%' && base[e + 1] == ']') {
      int idx = table.Lookup(text.substr(p + 2, e - p - 2));
      if (idx >= 0) {
        fn(p, e + 2, idx);
        p = e + 2;
        continue;
      }
    }
    p += 2;
  }
}

// Values are produced on demand; views stay valid for the whole expansion. Composed
// values are built in per-thread scratch strings that keep their capacity between pages.
class ValueSource {
 public:
  virtual ~ValueSource() = default;
  virtual std::string_view Get(int index) = 0;
};

constexpr size_t kMaxNames = 82;

struct ValueCache {
  bool ready[kMaxNames] = {};
  std::string_view view[kMaxNames];
};

std::string& Scratch(size_t index) {
  static thread_local std::string scratch[kMaxNames];
  return scratch[index];
}

class EntryValues final : public ValueSource {
 public:
  explicit EntryValues(const TemplateEntryVars& entry) : entry_(entry) {}
  std::string_view Get(int index) override {
    const size_t i = static_cast<size_t>(index);
    if (!cache_.ready[i]) {
      cache_.view[i] = EntryVariableView(index, entry_, Scratch(i));
      cache_.ready[i] = true;
    }
    return cache_.view[i];
  }

 private:
  const TemplateEntryVars& entry_;
  ValueCache cache_;
};

class PageValues final : public ValueSource {
 public:
  PageValues(const TemplateGlobalVars& g, const TemplateEntryVars& e, const TemplatePageVars& p)
      : global_(g), entry_(e), page_(p) {}
  std::string_view Get(int index) override {
    const size_t i = static_cast<size_t>(index);
    if (!cache_.ready[i]) {
      cache_.view[i] = PageVariableView(index, global_, entry_, page_, Scratch(i));
      cache_.ready[i] = true;
    }
    return cache_.view[i];
  }

 private:
  const TemplateGlobalVars& global_;
  const TemplateEntryVars& entry_;
  const TemplatePageVars& page_;
  ValueCache cache_;
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
      : table_(table), values_(values), nodes_(space.nodes), pieces_(space.pieces),
        pieces_ready_(space.pieces_ready), pending_(space.pending),
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

}  // namespace

void ExpandEntrySlice(std::string& page_text, std::string_view slice,
                      const TemplateEntryVars& entry) {
  if (slice.find("[%") == std::string_view::npos) {
    page_text.append(slice);
    return;
  }
  EntryValues values(entry);
  Expander expander(EntryTable(), values, ThreadWorkspace());
  expander.Run(slice, page_text);
}

std::string ExpandPageVariables(std::string_view page_text, const TemplateGlobalVars& global,
                                const TemplateEntryVars& entry, const TemplatePageVars& page) {
  std::string out;
  if (page_text.find("[%") == std::string_view::npos) {
    out.assign(page_text);
    return out;
  }
  PageValues values(global, entry, page);
  Expander expander(PageTable(), values, ThreadWorkspace());
  expander.Run(page_text, out);
  return out;
}

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
    text = ReplaceAll(text, names[i],
                      PageVariableValue(static_cast<int>(i), global, entry, page));
  }
  return text;
}

}  // namespace reference

// ---------------------------------------------------------------------------------------
// Function stage.

std::string FunctionValue(std::string_view inner);

namespace {

std::string_view TrimControls(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// One left-to-right pass that replaces every outermost "[%...%]" by its function value.
// An opening "[%" without its matching "%]" drops the rest of the text. `first` is the
// position of the first "[%"; the text before it stays where it is.
void FunctionPass(std::string& text, size_t first) {
  const std::string_view in(text);
  const size_t n = in.size();
  std::string out;
  out.reserve(n - first);
  size_t pos = first;
  while (true) {
    size_t open = in.find("[%", pos);
    if (open == std::string_view::npos) {
      out.append(in.substr(pos));
      break;
    }
    out.append(in.substr(pos, open - pos));
    int depth = 1;
    size_t i = open + 2;
    bool matched = false;
    for (; i + 1 < n; ++i) {
      if (in[i] == '[' && in[i + 1] == '%') ++depth;
      if (in[i] == '%' && in[i + 1] == ']') --depth;
      if (depth == 0) {
        matched = true;
        break;
      }
    }
    if (!matched) break;
    out += FunctionValue(in.substr(open + 2, i - open - 2));
    pos = i + 2;
  }
  text.resize(first);
  text += out;
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

std::string FunctionValue(std::string_view inner) {
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
  if (EqualsNoCase(name, "IFNOTBLANK")) return test.empty() ? "" : std::string(result);
  if (EqualsNoCase(name, "IFBLANK")) return test.empty() ? std::string(result) : "";
  return "";
}

int DrawPageRandom() {
  static thread_local std::mt19937 generator(static_cast<std::mt19937::result_type>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> draw(0, 999998);
  return draw(generator);
}

std::string ExpandFunctions(std::string_view page_text) {
  return ExpandFunctions(page_text, DrawPageRandom());
}

std::string ExpandFunctions(std::string_view page_text, int random_number) {
  std::string text(page_text);
  // Nothing before the first "[%" changes until the escapes; the steps start there.
  size_t first = text.find("[%");
  if (first != std::string::npos) {
    ReplaceInPlace(text, "[%RANDOM%]", std::to_string(random_number), first);
    for (int pass = 0; pass < 2 && first != std::string::npos; ++pass) {
      FunctionPass(text, first);
      // A value may end in "[" before a "%" of the text, so look one character back.
      first = text.find("[%", first == 0 ? 0 : first - 1);
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
