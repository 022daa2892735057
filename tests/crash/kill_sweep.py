#!/usr/bin/python3
"""Kill-9 sweep: kills tessavo-cli commands at random moments and checks what they leave.

Each command (entry import, generate of a new site and over an earlier one, publish by file
copy, publish by FTP, backup, compact, repair of a sound blog and repair after a writer was
killed) is run on a fresh copy of a
prepared program folder and killed with SIGKILL, either after a random delay or, with strace,
on entry to the k-th call of a chosen system call (rename, fsync, unlink, write, ...). After
each kill the sweep checks, on a copy of the blog with its -wal and -shm files so that the
check itself changes nothing:

  - the blog file is still at its path and PRAGMA integrity_check says "ok";
  - every row committed before the kill is still there (import: all of its rows or none);

then runs the same command again (and once more) and checks that it converges:

  - the next run succeeds; import adds its rows once more; a third generate writes nothing;
  - a second publish sends only what was left, a third sends nothing, and the destination
    then equals the output folder byte for byte;
  - backups left by earlier runs survive and are sound; the next backup is sound;
  - no temporary file of any run is left behind (*.tmp-XXXXXX, *.tmp, .*.compacting,
    .*.moving, the repair work file, the file-copy check file).

It prints a table of faults injected and survived per command and way, and every failure with
the argument that replays it (--replay). Not part of the test run; see README.md beside it.
"""
import argparse
import fnmatch
import json
import os
import random
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
FTP_SERVER = os.path.join(SOURCE, "tests", "ftp", "ftp_server.py")

COMMANDS = ["import", "generate", "regenerate", "publish-copy", "publish-ftp", "backup", "compact", "repair",
            "repair-wal"]

# Names that only temporary files carry (the blog folder, the output folder, destinations).
STRAY_PATTERNS = ["*.tmp-??????", "*.tmp", ".*.compacting", ".*.moving", "~~~*.$$$"]
# The repair work file sits in the program folder.
HOME_STRAY_PATTERNS = STRAY_PATTERNS + ["*.new"]

# System calls the strace way kills on (on entry, so the call itself never happens).
SYSCALLS = ["rename", "renameat", "renameat2", "link", "linkat", "unlink", "unlinkat", "fsync",
            "fdatasync", "ftruncate", "pwrite64", "write", "close", "sendto"]

KEEP_BACKUPS = 3
CORPUS_WORDS = ("garden bread river autumn window letter harbour lantern orchard meadow "
                "pepper violin granite pebble thunder compass marble saffron willow").split()


class CliError(Exception):
    pass


# --- helpers ---------------------------------------------------------------------------------

def tiny_png(width=3, height=2):
    """A small valid PNG file's bytes."""
    def chunk(kind, data):
        body = kind + data
        return len(data).to_bytes(4, "big") + body + zlib.crc32(body).to_bytes(4, "big")
    raw = b"".join(b"\x00" + b"\xff\x00\x00" * width for _ in range(height))
    ihdr = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 2, 0, 0, 0])
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def entries_jsonl(path, count, rng, tag):
    """Writes `count` entries (some of them articles with their own page) as JSON Lines."""
    titles = []
    with open(path, "w", encoding="utf-8") as out:
        for i in range(count):
            words = [rng.choice(CORPUS_WORDS) for _ in range(rng.randint(40, 160))]
            title = "%s %d %s" % (tag, i, rng.choice(CORPUS_WORDS))
            entry = {
                "BlogDateTime": "%04d-%02d-%02d %02d:%02d:%02d" % (
                    rng.randint(2019, 2025), rng.randint(1, 12), rng.randint(1, 28),
                    rng.randint(0, 23), rng.randint(0, 59), rng.randint(0, 59)),
                "BlogTitle": title,
                "BlogText": " ".join(words) + "\r\n\r\n" + " ".join(reversed(words)),
                "BlogPageType": "article" if i % 7 == 0 else "entry",
            }
            if i % 7 == 0:
                entry["BlogPageName"] = "%s-article-%d" % (tag, i)
            out.write(json.dumps(entry) + "\n")
            titles.append(title)
    return titles


