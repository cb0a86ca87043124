#!/usr/bin/env python3
"""Runs a command on a terminal of its own, as a person at a keyboard would, for the tests of
what sfxtool does on a terminal: the prompts and answers, the progress line, bash's completion.

    terminal_session.py [--columns N] [--transcript FILE] [--timeout S] COMMAND [ARG...]

The steps come one a line on standard input:
    expect TEXT   wait until TEXT appears in what the terminal shows after the last match
    send TEXT     type TEXT; \\n, \\t, \\r, \\xNN and \\\\ stand for what they do in Python
    close         end the input (the terminal's end-of-file character)
After the steps it waits for the command to end, writes everything the terminal received to
the transcript, and exits with the command's status (128 + N when signal N ended it), or 124
when an expected text did not come in time (the command is then killed).
"""
import argparse
import fcntl
import os
import pty
import select
import signal
import struct
import sys
import termios
import time


def unescape(text):
    return text.encode("utf-8").decode("unicode_escape").encode("latin-1")


class Session:
    def __init__(self, command, columns, timeout):
        self.timeout = timeout
        self.seen = b""
        self.matched = 0
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
            os.execvp(command[0], command)

    def pump(self, until):
        """Reads what the terminal shows until `until` (a time), or its end; False at the end."""
        left = until - time.monotonic()
        if left <= 0:
            return True
        ready, _, _ = select.select([self.fd], [], [], left)
        if not ready:
            return True
        try:
            chunk = os.read(self.fd, 65536)
        except OSError:
            return False
        if not chunk:
            return False
        self.seen += chunk
        return True

    def expect(self, text):
        wanted = text.encode("utf-8")
        deadline = time.monotonic() + self.timeout
        while True:
            found = self.seen.find(wanted, self.matched)
            if found >= 0:
                self.matched = found + len(wanted)
                return True
            if time.monotonic() >= deadline or not self.pump(deadline):
                return False

    def send(self, data):
        os.write(self.fd, data)

    def finish(self):
        """The command's wait status once it ends and its output is read, or None in time."""
        deadline = time.monotonic() + self.timeout
        while self.pump(min(deadline, time.monotonic() + 0.05)):
            if time.monotonic() >= deadline:
                break
        while time.monotonic() < deadline:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return status
            time.sleep(0.01)
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--columns", type=int, default=80)
    parser.add_argument("--transcript")
    parser.add_argument("--timeout", type=float, default=20)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    steps = sys.stdin.read().splitlines()
    session = Session(args.command, args.columns, args.timeout)
    status = 0
    for step in steps:
        verb, _, text = step.partition(" ")
        if verb == "expect":
            if not session.expect(text):
                print(f"terminal_session: '{text}' did not come", file=sys.stderr)
                status = 124
                break
        elif verb == "send":
            session.send(unescape(text))
        elif verb == "close":
            session.send(b"\x04")
        elif verb:
            print(f"terminal_session: unknown step '{step}'", file=sys.stderr)
            status = 2
            break
    if status == 0:
        ended = session.finish()
        if ended is None:
            print("terminal_session: the command did not end", file=sys.stderr)
            status = 124
        elif os.WIFSIGNALED(ended):
            status = 128 + os.WTERMSIG(ended)
        else:
            status = os.WEXITSTATUS(ended)
    else:
        os.kill(session.pid, signal.SIGKILL)
        os.waitpid(session.pid, 0)
    if args.transcript:
        with open(args.transcript, "wb") as out:
            out.write(session.seen)
    sys.exit(status)


if __name__ == "__main__":
    main()
