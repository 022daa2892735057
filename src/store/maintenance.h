// Backup, compact and repair of blog files.
//
// These are the file-level services behind the Backup Blog, Compact Blog and Repair Blog
// commands. They show no dialogs of their own: the front end runs the backup dialog and the
// file chooser, then calls these. Progress goes to the host's status window, results to its
// information boxes.
//
// Every copy is written to a temporary name in the target's folder and renamed into place,
// so a failed copy never leaves a partial target behind. Each of them holds the blog's
// lock (BlogLock) while it works, so none runs while another program changes the blog.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tessavo {

class Blog;
class Host;

// True when `file` has the blog file extension ".zdb", in any letter case.
bool IsBlogFileExtension(const std::filesystem::path& file);

// The file a backup number k names: `target` with its extension replaced by ".~k".
std::filesystem::path BackupFileName(const std::filesystem::path& target, int k);

// Writes a compacted copy of the (closed) blog file `from` to `to`, replacing `to`, with
// the permission bits of `from`. The status window shows `title` + " ", then `title` + " " +
// percentage + "%", then `title` + " complete", and closes. Throws Error with the
// database's text on failure; `to` is then unchanged and no temporary file is left.
void CompactCopy(const std::filesystem::path& from, const std::filesystem::path& to, Host& host,
                 const std::string& title = "Compacting Blog File");

// Backup after the dialog. REQUIRES: `blog` is open for writing and its options hold the
// location (option 190) and the number of backups to keep (191) the dialog returned;
// `old_location` and `old_keep` are the values from before the dialog.
//
// When the backup folder cannot be created, puts the old values back, tells the host
// "File backup cancelled. Unable to create directory: " + folder and returns false.
// Otherwise saves the options when the location (ignoring letter case) or the number
// changed, closes the blog (keeping its lock), writes a compacted copy (with the blog
// file's permission bits) under a temporary name in the backup folder, rotates the
// backups <name>.~1 (newest) .. <name>.~n, renames the copy to <name>.~1, reopens the blog
// into `blog` and tells the host "File backup was successfully.". Returns true.
//
// When the copy or the rotation fails, every backup is left as it was, the blog is
// reopened and Error is thrown naming the backup folder.
bool BackupBlog(std::unique_ptr<Blog>& blog, Host& host, const std::string& old_location,
                int old_keep);

// Compacts the open blog in place: a compacted copy to the file's name + ".tmp", whose
// pages then replace the file's own in one transaction (the file keeps its identity and
// permissions), reopens it into `blog` and tells the host "File compress was
// successfully.". The blog's lock is held throughout. On failure the blog is reopened
// from the untouched file and Error is thrown.
void CompactBlog(std::unique_ptr<Blog>& blog, Host& host);

// Repairs the closed blog file `file`. First a log of recent changes left beside it (by a
// program that ended without closing the blog) is folded into the file, so that it holds
// every committed change. Then every row that can still be read is copied into a new file
// (`work_file`, by default the program file's name with extension ".new" in the program
// folder), damaged pages are skipped, and the indexes are built afresh; `log` (when given)
// receives the repair log, which says for each table how many rows were recovered and how
// many were lost. The status window shows "Repairing Blog File ...".
//
// When every row was recovered and the new file passes its integrity check, the new file
// replaces `file`, which is kept as <file>.old (an earlier .old is replaced); the host is
// told "All data repaired successfully." and the result is true. At every moment of the
// replacement either the old or the new file is at `file`'s path, and the new file gets
// `file`'s permissions.
//
// Otherwise `file` stays where it is, the recovered rows are kept in a numbered file
// <stem>-recovered-N.zdb beside the work file (never removed by a later repair), the host is
// told "Some problems could not be repaired. See repair log:" followed by the log, which
// names that file, and the result is false.
bool RepairBlog(const std::filesystem::path& file, Host& host, std::string* log = nullptr,
                const std::filesystem::path& work_file = {});

// For tests of what a crash during a repair leaves: `observer` is called with the name of
// each step of putting the repaired file in place right after it is done ("staged", "old
// kept", "side files cleared", "swapped"). An empty function ends the observation.
void SetRepairStepObserver(std::function<void(const std::string&)> observer);

}  // namespace tessavo