def find_stray(folder, patterns, recursive=True):
    found = []
    if not os.path.isdir(folder):
        return found
    for root, dirs, files in os.walk(folder):
        for name in files + dirs:
            if any(fnmatch.fnmatchcase(name, p) for p in patterns):
                found.append(os.path.relpath(os.path.join(root, name), folder))
        if not recursive:
            break
    return sorted(found)


def tree_stats(folder):
    """Every file below `folder` with its inode, size and modification time: a file written
    again (in place or by a rename) shows a change."""
    result = {}
    for rel, full in tree_files(folder).items():
        st = os.stat(full)
        result[rel] = (st.st_ino, st.st_size, st.st_mtime_ns)
    return result


def tree_files(folder):
    result = {}
    for root, _, files in os.walk(folder):
        for name in files:
            full = os.path.join(root, name)
            result[os.path.relpath(full, folder)] = full
    return result


def compare_trees(expected_folder, actual_folder, label):
    """Differences between two folders' files, byte for byte, as failure texts."""
    expected = tree_files(expected_folder)
    actual = tree_files(actual_folder)
    problems = []
    missing = sorted(set(expected) - set(actual))
    extra = sorted(set(actual) - set(expected))
    if missing:
        problems.append("%s lacks %d file(s), e.g. %s" % (label, len(missing), missing[:3]))
    if extra:
        problems.append("%s has %d extra file(s), e.g. %s" % (label, len(extra), extra[:3]))
    differ = []
    for rel in sorted(set(expected) & set(actual)):
        with open(expected[rel], "rb") as a, open(actual[rel], "rb") as b:
            if a.read() != b.read():
                differ.append(rel)
    if differ:
        problems.append("%s: %d file(s) differ, e.g. %s" % (label, len(differ), differ[:3]))
    return problems


class BlogState:
    """What one blog file holds, read from a copy of it (with its -wal and -shm)."""

    def __init__(self, integrity, entries, counts, pages):
        self.integrity = integrity
        self.entries = entries   # BlogKey -> (BlogDateTime, BlogTitle, crc of BlogText)
        self.counts = counts     # table -> rows, for the other tables
        self.pages = pages       # PageKey -> (PageCRCExisting, PageCRCNew)

    def pending(self):
        return sorted(k for k, (existing, new) in self.pages.items() if existing != new)


def read_blog(path, scratch):
    """Reads the blog at `path` without touching it: file, -wal and -shm are copied first.
    Returns a BlogState, or raises CliError when the file is missing or cannot be read."""
    if not os.path.isfile(path):
        raise CliError("the blog file %s is missing" % path)
    if os.path.exists(scratch):
        shutil.rmtree(scratch)
    os.makedirs(scratch)
    copy = os.path.join(scratch, os.path.basename(path))
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            shutil.copyfile(path + suffix, copy + suffix)
    try:
        db = sqlite3.connect(copy)
        try:
            integrity = "\n".join(r[0] for r in db.execute("PRAGMA integrity_check"))
            entries = {}
            for key, when, title, text in db.execute(
                    "SELECT BlogKey, BlogDateTime, BlogTitle, BlogText FROM tblBlog"):
                blob = text if isinstance(text, bytes) else (text or "").encode()
                entries[key] = (str(when), title, zlib.crc32(blob))
            counts = {}
            for table in ("tblPictures", "tblFiles", "tblCategory", "tblOptions"):
                counts[table] = db.execute("SELECT COUNT(*) FROM %s" % table).fetchone()[0]
            pages = {}
            for key, existing, new in db.execute(
                    "SELECT PageKey, PageCRCExisting, PageCRCNew FROM tblPages"):
                pages[key] = (existing, new)
        finally:
            db.close()
    except sqlite3.DatabaseError as e:
        raise CliError("the blog %s cannot be read: %s" % (path, e))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return BlogState(integrity, entries, counts, pages)


def same_rows(before, after, label):
    problems = []
    lost = [k for k in before.entries if k not in after.entries]
    changed = [k for k in before.entries if k in after.entries and after.entries[k] != before.entries[k]]
    if lost:
        problems.append("%s: %d committed entr(y/ies) lost, e.g. keys %s" % (label, len(lost), lost[:5]))
    if changed:
        problems.append("%s: %d entr(y/ies) changed, e.g. keys %s" % (label, len(changed), changed[:5]))
    for table, n in before.counts.items():
        if after.counts.get(table) != n:
            problems.append("%s: %s has %s rows, had %d" % (label, table, after.counts.get(table), n))
    return problems


