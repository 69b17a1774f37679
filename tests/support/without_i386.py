#!/usr/bin/env python3
"""Runs a command on this machine as if its kernel could not run 32-bit x86
programs: any process that makes an i386 system call is killed (SIGSYS).
Programs run under qemu-i386 still work, since the emulator is a 64-bit
program that makes their calls for them. test.sh runs the emulated 32-bit
leg under it, so a test that starts a 32-bit program without the emulator
fails here as it would on such a machine.

  without_i386.py COMMAND [ARGS...]
"""
import ctypes
import os
import struct
import sys

PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
BPF_LD_W_ABS = 0x20
BPF_JEQ_K = 0x15
BPF_RET_K = 0x06
SECCOMP_RET_KILL_PROCESS = 0x80000000
SECCOMP_RET_ALLOW = 0x7FFF0000
AUDIT_ARCH_I386 = 0x40000003
ARCH_OFFSET = 4  # struct seccomp_data: int nr; __u32 arch; ...


def install_filter():
    # struct sock_filter { __u16 code; __u8 jt; __u8 jf; __u32 k; }
    program = b"".join(struct.pack("HBBI", *op) for op in (
        (BPF_LD_W_ABS, 0, 0, ARCH_OFFSET),
        (BPF_JEQ_K, 0, 1, AUDIT_ARCH_I386),
        (BPF_RET_K, 0, 0, SECCOMP_RET_KILL_PROCESS),
        (BPF_RET_K, 0, 0, SECCOMP_RET_ALLOW),
    ))
    buf = ctypes.create_string_buffer(program, len(program))

    class SockFprog(ctypes.Structure):
        _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_void_p)]

    prog = SockFprog(len(program) // 8, ctypes.addressof(buf))
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, None, 0, 0) != 0 or \
            libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.addressof(prog), 0, 0) != 0:
        sys.exit(f"without_i386.py: cannot install the filter: {os.strerror(ctypes.get_errno())}")


if len(sys.argv) < 2:
    sys.exit(__doc__)
install_filter()
os.execvp(sys.argv[1], sys.argv[1:])
