#!/usr/bin/env python3
"""opc_tour.py: tagclient from Python with ctypes, against the simulated OPC DA 2.0 server.

Connects, writes Memory.Int4 and reads it back, browses the branch Memory, subscribes to Counter.Int4 and
prints the data changes for about two seconds. Exit status 0 when every step worked, 1 otherwise.

    python3 opc_tour.py [LIBDIR]     LIBDIR holds libtagclient.so and libqzoleaut.so (default: ../../build/bin)

Linux x86-64 only as written: there VARIANT is 24 bytes (8 bytes of type and reserved words, then a
16-byte union) and every procedure uses the C convention. On 32-bit Windows the exports and the data-change
procedure are stdcall (ctypes.WinDLL, WINFUNCTYPE), VARIANT is 16 bytes, and the log procedure cannot be
written with ctypes (its arguments travel in registers); leave it unset there.
"""
import ctypes
import os
import select
import struct
import sys
import time
from ctypes import (CFUNCTYPE, POINTER, Structure, byref, c_char_p, c_float, c_int32, c_uint16, c_uint32,
                    c_uint64, c_void_p, create_string_buffer)

VT_EMPTY, VT_I4, VT_R8, VT_BSTR, VT_ARRAY = 0, 3, 5, 8, 0x2000


class VARIANT(Structure):
    # The union is kept as two 64-bit words: ctypes cannot pass a union by value, and a 24-byte structure
    # is passed in memory on x86-64 whatever its fields, so only size and alignment must match.
    _fields_ = [("vt", c_uint16), ("r1", c_uint16), ("r2", c_uint16), ("r3", c_uint16),
                ("w0", c_uint64), ("w1", c_uint64)]


class FILETIME(Structure):
    _fields_ = [("low", c_uint32), ("high", c_uint32)]


assert ctypes.sizeof(VARIANT) == 24 and ctypes.sizeof(FILETIME) == 8

libdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin")
oleaut = ctypes.CDLL(os.path.join(libdir, "libqzoleaut.so"))
tc = ctypes.CDLL(os.path.join(libdir, "libtagclient.so"))

oleaut.SysStringLen.argtypes, oleaut.SysStringLen.restype = [c_void_p], c_uint32
oleaut.SysFreeString.argtypes, oleaut.SysFreeString.restype = [c_void_p], None
oleaut.VariantInit.argtypes, oleaut.VariantInit.restype = [POINTER(VARIANT)], None
oleaut.VariantClear.argtypes, oleaut.VariantClear.restype = [POINTER(VARIANT)], c_int32
oleaut.VariantChangeType.argtypes = [POINTER(VARIANT), POINTER(VARIANT), c_uint16, c_uint16]
oleaut.VariantChangeType.restype = c_int32
oleaut.SafeArrayGetElement.argtypes = [c_void_p, POINTER(c_int32), c_void_p]
oleaut.SafeArrayGetElement.restype = c_int32

LOGPROC = CFUNCTYPE(None, c_void_p, c_void_p)
DATACHANGEPROC = CFUNCTYPE(None, c_uint32, c_uint32, c_uint32, VARIANT, FILETIME, c_uint32)

tc.QZDAC_Init.restype = c_int32
tc.QZDAC_Uninit.restype = c_int32
tc.QZDAC_SetLogProc.argtypes, tc.QZDAC_SetLogProc.restype = [LOGPROC], None
tc.QZDAC_Connect.argtypes, tc.QZDAC_Connect.restype = [c_char_p, c_char_p, c_int32], c_uint32
tc.QZDAC_Disconnect.argtypes, tc.QZDAC_Disconnect.restype = [c_uint32], c_int32
tc.QZDAC_SetDataChangeProc.argtypes, tc.QZDAC_SetDataChangeProc.restype = [c_uint32, DATACHANGEPROC], c_int32
tc.QZDAC_AddGroup.argtypes = [c_uint32, c_char_p, c_int32, c_uint32, c_int32, c_float, c_uint32]
tc.QZDAC_AddGroup.restype = c_uint32
tc.QZDAC_AddItem.argtypes, tc.QZDAC_AddItem.restype = [c_uint32, c_uint32, c_char_p], c_uint32
tc.QZDAC_WriteItem.argtypes = [c_uint32, c_uint32, c_uint32, VARIANT, c_int32]  # VARIANT by value
tc.QZDAC_WriteItem.restype = c_int32
tc.QZDAC_ReadItem.argtypes = [c_uint32, c_uint32, c_uint32, POINTER(VARIANT), POINTER(FILETIME),
                              POINTER(c_uint16)]