# --- the runner ------------------------------------------------------------------------------

class Run:
    """One program folder (home) with its blog, where a command is run and killed."""

    def __init__(self, sweep, home):
        self.sweep = sweep
        self.home = home
        self.blog = os.path.join(home, "blog.zdb")
        self.output = os.path.join(home, "HTML", "blog")
        self.dest = os.path.join(home, "dest")
        self.backups = os.path.join(home, "backups")
        self.ftp_dir = None  # the FTP target folder on the server's disk

    def cli(self, *args, json_out=False, check=True):
        argv = [self.sweep.cli, "--home", self.home, "--yes"]
        if json_out:
            argv.append("--json")
        argv += list(args)
        p = subprocess.run(argv, cwd=self.home, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=600)
        out = p.stdout.decode("utf-8", "replace")
        err = p.stderr.decode("utf-8", "replace")
        if check and p.returncode != 0:
            raise CliError("tessavo-cli %s exited %d: %s%s" % (
                " ".join(args), p.returncode, err.strip()[-400:], out.strip()[-400:]))
        return p.returncode, out, err

    def json_of(self, out):
        # The JSON record comes last, after the log lines; it starts a line with "{".
        start = 0 if out.startswith("{") else out.rfind("\n{") + 1
        try:
            return json.loads(out[start:]) if start >= 0 else None
        except ValueError:
            raise CliError("no JSON at the end of the output: %s" % out[-300:])

    def state(self):
        return read_blog(self.blog, os.path.join(self.sweep.work, "scratch"))


class Scenario:
    """A command to kill: how to prepare its folder, what to run, what to check."""
    name = ""
    needs_ftp = False

    def __init__(self, sweep):
        self.sweep = sweep

    # The base folder every fault starts from (built once per sweep).
    def prepare(self, run):
        raise NotImplementedError

    # Makes a fresh copy ready (options that name folders inside it).
    def ready(self, run):
        pass

    def argv(self, run):
        raise NotImplementedError

    # Checks after the kill; `before` is the blog's state before the command started.
    def check_after_kill(self, run, before, after):
        return same_rows(before, after, "after the kill")

    # Runs the command again and checks that it converges; returns failure texts.
    def converge(self, run, before, after):
        raise NotImplementedError

    def strays(self, run):
        found = ["home: " + s for s in find_stray(run.home, HOME_STRAY_PATTERNS, recursive=False)]
        found += ["output: " + s for s in find_stray(run.output, STRAY_PATTERNS)]
        for label, folder in (("destination", run.dest), ("backups", run.backups),
                              ("ftp", run.ftp_dir)):
            if folder:
                found += ["%s: %s" % (label, s) for s in find_stray(folder, STRAY_PATTERNS)]
        return ["stray temporary files after the next run: %s" % found[:6]] if found else []


def base_blog(sweep, run, generate=False, media=True):
    # An installed program folder holds the default template package.
    package = os.path.join(os.path.dirname(sweep.cli), "@default.tem")
    if os.path.isfile(package):
        shutil.copyfile(package, os.path.join(run.home, "@default.tem"))
    run.cli("create", run.blog)
    entries = os.path.join(run.home, "base.jsonl")
    entries_jsonl(entries, sweep.entries, random.Random(1), "Base")
    run.cli("entry", "import", run.blog, entries)
    os.remove(entries)
    if media:
        png = os.path.join(run.home, "sunset.png")
        with open(png, "wb") as f:
            f.write(tiny_png())
        notes = os.path.join(run.home, "notes.txt")
        with open(notes, "w") as f:
            f.write("flour, water, salt\n" * 200)
        run.cli("picture", "add", run.blog, png)
        run.cli("file", "add", run.blog, notes)
        os.remove(png)
        os.remove(notes)
    if generate:
        run.cli("generate", run.blog)


