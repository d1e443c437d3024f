"""Loopback SFTP server for the tests.

One user, password and/or keyboard-interactive login, a root folder that the
client cannot leave: the session starts in the login folder below the root, so
"../ZRBELEG" reaches a sibling data folder. Fault switches make reads stall,
come back short, trickle or never end, end the process in the middle of a
transfer, make a listing endless or leave out the file types, make a remove
fail, offer no rename that replaces a file, or allow one session per user at
a time, as servers we do not control may behave.

Prints the port it listens on as its first line, then one line per event
(host key fingerprint, login attempts, subsystem requests).
"""

import argparse
import asyncio
import os
import posixpath
import warnings
from itertools import count

warnings.filterwarnings("ignore")  # the cryptography module's deprecation noise
import asyncssh  # noqa: E402


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--root", required=True, help="folder that is / for the client")
    p.add_argument("--home", default="home", help="login folder below the root")
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--auth", choices=["password", "keyboard-interactive", "both"], default="both")
    p.add_argument("--host-key", help="private host key file; a new Ed25519 key if not given")
    p.add_argument("--stall-after", type=int, help="stop answering reads after this many bytes")
    p.add_argument("--short-reads", type=int, help="answer every read with at most this many bytes")
    p.add_argument("--kill-after", type=int, help="exit at once on a read after this many bytes")
    p.add_argument("--refuse-sftp", action="store_true", help="refuse the sftp subsystem")
    p.add_argument("--fake-name", action="append", default=[],
                   help="list NAME in every folder as a 5-byte file that exists nowhere")
    p.add_argument("--one-session", action="store_true",
                   help="refuse a login while another session of the user is open")
    p.add_argument("--no-permissions", action="store_true",
                   help="send no permission bits (no file type) in listings and attributes")
    p.add_argument("--endless-listing", help="listing this folder never comes to an end")
    p.add_argument("--longer-than-listed", help="this file is listed with 5 bytes but its data never ends")
    p.add_argument("--trickle", help="reads of this file bring one byte every two seconds")
    p.add_argument("--fail-remove", help="removing this file is refused")
    p.add_argument("--no-posix-rename", action="store_true",
                   help="offer no posix-rename@openssh.com: a rename never replaces a file")
    return p.parse_args()


ARGS = parse_args()
bytes_sent = 0
open_sessions = 0


def log(*words):
    print(*words, flush=True)


class Server(asyncssh.SSHServer):
    logged_in = False

    def connection_lost(self, exc):
        global open_sessions
        if self.logged_in:
            open_sessions -= 1

    def begin_auth(self, username):
        return True

    def password_auth_supported(self):
        return ARGS.auth in ("password", "both")

    def validate_password(self, username, password):
        return self._check("password", username, password)

    def kbdint_auth_supported(self):
        return ARGS.auth in ("keyboard-interactive", "both")

    def get_kbdint_challenge(self, username, lang, submethods):
        return "", "", "", [("Password: ", False)]

    def validate_kbdint_response(self, username, responses):
        return self._check("keyboard-interactive", username, responses[0] if responses else "")

    def _check(self, method, username, password):
        global open_sessions
        ok = username == ARGS.user and password == ARGS.password
        if ok and ARGS.one_session and open_sessions > 0:
            log("auth", method, "refused: another session is open")
            return False
        log("auth", method, "ok" if ok else "failed")
        if ok:
            self.logged_in = True
            open_sessions += 1
        return ok

    def session_requested(self):
        # Asked only when no SFTP factory is installed, that is with --refuse-sftp.
        return RefusingSession()


class RefusingSession(asyncssh.SSHServerSession):
    """Accepts the session channel but no subsystem, like a server without SFTP."""

    def subsystem_requested(self, subsystem):
        log("subsystem refused", subsystem)
        return False


def is_named(path, name):
    return name is not None and os.path.basename(path) == name.encode()


