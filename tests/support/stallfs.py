#!/usr/bin/env python3
"""A filesystem that mirrors a folder and answers, answers slowly or never answers, on demand.

    stallfs.py BACKING MOUNTPOINT [SOURCE]

Each call looks at two files beside BACKING (BACKING.hang, BACKING.slow): while BACKING.hang
exists no call returns; BACKING.slow holds a delay in seconds added to every call. Runs in the
foreground until unmounted or killed. SOURCE is what the mount table names as the volume's source
(as a program showing an image file names that file)."""

import errno
import os
import sys
import time

from fusepy import FUSE, FuseOSError, Operations


class StallFs(Operations):
    def __init__(self, backing):
        self.backing = backing

    def _wait(self):
        while os.path.exists(self.backing + ".hang"):
            time.sleep(0.02)
        try:
            with open(self.backing + ".slow") as f:
                time.sleep(float(f.read().strip() or 0))
        except (OSError, ValueError):
            pass

    def _path(self, path):
        return os.path.join(self.backing, path.lstrip("/"))

    def __call__(self, op, *args):
        self._wait()
        try:
            return super().__call__(op, *args)
        except OSError as e:
            raise FuseOSError(e.errno or errno.EIO)

    def getattr(self, path, fh=None):
        st = os.lstat(self._path(path))
        keys = ("st_mode", "st_nlink", "st_size", "st_uid", "st_gid", "st_atime", "st_mtime", "st_ctime")
        return {k: getattr(st, k) for k in keys}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def readlink(self, path):
        return os.readlink(self._path(path))

    def statfs(self, path):
        s = os.statvfs(self._path(path))
        keys = ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree", "f_files", "f_flag",
                "f_frsize", "f_namemax")
        return {k: getattr(s, k) for k in keys}

    def open(self, path, flags):
        return os.open(self._path(path), flags & ~os.O_CREAT)

    def read(self, path, size, offset, fh):
        os.lseek(fh, offset, os.SEEK_SET)
        return os.read(fh, size)

    def release(self, path, fh):
        os.close(fh)
        return 0

    def access(self, path, amode):
        if not os.access(self._path(path), amode):
            raise FuseOSError(errno.EACCES)
        return 0


if __name__ == "__main__":
    options = {"fsname": sys.argv[3]} if len(sys.argv) > 3 else {}
    FUSE(StallFs(os.path.abspath(sys.argv[1])), sys.argv[2], foreground=True, nothreads=False,
         ro=True, allow_other=False, **options)