class ImportScenario(Scenario):
    name = "import"

    def prepare(self, run):
        base_blog(self.sweep, run)
        self.titles = entries_jsonl(os.path.join(run.home, "more.jsonl"), self.sweep.entries * 2,
                                    random.Random(2), "Imported")

    def argv(self, run):
        return ["entry", "import", run.blog, os.path.join(run.home, "more.jsonl")]

    def added(self, before, after):
        return {k: v for k, v in after.entries.items() if k not in before.entries}

    def check_after_kill(self, run, before, after):
        problems = same_rows(before, after, "after the kill")
        added = self.added(before, after)
        if added and sorted(v[1] for v in added.values()) != sorted(self.titles):
            problems.append("import is not all-or-nothing: %d of %d rows after the kill" % (
                len(added), len(self.titles)))
        return problems

    def converge(self, run, before, after):
        run.cli(*self.argv(run))
        final = run.state()
        problems = [] if final.integrity == "ok" else ["integrity after the next run: " + final.integrity]
        problems += same_rows(after, final, "after the next run")
        added = self.added(after, final)
        if sorted(v[1] for v in added.values()) != sorted(self.titles):
            problems.append("the next import added %d rows, not %d" % (len(added), len(self.titles)))
        return problems


class GenerateScenario(Scenario):
    name = "generate"

    def prepare(self, run):
        base_blog(self.sweep, run)

    def argv(self, run):
        return ["generate", run.blog]

    def converge(self, run, before, after):
        run.cli("generate", run.blog)
        files = tree_stats(run.output)
        records = run.state().pages
        run.cli("generate", run.blog)
        problems = []
        again = tree_stats(run.output)
        written = sorted(k for k in set(files) | set(again) if files.get(k) != again.get(k))
        if written:
            problems.append("a third generate still wrote %d file(s), e.g. %s" % (len(written), written[:3]))
        if run.state().pages != records:
            problems.append("a third generate still changed page records")
        if self.sweep.reference_output.get(self.name):
            problems += compare_trees(self.sweep.reference_output[self.name], run.output,
                                      "output folder against an unbroken run")
        final = run.state()
        problems += same_rows(before, final, "after the next run")
        for key, (_, new) in final.pages.items():
            if new and not os.path.isfile(os.path.join(run.output, key)):
                problems.append("page record %s has no file" % key)
                break
        return problems


class RegenerateScenario(GenerateScenario):
    """Generate over an earlier site in which every page changes (a new blog title): each page
    replaces the one before it."""
    name = "regenerate"

    def prepare(self, run):
        base_blog(self.sweep, run, generate=True)
        run.cli("option", "set", run.blog, "101", "A blog with another title")


class PublishScenario(Scenario):
    def prepare(self, run):
        base_blog(self.sweep, run, generate=True)

    def argv(self, run):
        return ["publish", run.blog]

    def destination(self, run):
        raise NotImplementedError

    def converge(self, run, before, after):
        pending = len(after.pending())
        problems = []
        code, out, err = run.cli("publish", run.blog, json_out=True, check=False)
        if code != 0:
            return ["the next publish exited %d: %s" % (code, (err + out).strip()[-300:])]
        processed = run.json_of(out).get("processed", -1)
        if processed > pending:
            problems.append("the next publish sent %d files; %d were left to send" % (processed, pending))
        _, out, _ = run.cli("publish", run.blog, json_out=True)
        again = run.json_of(out).get("processed", -1)
        if again != 0:
            problems.append("a third publish still sent %d files" % again)
        final = run.state()
        problems += same_rows(before, final, "after the next run")
        left = final.pending()
        if left:
            problems.append("%d page records still unpublished, e.g. %s" % (len(left), left[:3]))
        problems += compare_trees(run.output, self.destination(run), "destination")
        return problems


class PublishCopyScenario(PublishScenario):
    name = "publish-copy"

    def ready(self, run):
        os.makedirs(run.dest, exist_ok=True)
        run.cli("option", "set", run.blog, "511", "1")
        run.cli("option", "set", run.blog, "512", run.dest + os.sep)

    def destination(self, run):
        return run.dest


class PublishFtpScenario(PublishScenario):
    name = "publish-ftp"
    needs_ftp = True

    def ready(self, run):
        folder = "sweep-%s" % os.path.basename(run.home)
        run.ftp_dir = os.path.join(self.sweep.ftp_root, folder)
        for key, value in (("511", "0"), ("501", "127.0.0.1"), ("502", str(self.sweep.ftp_port)),
                           ("503", "/" + folder), ("504", "writer"), ("505", "pw"), ("506", "1")):
            run.cli("option", "set", run.blog, key, value)

    def destination(self, run):
        return run.ftp_dir