tc.QZDAC_ReadItem.restype = c_int32
tc.QZDAC_RefreshGroup.argtypes, tc.QZDAC_RefreshGroup.restype = [c_uint32, c_uint32, c_uint32], c_int32
tc.QZDAC_ChangeBrowsePosition.argtypes = [c_uint32, c_uint32, c_char_p]
tc.QZDAC_ChangeBrowsePosition.restype = c_int32
tc.QZDAC_BrowseItems.argtypes = [c_uint32, c_uint32, c_char_p, c_uint32, c_uint32, POINTER(VARIANT)]
tc.QZDAC_BrowseItems.restype = c_int32
tc.QZDAC_GetEventHandle.restype = ctypes.c_ssize_t
tc.QZDAC_DispatchEvents.restype = c_int32


def bstr_text(bstr):
    """The text of a BSTR (UTF-16, its length in characters stored before it); the BSTR stays the caller's."""
    if not bstr:
        return ""
    return ctypes.string_at(bstr, oleaut.SysStringLen(bstr) * 2).decode("utf-16-le")


def variant_text(v):
    """Any VARIANT as text, through VariantChangeType to VT_BSTR; `v` is left as it is."""
    if v.vt == VT_EMPTY:
        return "(empty)"
    s = VARIANT()
    oleaut.VariantInit(byref(s))
    if oleaut.VariantChangeType(byref(s), byref(v), 0, VT_BSTR) != 0:
        return "(type %d)" % v.vt
    text = bstr_text(s.w0)
    oleaut.VariantClear(byref(s))
    return text


def variant_i4(value):
    v = VARIANT()
    v.vt, v.w0 = VT_I4, value & 0xFFFFFFFF  # lVal is the low half of the first word
    return v


@LOGPROC
def on_log(source, message):
    # The two BSTRs are ours: read them, then free them.
    print("log: %s: %s" % (bstr_text(source), bstr_text(message)))
    oleaut.SysFreeString(source)
    oleaut.SysFreeString(message)


changes = []


@DATACHANGEPROC
def on_change(session, group, item, value, timestamp, quality):
    # `value` is the library's and is cleared after the call: take what you need now.
    changes.append((item, variant_text(value)))
    print("change: item %d = %s (quality 0x%02X)" % (item, variant_text(value), quality & 0xFFFF))


def run_events(seconds):
    handle = tc.QZDAC_GetEventHandle()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if handle >= 0:
            select.select([handle], [], [], 0.05)
        else:
            time.sleep(0.05)
        tc.QZDAC_DispatchEvents()


def main():
    ok = True
    tc.QZDAC_SetLogProc(on_log)  # keep on_log referenced for as long as the library may call it
    if tc.QZDAC_Init() != -1:
        print("QZDAC_Init failed")
        return 1
    session = tc.QZDAC_Connect(b"", b"Tagsink.SimServer.DA2", 0)
    if session == 0:
        print("cannot connect")
        return 1
    tc.QZDAC_SetDataChangeProc(session, on_change)

    names = VARIANT()
    oleaut.VariantInit(byref(names))
    tc.QZDAC_ChangeBrowsePosition(session, 2, b"Memory")
    count = tc.QZDAC_BrowseItems(session, 2, b"Real*", 0, 0, byref(names))
    found = []
    if names.vt == VT_ARRAY | VT_BSTR:
        for i in range(count):
            element = c_void_p()
            if oleaut.SafeArrayGetElement(c_void_p(names.w0), byref(c_int32(i)), byref(element)) == 0:
                found.append(bstr_text(element.value))
                oleaut.SysFreeString(element)  # the element is a copy
    oleaut.VariantClear(byref(names))
    print("Memory leaves Real*:", " ".join(found))
    ok = ok and found == ["Real4", "Real8"]
    if tc.QZDAC_ChangeBrowsePosition(session, 2, b"NoSuchBranch") == 0:
        print("no branch NoSuchBranch below Memory (reported above)")

    group = tc.QZDAC_AddGroup(session, b"PyTour", -1, 100, 0, 0.0, 0)
    memory = tc.QZDAC_AddItem(session, group, b"Memory.Int4")
    counter = tc.QZDAC_AddItem(session, group, b"Counter.Int4")
    ok = ok and group != 0 and memory != 0 and counter != 0

    ok = ok and tc.QZDAC_WriteItem(session, group, memory, variant_i4(-7), 0) == -1
    value, stamp, quality = VARIANT(), FILETIME(), c_uint16()
    oleaut.VariantInit(byref(value))
    if tc.QZDAC_ReadItem(session, group, memory, byref(value), byref(stamp), byref(quality)) == -1:
        print("read Memory.Int4 = %s (quality 0x%02X)" % (variant_text(value), quality.value))
        ok = ok and value.vt == VT_I4 and struct.unpack("<i", struct.pack("<Q", value.w0)[:4])[0] == -7
    else:
        ok = False
    oleaut.VariantClear(byref(value))  # what ReadItem gave us is ours

    tc.QZDAC_RefreshGroup(session, group, 1)
    run_events(2.0)
    print("%d data changes" % len(changes))
    ok = ok and len(changes) >= 2

    tc.QZDAC_Disconnect(session)
    tc.QZDAC_Uninit()
    print("done" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