class EndlessNames(list):
    """What a folder handle holds for an endless listing: every read brings more names."""
    counter = count()

    def __bool__(self):
        return True

    def __getitem__(self, item):
        return [asyncssh.SFTPName(b"endlos-%09d.pdf" % next(self.counter), longname=b"-",
                                  attrs=asyncssh.SFTPAttrs(size=5, permissions=0o100644))
                for _ in range(1000)]

    def __delitem__(self, item):
        pass


class Files(asyncssh.SFTPServer):
    def __init__(self, chan):
        super().__init__(chan, chroot=ARGS.root.encode())

    def map_path(self, path):
        # Relative paths start in the login folder; the base class keeps ".." inside the root.
        return super().map_path(posixpath.join(b"/" + ARGS.home.encode(), path))

    def listdir(self, path):
        # Names no file system can hold ("../x") reach the client only this way.
        fake = [asyncssh.SFTPName(name.encode(), attrs=self._attrs(asyncssh.SFTPAttrs(
            size=5, permissions=0o100644, uid=0, gid=0, atime=0, mtime=0)))
            for name in ARGS.fake_name]
        return list(super().listdir(path)) + fake

    def _attrs(self, attrs, path=b""):
        if not isinstance(attrs, asyncssh.SFTPAttrs):
            attrs = asyncssh.SFTPAttrs.from_local(attrs)
        if ARGS.no_permissions:
            attrs.permissions = None
        if is_named(path, ARGS.longer_than_listed):
            attrs.size = 5
        return attrs

    def stat(self, path):
        return self._attrs(super().stat(path), path)

    def lstat(self, path):
        return self._attrs(super().lstat(path), path)

    def fstat(self, file_obj):
        return self._attrs(super().fstat(file_obj), file_obj.name)

    def remove(self, path):
        if is_named(path, ARGS.fail_remove):
            log("remove refused", os.path.basename(path).decode())
            raise asyncssh.SFTPPermissionDenied("Permission denied")
        return super().remove(path)

    async def read(self, file_obj, offset, size):
        global bytes_sent
        if is_named(file_obj.name, ARGS.longer_than_listed):
            return b"x" * size
        if is_named(file_obj.name, ARGS.trickle):
            await asyncio.sleep(2)
            return super().read(file_obj, offset, 1)
        if ARGS.stall_after is not None and bytes_sent >= ARGS.stall_after:
            log("stalled at", bytes_sent)
            await asyncio.Event().wait()  # never answers, the connection stays open
        if ARGS.kill_after is not None and bytes_sent >= ARGS.kill_after:
            log("killed at", bytes_sent)
            os._exit(3)
        if ARGS.short_reads:
            size = min(size, ARGS.short_reads)
        data = super().read(file_obj, offset, size)
        bytes_sent += len(data)
        return data


def endless_opendir():
    """Makes the handle of the endless folder give names for ever."""
    handler = asyncssh.sftp.SFTPServerHandler
    plain = handler._packet_handlers[asyncssh.sftp.FXP_OPENDIR]

    async def opendir(self, packet):
        path = packet.get_string()
        packet._idx -= 4 + len(path)  # read again by the plain handler
        handle = await plain(self, packet)
        if os.path.basename(posixpath.normpath(path)) == ARGS.endless_listing.encode():
            self._dir_handles[handle] = EndlessNames()
        return handle

    handler._packet_handlers[asyncssh.sftp.FXP_OPENDIR] = opendir


async def main():
    if ARGS.endless_listing:
        endless_opendir()
    if ARGS.no_posix_rename:
        handler = asyncssh.sftp.SFTPServerHandler
        handler._extensions = [e for e in handler._extensions
                               if e[0] != b"posix-rename@openssh.com"]
    if ARGS.host_key:
        key = asyncssh.read_private_key(ARGS.host_key)
    else:
        key = asyncssh.generate_private_key("ssh-ed25519")
    server = await asyncssh.listen(
        "127.0.0.1", 0, server_factory=Server, server_host_keys=[key],
        sftp_factory=None if ARGS.refuse_sftp else Files, allow_scp=False)
    log(server.sockets[0].getsockname()[1])
    log("hostkey", key.get_fingerprint("sha256"))
    await asyncio.Event().wait()


if __name__ == "__main__":
    asyncio.run(main())