class BackupScenario(Scenario):
    name = "backup"

    def prepare(self, run):
        base_blog(self.sweep, run)
        for _ in range(KEEP_BACKUPS):
            run.cli("backup", run.blog, "--location", run.backups, "--keep", str(KEEP_BACKUPS))

    def argv(self, run):
        return ["backup", run.blog, "--location", run.backups, "--keep", str(KEEP_BACKUPS)]

    def sound_backups(self, run, set_aside_too=False):
        """The sound backups; with `set_aside_too`, also those a stopped rotation set aside
        (".blog.~N.dropped"), which the next backup puts back among the others."""
        sound, problems = [], []
        if not os.path.isdir(run.backups):
            return sound, ["the backup folder is gone"]
        pattern = r"blog\.~\d+|\.blog\.~\d+\.dropped" if set_aside_too else r"blog\.~\d+"
        for name in sorted(os.listdir(run.backups)):
            if not re.fullmatch(pattern, name):
                continue
            try:
                s = read_blog(os.path.join(run.backups, name), os.path.join(self.sweep.work, "scratch"))
            except CliError as e:
                problems.append("backup %s: %s" % (name, e))
                continue
            if s.integrity != "ok":
                problems.append("backup %s fails its integrity check: %s" % (name, s.integrity[:200]))
            else:
                sound.append((name, s))
        return sound, problems

    def check_after_kill(self, run, before, after):
        problems = same_rows(before, after, "after the kill")
        sound, bad = self.sound_backups(run, set_aside_too=True)
        problems += bad
        if len(sound) < KEEP_BACKUPS:
            problems.append("only %d sound backups left of %d: %s" % (
                len(sound), KEEP_BACKUPS, [n for n, _ in sound]))
        return problems

    def converge(self, run, before, after):
        run.cli(*self.argv(run))
        final = run.state()
        problems = same_rows(before, final, "after the next run")
        sound, bad = self.sound_backups(run)
        problems += bad
        names = [n for n, _ in sound]
        if names != ["blog.~%d" % k for k in range(1, KEEP_BACKUPS + 1)]:
            problems.append("backups after the next run: %s" % names)
        newest = dict(sound).get("blog.~1")
        if newest is not None:
            problems += same_rows(final, newest, "the newest backup")
        return problems


class CompactScenario(Scenario):
    name = "compact"

    def prepare(self, run):
        base_blog(self.sweep, run)

    def argv(self, run):
        return ["compact", run.blog]

    def converge(self, run, before, after):
        run.cli(*self.argv(run))
        final = run.state()
        problems = [] if final.integrity == "ok" else ["integrity after the next run: " + final.integrity[:200]]
        return problems + same_rows(before, final, "after the next run")


class RepairScenario(Scenario):
    name = "repair"

    def prepare(self, run):
        base_blog(self.sweep, run)

    def argv(self, run):
        return ["repair", run.blog]

    def converge(self, run, before, after):
        code, out, err = run.cli(*self.argv(run), check=False)
        problems = []
        if code != 0:
            problems.append("the next repair exited %d: %s" % (code, (err + out).strip()[-300:]))
        final = run.state()
        if final.integrity != "ok":
            problems.append("integrity after the next repair: " + final.integrity[:200])
        return problems + same_rows(before, final, "after the next repair")


WAL_WRITER = r"""
import os, signal, sqlite3, sys
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("PRAGMA wal_autocheckpoint = 0")
db.execute("BEGIN")
db.execute("UPDATE tblBlog SET BlogTitle = BlogTitle || ' (committed before a crash)' "
           "WHERE BlogKey IN (SELECT BlogKey FROM tblBlog ORDER BY BlogKey LIMIT 5)")
db.execute("INSERT INTO tblBlog (BlogDateTime, BlogTitle, BlogText, BlogCategory, BlogPageType, "
           "BlogPageName) SELECT BlogDateTime, BlogTitle || ' (copy)', BlogText, BlogCategory, "
           "0, '' FROM tblBlog ORDER BY BlogKey DESC LIMIT 3")
db.execute("COMMIT")
os.kill(os.getpid(), signal.SIGKILL)
"""


