#!/usr/bin/env python3
"""The Linux program and the Windows one under Wine exclude each other.

A generation of one program holds a sample game folder while the other
starts a generation there: the second waits, then refuses; once the first
has finished, it runs. Both ways round.

The holder is kept at a known point without any timing: its standard error
is a pipe filled to the brim, and with --quiet its first line, the glyph
that no font has, comes while it holds the folder, so it waits in that write
until the test reads the pipe. The test waits, however long it takes, until
the kernel lists a lock on the folder's lock file.

  cross_program_lock_test.py NATIVE_KARSTEL KARSTEL_CLI_EXE WINE_RUN
Exits 77 (skipped) when the native program has not been built.
"""
import os
import struct
import subprocess
import sys
import tempfile

BUSY = "另一个 Karstel 正在生成或还原这个游戏目录"
FONT = "WenQuanYi Micro Hei"


def sample_folder(native, root):
    folder = os.path.join(root, "game")
    subprocess.run([native, "sample", folder], check=True,
                   stdout=subprocess.DEVNULL)
    # A private-use character that no installed font has, then hanzi.
    units = [0xE000] + [0x4E00 + i for i in range(16)]
    table = struct.pack("<I", len(units)) + b"".join(
        struct.pack("<I", unit) for unit in units)
    with open(os.path.join(folder, "plugins", "Lirvane", "char_table.dat"),
              "wb") as out:
        out.write(table)
    return folder


def full_pipe():
    reader, writer = os.pipe()
    os.set_blocking(writer, False)
    try:
        while True:
            os.write(writer, b"x" * 512)
    except BlockingIOError:
        pass
    try:
        while True:
            os.write(writer, b"x")
    except BlockingIOError:
        pass
    os.set_blocking(writer, True)
    return reader, writer


def locked(path):
    try:
        st = os.stat(path)
    except FileNotFoundError:
        return False
    device = "%02x:%02x:%d" % (os.major(st.st_dev), os.minor(st.st_dev),
                              st.st_ino)
    with open("/proc/locks") as locks:
        return any(device in line.split() and "->" not in line
                   for line in locks)


def generate(program, folder, **kwargs):
    return subprocess.Popen(program + ["generate", "--game-folder", folder,
                                       "--font", FONT, "--quiet"],
                            stdout=subprocess.DEVNULL, **kwargs)


def one_way(holder, holder_folder, waiter, waiter_folder, lock_file):
    reader, writer = full_pipe()
    held = generate(holder, holder_folder, stderr=writer)
    os.close(writer)
    while not locked(lock_file):
        if held.poll() is not None:
            sys.exit("the holder ended before it held the folder")
        os.sched_yield()
    second = generate(waiter, waiter_folder, stderr=subprocess.PIPE)
    err = second.communicate()[1].decode("utf-8", "replace")
    if second.returncode == 0 or BUSY not in err:
        sys.exit("the second program did not wait and refuse:\n" + err)
    with os.fdopen(reader, "rb") as drained:
        drained.read()
    if held.wait() != 0:
        sys.exit("the holder failed")
    third = generate(waiter, waiter_folder, stderr=subprocess.PIPE)
    err = third.communicate()[1].decode("utf-8", "replace")
    if third.returncode != 0:
        sys.exit("the second program failed once the folder was free:\n" +
                 err)


def main():
    native, windows, wine_run = sys.argv[1:4]
    if not os.access(native, os.X_OK):
        print("no native build at " + native)
        return 77
    with tempfile.TemporaryDirectory() as root:
        folder = sample_folder(native, root)
        # Z: is the root of the Linux file system in every Wine prefix.
        windows_folder = "Z:" + folder.replace("/", "\\")
        lock_file = os.path.join(folder, "karstel.lock")
        linux = [native]
        wine = [wine_run, windows]
        one_way(linux, folder, wine, windows_folder, lock_file)
        one_way(wine, windows_folder, linux, folder, lock_file)
    print("the Linux and the Windows program exclude each other")
    return 0


if __name__ == "__main__":
    sys.exit(main())
