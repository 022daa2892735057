// Generate Pages and Preview Pages: the generation run that turns an open blog into a
// static site in its output folder (program folder / "HTML" / blog name).
//
// The run reports every step as a Publish log line through the blog's Host. It visits the
// entries three times in the order of the entry index: newest first to build the link
// lists, oldest first to write the archive, article and special pages, newest first to
// write the home page, the feeds and the recent entries page. Then it copies the pictures
// and extra files and removes orphan pages. Every written file is tracked in tblPages.
//
// The run changes option values in memory only (fallbacks for empty options, the cleaned
// prefix); the stored options stay as they are.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "util/datetime.h"

namespace tessavo {

class Blog;
class Host;

struct GenerateResult {
  bool ok = false;           // the run completed; false when it stopped on an error
  std::string error;         // the message shown in the error box when it stopped
  int pages_changed = 0;     // pages (and feeds) added or changed
  int files_changed = 0;     // extra files and template package files added or changed
  int pictures_changed = 0;  // pictures added or changed
  int pages_removed = 0;     // orphans removed
  int pages_built = 0;       // "...building page " lines of the run
  int pages_made = 0;        // pages whose text the run made (the others were known unchanged)
  std::filesystem::path output_folder;
  std::filesystem::path home_page;  // output folder + prefix + option 241 + extension
};

// Generate Pages. Runs the whole generation on `blog`, talking to `host` (the Publish log,
// the message boxes of the template package loader, and on failure the standard error
// box with the error's message). A failure (output folder that cannot be created, a page
// file or page record that cannot be written) stops the run; records already saved stay.
GenerateResult GeneratePages(Blog& blog, Host& host);
// The same run with `now` as the generation time (for tests and scripts): with the setting
// "Hold back entries dated in the future" on, entries dated after `now` are left out of
// every page, list, archive, feed and the sitemap, and the log says how many and when the
// next one is due.
GenerateResult GeneratePages(Blog& blog, Host& host, const DateTime& now);

// How a run may work; the pages it writes are the same either way.
struct GenerateSettings {
  // Make every page's text afresh instead of trusting what the last run made from the same
  // inputs (kept beside the output folder, see generator/page_digests.h).
  bool full = false;
  // The threads a run may use: 0 for as many as the machine has cores, 1 to do all of it
  // on the calling thread. With more than one, the pages of the entries are planned and
  // made on a thread of their own while the calling thread writes the files, logs and
  // keeps the page records, in the order a run on one thread does.
  unsigned threads = 0;
};
GenerateResult GeneratePages(Blog& blog, Host& host, const DateTime& now,
                             const GenerateSettings& settings);

// The path Preview Pages opens: output folder + file name prefix + option 241 +
// extension of the last completed run of this blog since the program started; before
// any completed run, formed from the blog's options as a run would form it.
std::filesystem::path PreviewPagePath(const Blog& blog);

// Preview Pages. Returns the home page's path when the file exists (the caller opens it
// with the system's default handler); otherwise shows the information box
// "Error: Index File is missing. Preview failed." + an empty line + the full path, and
// returns nothing.
std::optional<std::filesystem::path> PreviewPages(const Blog& blog, Host& host);

// The cleaned file name prefix of a "Page Name Prefix" value: \ / : * " < > | each
// replaced by "-", then trimmed of surrounding blanks.
std::string CleanPagePrefix(const std::string& value);

}  // namespace tessavo