class RepairWalScenario(RepairScenario):
    """Repair of a blog whose last writer was killed after its commit: the committed rows are
    still only in the write-ahead log beside the file."""
    name = "repair-wal"

    def ready(self, run):
        subprocess.run([sys.executable, "-c", WAL_WRITER, run.blog], check=False)
        if not os.path.exists(run.blog + "-wal"):
            raise CliError("the crashed writer left no write-ahead log")


SCENARIOS = {c.name: c for c in (ImportScenario, GenerateScenario, RegenerateScenario,
                                 PublishCopyScenario, PublishFtpScenario, BackupScenario,
                                 CompactScenario, RepairScenario, RepairWalScenario)}


# --- the sweep -------------------------------------------------------------------------------

class Fault:
    def __init__(self, command, way, seed, delay=None, syscall=None, nth=None):
        self.command, self.way, self.seed = command, way, seed
        self.delay, self.syscall, self.nth = delay, syscall, nth

    def spec(self):
        if self.way == "delay":
            return "%s:delay:%.4f" % (self.command, self.delay)
        return "%s:syscall:%s:%d" % (self.command, self.syscall, self.nth)

    @staticmethod
    def parse(text):
        parts = text.split(":")
        if len(parts) == 3 and parts[1] == "delay":
            return Fault(parts[0], "delay", None, delay=float(parts[2]))
        if len(parts) == 4 and parts[1] == "syscall":
            return Fault(parts[0], "syscall", None, syscall=parts[2], nth=int(parts[3]))
        raise ValueError("a replay is COMMAND:delay:SECONDS or COMMAND:syscall:NAME:N")


