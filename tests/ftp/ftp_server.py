#!/usr/bin/python3
"""A local FTP server for the publishing tests, built on pyftpdlib.

Serves ROOT on 127.0.0.1 (or --host) with an anonymous user that may write (or one named user),
prints "PORT <n>" once it listens, and can be told to misbehave:
  --greeting-120      send a "120" line before the greeting
  --greeting-421      answer the connection with 421 and close
  --reject-pass       answer PASS with 530
  --no-epsv           answer EPSV with 500
  --rest-502          answer REST with 502
  --fail-stor NAME    answer STOR NAME with 550 (may be repeated)
  --drop-stor NAME    drop the connection after "150" on STOR NAME
  --slow SECONDS      wait before every reply
  --pasv-ip ADDR      name ADDR in PASV replies instead of the real address
  --tls CERT KEY      explicit FTPS (AUTH TLS) with this certificate and key
  --refuse-prot-p     answer PROT P with 536
  --drop-handshake    answer AUTH TLS with 234, then close the connection
  --full-disk NAME    answer STOR NAME with 552 after taking the data (may be repeated)
  --threaded          one thread per connection (with --delay, the connections stay
                      independent of each other)
  --delay SECONDS     wait before every reply and before taking every data connection,
                      as a slow link would
"""
import argparse
import logging
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--user")
    p.add_argument("--password", default="")
    p.add_argument("--greeting-120", action="store_true")
    p.add_argument("--greeting-421", action="store_true")
    p.add_argument("--reject-pass", action="store_true")
    p.add_argument("--no-epsv", action="store_true")
    p.add_argument("--rest-502", action="store_true")
    p.add_argument("--fail-stor", action="append", default=[])
    p.add_argument("--drop-stor", action="append", default=[])
    p.add_argument("--slow", type=float, default=0.0)
    p.add_argument("--pasv-ip")
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    p.add_argument("--refuse-prot-p", action="store_true")
    p.add_argument("--drop-handshake", action="store_true")
    p.add_argument("--full-disk", action="append", default=[])
    p.add_argument("--threaded", action="store_true")
    p.add_argument("--delay", type=float, default=0.0)
    a = p.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    if a.user:
        authorizer.add_user(a.user, a.password, a.root, perm="elradfmwMT")
    else:
        import warnings
        warnings.simplefilter("ignore")
        authorizer.add_anonymous(a.root, perm="elradfmwMT")

    base = FTPHandler
    if a.tls:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler
        base.certfile = a.tls[0]
        base.keyfile = a.tls[1]

    if a.delay:
        from pyftpdlib.handlers import PassiveDTP

        class SlowPassiveDTP(PassiveDTP):
            def handle_accepted(self, sock, addr):
                time.sleep(a.delay)
                PassiveDTP.handle_accepted(self, sock, addr)

        base.passive_dtp = SlowPassiveDTP

    class Handler(base):
        def handle(self):
            if a.greeting_421:
                self.push("421 Service not available, closing control connection.\r\n")
                self.close_when_done()
                return
            if a.greeting_120:
                self.push("120 Service ready in a moment.\r\n")
            base.handle(self)

        def respond(self, resp, logfun=None):
            if a.slow:
                time.sleep(a.slow)
            if a.delay:
                time.sleep(a.delay)
            if a.pasv_ip and resp.startswith("227 "):
                port_part = resp[resp.index("(") + 1:resp.index(")")].split(",")[4:]
                resp = "227 Entering passive mode (%s,%s)." % (
                    a.pasv_ip.replace(".", ","), ",".join(port_part))
            base.respond(self, resp)

        def pre_process_command(self, line, cmd, arg):
            if cmd == "PASS" and a.reject_pass:
                self.respond("530 Login incorrect.")
                return
            if cmd == "EPSV" and a.no_epsv:
                self.respond("500 Command EPSV not understood.")
                return
            if cmd == "REST" and a.rest_502:
                self.respond("502 Command not implemented.")
                return
            if cmd == "STOR" and arg in a.fail_stor:
                if self.data_channel is not None:
                    self.data_channel.close()
                    self.data_channel = None
                self.respond("550 Permission denied.")
                return
            if cmd == "STOR" and arg in a.drop_stor:
                self.push("150 Ok to send data.\r\n")
                self.close_when_done()
                return
            if cmd == "PROT" and arg.upper() == "P" and a.refuse_prot_p:
                self.respond("536 Requested PROT level not supported by mechanism.")
                return
            if cmd == "AUTH" and a.drop_handshake:
                self.push("234 AUTH TLS successful.\r\n")
                self.close_when_done()
                return
            base.pre_process_command(self, line, cmd, arg)

        def on_file_received(self, file):
            import os
            if os.path.basename(file) in a.full_disk:
                os.remove(file)

    Handler.authorizer = authorizer
    Handler.banner = "pyftpdlib test server ready."
    if a.full_disk:
        # A full disk: the data is taken, then the closing reply says 552 and no file
        # stays behind.
        real_respond = Handler.respond

        def respond(self, resp, logfun=None):
            if resp.startswith("226") and getattr(self, "_full_disk_now", False):
                self._full_disk_now = False
                resp = "552 Requested file action aborted. Exceeded storage allocation."
            real_respond(self, resp, logfun)

        real_stor = Handler.ftp_STOR

        def ftp_STOR(self, file, mode="w"):
            import os
            self._full_disk_now = os.path.basename(file) in a.full_disk
            return real_stor(self, file, mode)

        Handler.respond = respond
        Handler.ftp_STOR = ftp_STOR

    server_class = FTPServer
    if a.threaded:
        from pyftpdlib.servers import ThreadedFTPServer
        server_class = ThreadedFTPServer
    server = server_class((a.host, a.port), Handler)
    print("PORT %d" % server.address[1], flush=True)
    sys.stdout.close()
    server.serve_forever(timeout=0.2)


if __name__ == "__main__":
    main()
