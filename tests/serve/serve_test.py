#!/usr/bin/python3
"""tessavo-cli serve, end to end: a temporary blog, the real program on a free port, and
Python's HTTP client (plus raw sockets for what a client library would never send).

Checks the pages served against the files on disk, the reload script in HTML responses
only, the refusal of every way out of the output folder, a 10 MB header line, the reload
after an entry is edited by another command, waiting for a blog held by another program,
and a clean stop on SIGTERM.
"""
import fcntl
import http.client
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

CLI = os.environ.get("TESSAVO_CLI", "")
SCRIPT = re.compile(rb"<script>/\* Tessavo live preview.*?</script>", re.S)
SERVING = re.compile(r"^Serving (.+) at http://127\.0\.0\.1:(\d+)/$")


def run_cli(args, home, cwd):
    env = dict(os.environ, TESSAVO_HOME=home)
    return subprocess.run([CLI] + args, cwd=cwd, env=env, capture_output=True, text=True,
                          timeout=120)


class Server:
    """tessavo-cli serve in the background, its output gathered line by line."""

    def __init__(self, args, home, cwd):
        env = dict(os.environ, TESSAVO_HOME=home)
        self.process = subprocess.Popen([CLI, "serve"] + args, cwd=cwd, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True)
        self.lines = []
        self.errors = []
        self.lock = threading.Lock()
        self.readers = [threading.Thread(target=self._read, args=(self.process.stdout, self.lines)),
                        threading.Thread(target=self._read, args=(self.process.stderr, self.errors))]
        for r in self.readers:
            r.daemon = True
            r.start()

    def _read(self, stream, into):
        for line in stream:
            with self.lock:
                into.append(line.rstrip("\n"))

    def wait_for_line(self, pattern, timeout=60, start=0):
        """The first match of `pattern` among the output lines from `start` on."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self.lock:
                for line in self.lines[start:]:
                    m = re.search(pattern, line)
                    if m:
                        return m
            if self.process.poll() is not None:
                time.sleep(0.2)  # let the readers take the last lines
                with self.lock:
                    for line in self.lines[start:]:
                        m = re.search(pattern, line)
                        if m:
                            return m
                return None
            time.sleep(0.05)
        return None

    def output(self):
        with self.lock:
            return "\n".join(self.lines) + "\n--- stderr ---\n" + "\n".join(self.errors)

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)


def get(port, path, method="GET", headers=None):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=20)
    try:
        conn.request(method, path, headers=headers or {})
        response = conn.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        conn.close()


def raw_exchange(port, data):
    """Sends `data` as it is and returns what comes back until the server closes."""
    with socket.create_connection(("127.0.0.1", port), timeout=20) as s:
        try:
            s.sendall(data)
        except (BrokenPipeError, ConnectionResetError):
            pass
        reply = b""
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                reply += chunk
        except (ConnectionResetError, socket.timeout):
            pass
        return reply


class ServeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Run by ctest, which always names the program built beside the test.
        if not CLI or not os.path.exists(CLI):
            raise AssertionError("TESSAVO_CLI does not name the built tessavo-cli: " + CLI)
        cls.dir = tempfile.mkdtemp(prefix="tessavo-serve-")
        cls.home = os.path.join(cls.dir, "home")
        os.makedirs(cls.home)
        r = run_cli(["--yes", "create", "blog.zdb"], cls.home, cls.dir)
        assert r.returncode == 0, r.stdout + r.stderr
        cls.blog = os.path.join(cls.dir, "blog.zdb")
        cls.server = Server(["blog.zdb", "--port", "0"], cls.home, cls.dir)
        m = cls.server.wait_for_line(SERVING.pattern)
        if not m:
            cls.server.kill()
            raise AssertionError("no address from serve:\n" + cls.server.output())
        cls.folder = m.group(1)
        cls.port = int(m.group(2))

    @classmethod
    def tearDownClass(cls):
        if hasattr(cls, "server"):
            cls.server.kill()
        if hasattr(cls, "dir"):
            shutil.rmtree(cls.dir, ignore_errors=True)

    def disk(self, name):
        with open(os.path.join(self.folder, name), "rb") as f:
            return f.read()

    def version(self):
        status, _, body = get(self.port, "/__tessavo/version")
        self.assertEqual(status, 200)
        return body

    def assert_refused(self, path):
        reply = raw_exchange(self.port, b"GET " + path + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                             b"Connection: close\r\n\r\n")
        status = int(reply.split(b" ", 2)[1]) if reply.startswith(b"HTTP/1.") else 0
        self.assertIn(status, (400, 403, 404), path + b" answered " + reply[:200])
        self.assertNotIn(b"SQLite format 3", reply, path)

    def test_1_the_output_folder_is_the_blogs(self):
        self.assertEqual(os.path.realpath(self.folder),
                         os.path.realpath(os.path.join(self.home, "HTML", "blog")))
        # The generation ran as generate runs, with its log lines.
        self.assertTrue(self.server.wait_for_line(r"^Generating HTML$", timeout=1))
        self.assertTrue(self.server.wait_for_line(r"^Done!$", timeout=1))

    def test_2_html_pages_carry_the_reload_script_and_nothing_else(self):
        for path in ("/", "/index.html"):
            status, headers, body = get(self.port, path)
            self.assertEqual(status, 200)
            self.assertTrue(headers["Content-Type"].startswith("text/html"), headers)
            on_disk = self.disk("index.html")
            self.assertEqual(len(SCRIPT.findall(body)), 1, body[-400:])
            self.assertEqual(SCRIPT.sub(b"", body), on_disk)
            self.assertNotIn(b"Tessavo live preview", on_disk)
            self.assertIn(b"/__tessavo/version", body)

    def test_2_other_files_are_sent_as_they_are(self):
        status, headers, body = get(self.port, "/default.css")
        self.assertEqual(status, 200)
        self.assertEqual(body, self.disk("default.css"))
        self.assertTrue(headers["Content-Type"].startswith("text/css"), headers)
        status, headers, body = get(self.port, "/rss.xml")
        self.assertEqual(status, 200)
        self.assertEqual(body, self.disk("rss.xml"))
        self.assertNotIn(b"<script>", body)
        status, headers, body = get(self.port, "/leftside.jpg")
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "image/jpeg")
        self.assertEqual(body, self.disk("leftside.jpg"))
        status, headers, body = get(self.port, "/leftside.jpg", method="HEAD")
        self.assertEqual(status, 200)
        self.assertEqual(int(headers["Content-Length"]), len(self.disk("leftside.jpg")))
        self.assertEqual(body, b"")

    def test_3_missing_files_and_other_methods(self):
        status, _, _ = get(self.port, "/no-such-page.html")
        self.assertEqual(status, 404)
        status, headers, _ = get(self.port, "/index.html", method="POST")
        self.assertEqual(status, 405)
        self.assertEqual(headers.get("Allow"), "GET, HEAD")
        status, _, _ = get(self.port, "/index.html", method="DELETE")
        self.assertEqual(status, 405)
        self.assertTrue(os.path.exists(os.path.join(self.folder, "index.html")))

    def test_4_no_way_out_of_the_folder(self):
        # The blog file sits two folders above the output folder's parent; the home
        # folder holds the output folder's sisters.
        for path in (b"/../blog.zdb", b"/../../../blog.zdb", b"/%2e%2e/blog.zdb",
                     b"/%2E%2E/%2e%2e/%2e%2e/blog.zdb", b"/%252e%252e/",
                     b"/%252e%252e/%252e%252e/%252e%252e/blog.zdb", b"/..%2fblog.zdb",
                     b"/..%2f..%2f..%2fblog.zdb", b"/%2e%2e%2f%2e%2e%2f%2e%2e%2fblog.zdb",
                     b"/..%5c..%5c..%5cblog.zdb", b"//" + self.blog.encode(),
                     b"/%2f" + self.blog.encode()[1:], b"/index.html%00.css",
                     b"http://127.0.0.1/../blog.zdb"):
            self.assert_refused(path)
        # Ways up that would land inside the folder again are refused all the same.
        for path in (b"/../blog/index.html", b"/%2e%2e/blog/index.html",
                     b"/..%2fblog%2findex.html", b"/images/%2E%2E/index.html"):
            self.assert_refused(path)

    def test_4_links_count_where_they_lead(self):
        outside = os.path.join(self.folder, "outside.html")
        inside = os.path.join(self.folder, "inside.css")
        up = os.path.join(self.folder, "up")
        os.symlink(self.blog, outside)
        os.symlink(os.path.join(self.folder, "default.css"), inside)
        os.symlink(self.dir, up)
        try:
            self.assert_refused(b"/outside.html")
            self.assert_refused(b"/up/blog.zdb")
            self.assert_refused(b"/up/")
            status, _, body = get(self.port, "/inside.css")
            self.assertEqual(status, 200)
            self.assertEqual(body, self.disk("default.css"))
        finally:
            for link in (outside, inside, up):
                os.remove(link)

    def test_5_a_ten_megabyte_header_line_is_refused(self):
        huge = (b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + b"a" * (10 * 1024 * 1024) +
                b"\r\nConnection: close\r\n\r\n")
        reply = raw_exchange(self.port, huge)
        self.assertFalse(reply.startswith(b"HTTP/1.1 200"), reply[:200])
        line = b"GET /" + b"a" * (10 * 1024 * 1024) + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
        reply = raw_exchange(self.port, line)
        self.assertFalse(reply.startswith(b"HTTP/1.1 200"), reply[:200])
        # The server goes on answering.
        status, _, _ = get(self.port, "/")
        self.assertEqual(status, 200)
        self.assertIsNone(self.server.process.poll())

    def test_6_an_edited_entry_reloads_open_pages(self):
        before = self.version()
        status, _, page = get(self.port, "/")
        self.assertIn(before, page)  # the page knows the version it came with
        lines = len(self.server.lines)
        r = run_cli(["entry", "edit", "blog.zdb", "5", "--title", "Edited while serving"],
                    self.home, self.dir)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        deadline = time.monotonic() + 20
        while self.version() == before and time.monotonic() < deadline:
            time.sleep(0.1)
        after = self.version()
        self.assertNotEqual(after, before, self.server.output())
        self.assertTrue(self.server.wait_for_line(r"^Generating HTML$", timeout=1, start=lines))
        status, _, page = get(self.port, "/")
        self.assertEqual(status, 200)
        self.assertIn(b"Edited while serving", page)
        self.assertIn(after, page)
        on_disk = self.disk("index.html")
        self.assertIn(b"Edited while serving", on_disk)
        self.assertNotIn(b"Tessavo live preview", on_disk)
        for name in os.listdir(self.folder):
            if name.endswith((".html", ".htm")):
                self.assertNotIn(b"Tessavo live preview", self.disk(name), name)

    def test_7_a_blog_held_by_another_program_is_waited_for(self):
        before = self.version()
        lines = len(self.server.lines)
        with open(self.blog, "rb") as held:
            # The lock every writing Tessavo program takes, with a change of the file.
            fcntl.flock(held, fcntl.LOCK_EX)
            os.utime(self.blog)
            m = self.server.wait_for_line(r"open in another Tessavo program.*waiting", timeout=20,
                                          start=lines)
            self.assertTrue(m, self.server.output())
            self.assertIsNone(self.server.process.poll())
            status, _, _ = get(self.port, "/")  # still serving meanwhile
            self.assertEqual(status, 200)
            self.assertEqual(self.version(), before)
            fcntl.flock(held, fcntl.LOCK_UN)
        self.assertTrue(self.server.wait_for_line(r"^Done!$", timeout=30, start=lines),
                        self.server.output())

    def test_7_a_failed_run_keeps_the_last_files_served(self):
        # A folder where the next run must write a page makes that run stop with an error.
        page = os.path.join(self.folder, "about.html")
        os.remove(page)
        os.makedirs(os.path.join(page, "in-the-way"))
        try:
            before = self.version()
            errors = len(self.server.errors)
            r = run_cli(["entry", "edit", "blog.zdb", "3", "--title", "About, edited"],
                        self.home, self.dir)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                with self.server.lock:
                    seen = "\n".join(self.server.errors[errors:])
                if "still serving" in seen:
                    break
                time.sleep(0.1)
            self.assertIn("Cannot write " + page, seen, self.server.output())
            self.assertIn("the site was not generated; still serving", seen)
            self.assertIsNone(self.server.process.poll())
            status, _, body = get(self.port, "/index.html")
            self.assertEqual(status, 200)
            self.assertEqual(SCRIPT.sub(b"", body), self.disk("index.html"))
            self.assertEqual(self.version(), before)  # nothing to reload
        finally:
            shutil.rmtree(page)

    def test_8_a_taken_port_is_an_error(self):
        r = run_cli(["serve", "blog.zdb", "--port", str(self.port)], self.home, self.dir)
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn("Cannot listen on 127.0.0.1:" + str(self.port), r.stderr)
        status, _, _ = get(self.port, "/")
        self.assertEqual(status, 200)

    def test_9_sigterm_stops_cleanly(self):
        self.server.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.server.process.wait(20), 0, self.server.output())
        with self.assertRaises(OSError):
            get(self.port, "/")


if __name__ == "__main__":
    unittest.main()