class Sweep:
    def __init__(self, args):
        self.cli = os.path.abspath(args.cli)
        self.entries = args.entries
        self.work = args.work or tempfile.mkdtemp(prefix="tessavo-kill-sweep-")
        os.makedirs(self.work, exist_ok=True)
        self.strace = shutil.which("strace") if args.syscall_runs > 0 else None
        self.reference_output = {}
        self.duration = {}
        self.syscall_counts = {}
        self.ftp_root = os.path.join(self.work, "ftp")
        self.ftp_port = 0
        self.ftp = None
        self.bases = {}
        self.keep = args.keep
        self.verbose = args.verbose
        self.serial = 0

    def log(self, text):
        if self.verbose:
            print(text, flush=True)

    # The FTP server the FTP publisher sends to, started once.
    def start_ftp(self):
        if self.ftp:
            return True
        os.makedirs(self.ftp_root, exist_ok=True)
        try:
            self.ftp = subprocess.Popen(
                ["/usr/bin/python3", FTP_SERVER, "--root", self.ftp_root, "--user", "writer",
                 "--password", "pw"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        except OSError:
            return False
        line = self.ftp.stdout.readline().decode()
        m = re.match(r"PORT (\d+)", line)
        if not m:
            self.ftp.kill()
            self.ftp = None
            return False
        self.ftp_port = int(m.group(1))
        return True

    def stop_ftp(self):
        if self.ftp:
            self.ftp.terminate()
            self.ftp.wait()
            self.ftp = None

    def fresh_run(self, scenario):
        self.serial += 1
        home = os.path.join(self.work, "runs", "%s-%04d" % (scenario.name, self.serial))
        shutil.copytree(self.bases[scenario.name], home, symlinks=True)
        run = Run(self, home)
        scenario.ready(run)
        return run

    def prepare(self, scenario):
        """Builds the base folder, then times one unbroken run and counts its system calls."""
        base = os.path.join(self.work, "base", scenario.name)
        if os.path.exists(base):
            shutil.rmtree(base)
        os.makedirs(base)
        scenario.prepare(Run(self, base))
        self.bases[scenario.name] = base

        timings, outputs = [], []
        for _ in range(2):
            run = self.fresh_run(scenario)
            start = time.monotonic()
            run.cli(*scenario.argv(run))
            timings.append(time.monotonic() - start)
            outputs.append(run)
        self.duration[scenario.name] = min(timings)
        if isinstance(scenario, GenerateScenario):
            # The output of an unbroken run is the reference when two runs agree.
            if not compare_trees(outputs[0].output, outputs[1].output, "x"):
                self.reference_output[scenario.name] = outputs[0].output
        if self.strace:
            run = self.fresh_run(scenario)
            trace = os.path.join(self.work, "trace-%s.txt" % scenario.name)
            subprocess.run([self.strace, "-f", "-qq", "-o", trace, "-e", "trace=" + ",".join(SYSCALLS),
                            self.cli, "--home", run.home, "--yes"] + scenario.argv(run),
                           cwd=run.home, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            counts = {}
            with open(trace, errors="replace") as f:
                for line in f:
                    m = re.match(r"(?:\d+\s+)?(\w+)\(", line)
                    if m and m.group(1) in SYSCALLS:
                        counts[m.group(1)] = counts.get(m.group(1), 0) + 1
            self.syscall_counts[scenario.name] = counts
        self.log("%s: an unbroken run takes %.2f s; system calls %s%s" % (
            scenario.name, self.duration[scenario.name], self.syscall_counts.get(scenario.name),
            "; its output is the reference" if scenario.name in self.reference_output else ""))

    def draw(self, command, way, seed):
        rng = random.Random(seed)
        if way == "delay":
            # Up to the end of an unbroken run, so that the very end is hit too.
            return Fault(command, way, seed, delay=rng.uniform(0.0, self.duration[command]))
        counts = self.syscall_counts.get(command) or {}
        names = sorted(n for n, c in counts.items() if c > 0)
        if not names:
            return None
        name = rng.choice(names)
        return Fault(command, way, seed, syscall=name, nth=rng.randint(1, counts[name]))

    def kill(self, scenario, run, fault):
        """Runs the command and kills it. True when it was killed, False when it ended first."""
        argv = [self.cli, "--home", run.home, "--yes"] + scenario.argv(run)
        out = open(os.path.join(run.home, "killed-run.out"), "wb")
        if fault.way == "syscall":
            argv = [self.strace, "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + fault.syscall,
                    "-e", "inject=%s:signal=KILL:when=%d" % (fault.syscall, fault.nth)] + argv
            p = subprocess.run(argv, cwd=run.home, stdout=out, stderr=subprocess.STDOUT, timeout=600)
            out.close()
            return p.returncode in (-signal.SIGKILL, 128 + signal.SIGKILL)
        start = time.monotonic()
        p = subprocess.Popen(argv, cwd=run.home, stdout=out, stderr=subprocess.STDOUT)
        killed = False
        while p.poll() is None:
            left = fault.delay - (time.monotonic() - start)
            if left <= 0:
                p.send_signal(signal.SIGKILL)
                killed = True
                break
            time.sleep(min(left, 0.002))
        else:
            # It ended first: later delays are drawn within the time it really took.
            took = time.monotonic() - start
            self.duration[fault.command] = min(self.duration[fault.command], took)
        p.wait()
        out.close()
        return killed and p.returncode == -signal.SIGKILL

    def one(self, scenario, fault):
        """Injects one fault. Returns (killed, failure texts)."""
        run = self.fresh_run(scenario)
        before = run.state()
        if before.integrity != "ok":
            return True, ["the prepared blog is not sound: " + before.integrity]
        killed = self.kill(scenario, run, fault)
        problems = []
        try:
            after = run.state()
        except CliError as e:
            problems.append(str(e))
            after = None
        if after is not None:
            if after.integrity != "ok":
                problems.append("integrity after the kill: " + after.integrity[:200])
            problems += scenario.check_after_kill(run, before, after)
            try:
                problems += scenario.converge(run, before, after)
            except CliError as e:
                problems.append("after the next run: %s" % e)
            problems += scenario.strays(run)
        if problems:
            with open(os.path.join(run.home, "failure.txt"), "w") as f:
                f.write(fault.spec() + "\n" + "\n".join(problems) + "\n")
            self.failed_runs.append(run.home)
        elif not self.keep:
            shutil.rmtree(run.home, ignore_errors=True)
        return killed, problems

    def sweep(self, commands, runs, syscall_runs, seed, replay=None):
        self.failed_runs = []
        master = random.Random(seed)
        rows, failures = [], []
        for command in commands:
            scenario = SCENARIOS[command](self)
            if scenario.needs_ftp and not self.start_ftp():
                rows.append((command, "-", 0, 0, 0, "skipped: the FTP server (python3-pyftpdlib) did not start"))
                continue
            try:
                self.prepare(scenario)
            except CliError as e:
                rows.append((command, "-", 0, 0, 0, "skipped: preparing failed: %s" % e))
                continue
            ways = [("delay", runs)] if runs > 0 else []
            if syscall_runs > 0:
                if self.strace:
                    ways.append(("syscall", syscall_runs))
                else:
                    rows.append((command, "syscall", 0, 0, 0, "skipped: strace is not installed"))
            for way, count in ways:
                injected = survived = missed = failed = 0
                for _ in range(count):
                    fault_seed = master.randrange(2 ** 32)
                    if replay:
                        fault = replay
                    else:
                        fault = self.draw(command, way, fault_seed)
                        if fault is None:
                            break
                    killed, problems = self.one(scenario, fault)
                    if not killed:
                        missed += 1
                    injected += killed
                    if problems:
                        failed += 1
                        failures.append((fault, problems))
                        self.log("FAIL %s (seed %s): %s" % (fault.spec(), fault.seed, problems[0]))
                    elif killed:
                        survived += 1
                    if replay:
                        break
                note = "%d ran to the end before the kill" % missed if missed else ""
                rows.append((command, way, injected, survived, failed, note))
        self.stop_ftp()
        return rows, failures


def print_report(rows, failures, seed, cli):
    print()
    print("Kill-9 sweep of %s, seed %d" % (cli, seed))
    print()
    header = ("command", "way", "faults injected", "survived", "failed", "note")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(5)]
    line = "  ".join("%-*s" % (widths[i], header[i]) for i in range(5)) + "  " + header[5]
    print(line)
    print("-" * len(line))
    for r in rows:
        print("  ".join("%-*s" % (widths[i], r[i]) for i in range(5)) + "  " + r[5])
    total_injected = sum(r[2] for r in rows)
    total_survived = sum(r[3] for r in rows)
    print("-" * len(line))
    print("total: %d faults injected, %d survived, %d failures" % (
        total_injected, total_survived, len(failures)))
    if failures:
        print()
        print("Failures (replay one with --replay SPEC; --seed %d repeats the whole sweep):" % seed)
        for fault, problems in failures:
            seed_text = "seed %d" % fault.seed if fault.seed is not None else "replayed"
            print("  %s (%s)" % (fault.spec(), seed_text))
            for p in problems:
                print("      - " + p)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--cli", default=os.path.join(SOURCE, "build", "src", "cli", "tessavo-cli"),
                   help="the tessavo-cli to test (default: build/src/cli/tessavo-cli)")
    p.add_argument("--runs", type=int, default=20, help="faults at a random moment per command")
    p.add_argument("--syscall-runs", type=int, default=0,
                   help="faults at a chosen system call per command (needs strace)")
    p.add_argument("--seed", type=int, default=None, help="the sweep's random seed")
    p.add_argument("--commands", default=",".join(COMMANDS),
                   help="comma-separated subset of: " + ", ".join(COMMANDS))
    p.add_argument("--entries", type=int, default=1000, help="entries in the prepared blog")
    p.add_argument("--replay", help="one fault: COMMAND:delay:SECONDS or COMMAND:syscall:NAME:N")
    p.add_argument("--work", help="work folder (default: a new temporary folder)")
    p.add_argument("--keep", action="store_true", help="keep every run's folder, not only failed ones")
    p.add_argument("-v", "--verbose", action="store_true")
    args = p.parse_args()

    if not os.access(args.cli, os.X_OK):
        p.error("no tessavo-cli at %s (build it, or give --cli)" % args.cli)
    seed = args.seed if args.seed is not None else random.randrange(2 ** 31)
    replay = None
    commands = [c.strip() for c in args.commands.split(",") if c.strip()]
    if args.replay:
        replay = Fault.parse(args.replay)
        commands = [replay.command]
        if replay.way == "syscall":
            args.syscall_runs, args.runs = max(args.syscall_runs, 1), 0
        else:
            args.runs, args.syscall_runs = 1, 0
    for c in commands:
        if c not in SCENARIOS:
            p.error("unknown command %s" % c)

    sweep = Sweep(args)
    try:
        rows, failures = sweep.sweep(commands, args.runs, args.syscall_runs, seed, replay)
    finally:
        sweep.stop_ftp()
    print_report(rows, failures, seed, sweep.cli)
    if sweep.failed_runs:
        print()
        print("Folders of failed runs are kept below %s" % os.path.join(sweep.work, "runs"))
    elif not args.keep and not args.work:
        shutil.rmtree(sweep.work, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
