#!/usr/bin/env python3
"""Waits on the console, on a pseudo-terminal that is the job's controlling
terminal: the password prompt (Ctrl-C, Ctrl-D, a typed password) always
gives the terminal its echo back; Ctrl-C at an .ASK question and SIGTERM at
the zero-divisor question end the job at once; SQLite asks for no password.
    console_waits.py BINARY WORKDIR
Exit status: 0 passed, 1 failed."""
import fcntl
import os
import select
import shutil
import signal
import sqlite3
import subprocess
import sys
import termios
import time

BINARY = os.path.realpath(sys.argv[1])
WORK = sys.argv[2]
FAILURES = []


def check(condition, what, detail=""):
    if not condition:
        FAILURES.append(what)
        print(f"FAILED: {what}\n{detail}")


class Terminal:
    """A job on a fresh pseudo-terminal: its controlling terminal and its
    standard input; standard error is kept apart."""

    def __init__(self, args, env=None):
        self.master, self.slave = os.openpty()
        slave = self.slave

        def take_terminal():
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

        self.err = open("stderr.txt", "w+b")
        self.proc = subprocess.Popen([BINARY] + args, stdin=slave, stdout=subprocess.DEVNULL,
                                     stderr=self.err, preexec_fn=take_terminal,
                                     env=dict(os.environ, **(env or {})))
        self.screen = b""

    def wait_for(self, text, seconds=20):
        """Read the terminal until text shows, or the time is up."""
        end = time.monotonic() + seconds
        while text not in self.screen and time.monotonic() < end:
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if ready:
                try:
                    self.screen += os.read(self.master, 1024)
                except OSError:
                    break
        return text in self.screen

    def wait_for_message(self, text, seconds=20):
        """Wait until standard error holds text."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            with open("stderr.txt", "rb") as f:
                if text in f.read():
                    return True
            time.sleep(0.05)
        return False

    def type(self, keys):
        os.write(self.master, keys)

    def echo_on(self):
        return bool(termios.tcgetattr(self.slave)[3] & termios.ECHO)

    def finish(self, seconds=20):
        """The exit status, how long the job took from now, its messages."""
        start = time.monotonic()
        try:
            status = self.proc.wait(seconds)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            status = self.proc.wait()
        took = time.monotonic() - start
        self.err.seek(0)
        messages = self.err.read().decode()
        self.err.close()
        return status, took, messages

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def prepare():
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    os.chdir(WORK)
    db = sqlite3.connect("t.db")
    db.executescript("CREATE TABLE dual(DUMMY VARCHAR2(1), SYSDATE DATE);"
                     "INSERT INTO dual VALUES('X', '2026-12-08 10:30:00');")
    db.close()
    with open("date.rpt", "w") as f:
        f.write(".PRINT $$DATE$$\n")
    with open("ask.rpt", "w") as f:
        f.write('.DECLARE N 9\n.ASK "answer?" N\n.PRINT N\n')
    with open("zero.rpt", "w") as f:
        f.write(".DECLARE N 9\n.DIV N 1 0\n.PRINT N\n")


# A password asked for a PostgreSQL connection that is never made: the
# server named is a socket folder that does not exist.
PG = "scott/-@pg:host=/nonexistent"


def password_prompt():
    # Ctrl-C: stopped at once, echo back on.
    t = Terminal(["--exit-status=detailed", "date.rpt", "out.txt", PG, "1"])
    check(t.wait_for(b"Password for scott: "), "prompt: no prompt", t.screen)
    check(not t.echo_on(), "prompt: echo is on while the password is typed")
    t.type(b"sec\x03")
    status, took, messages = t.finish()
    check(status == 6, f"prompt Ctrl-C: exit status {status}", messages)
    check(took < 2, f"prompt Ctrl-C: took {took:.1f} s")
    check(messages.endswith("Job Stopped: signal SIGINT\nKelvordantix: date.rpt Job Aborted ...\n"),
          "prompt Ctrl-C: messages", messages)
    check(t.echo_on(), "prompt Ctrl-C: the terminal is left without echo")
    t.close()

    # Ctrl-D: nothing read, echo back on.
    t = Terminal(["date.rpt", "out.txt", PG, "1"])
    t.wait_for(b"Password for scott: ")
    t.type(b"\x04")
    status, _, messages = t.finish()
    check(status == 1 and "Connect Fail\npassword: nothing read from the terminal\n" in messages,
          f"prompt Ctrl-D: status {status}", messages)
    check(t.echo_on(), "prompt Ctrl-D: the terminal is left without echo")
    t.close()

    # A typed password goes to the server, whose refusal is the cause.
    t = Terminal(["date.rpt", "out.txt", PG, "1"])
    t.wait_for(b"Password for scott: ")
    t.type(b"secret\n")
    status, _, messages = t.finish()
    check(status == 1 and "Connect Fail\n" in messages and "secret" not in t.screen.decode(),
          f"prompt typed: status {status}", messages)
    check(t.echo_on(), "prompt typed: the terminal is left without echo")
    t.close()


def sqlite_asks_no_password():
    t = Terminal(["date.rpt", "out.txt", "nobody/-@t.db", "1"])
    status, _, messages = t.finish()
    check(status == 0 and b"Password" not in t.screen, f"sqlite: status {status}", messages)
    t.close()
    # Without any terminal (cron) as well.
    job = subprocess.run([BINARY, "date.rpt", "out.txt", "nobody/-@t.db", "1"], stdin=subprocess.DEVNULL,
                         capture_output=True, start_new_session=True, timeout=30)
    check(job.returncode == 0, "sqlite without a terminal", job.stderr.decode())


def questions_end_at_once():
    t = Terminal(["--exit-status=detailed", "ask.rpt", "out.txt", "@t.db", "1"])
    check(t.wait_for_message(b"answer?\n"), ".ASK: no question")
    time.sleep(0.2)
    t.type(b"\x03")
    status, took, messages = t.finish()
    check(status == 6 and took < 2, f".ASK Ctrl-C: status {status}, {took:.1f} s", messages)
    check(messages.endswith("answer?\nJob Stopped: signal SIGINT\nKelvordantix: ask.rpt Job Aborted ...\n"),
          ".ASK Ctrl-C: messages", messages)
    t.close()

    for number, name in ((signal.SIGTERM, "SIGTERM"), (signal.SIGHUP, "SIGHUP")):
        t = Terminal(["zero.rpt", "out.txt", "@t.db", "1"])
        check(t.wait_for_message(b"abandon job"), "zero divisor: no question")
        time.sleep(0.2)
        t.proc.send_signal(number)
        status, took, messages = t.finish()
        check(status == 1 and took < 2, f"zero divisor {name}: status {status}, {took:.1f} s", messages)
        check(messages.endswith(f"Job Stopped: signal {name}\nKelvordantix: zero.rpt Job Aborted ...\n"),
              f"zero divisor {name}: messages", messages)
        t.close()


prepare()
password_prompt()
sqlite_asks_no_password()
questions_end_at_once()
sys.exit(1 if FAILURES else 0)
