"""Registrable domains as a run with --organisations domain takes them:
libpsl's answer over the newest list, for a host name only."""

import ctypes
import ctypes.util
import re

# A host name: letters, digits and hyphens in labels of 1 to 63 bytes.
_HOST_NAME = re.compile(rb"[A-Za-z0-9-]{1,63}(\.[A-Za-z0-9-]{1,63})*\Z")


class PublicSuffixes:
    def __init__(self):
        self.psl = ctypes.CDLL(ctypes.util.find_library("psl"))
        self.psl.psl_latest.restype = ctypes.c_void_p
        self.psl.psl_latest.argtypes = [ctypes.c_char_p]
        self.psl.psl_registrable_domain.restype = ctypes.c_char_p
        self.psl.psl_registrable_domain.argtypes = [ctypes.c_void_p,
                                                    ctypes.c_char_p]
        self.list = self.psl.psl_latest(None)

    def registrable_domain(self, host):
        """The suffix of `host` a registrant holds (one trailing dot left
        out); the whole name when it has none; None for no host name."""
        name = host[:-1] if host.endswith(b".") else host
        if (len(name) > 253 or not _HOST_NAME.match(name)
                or name.rsplit(b".", 1)[-1].isdigit()):
            return None
        domain = self.psl.psl_registrable_domain(self.list, name.lower())
        return name if domain is None else name[len(name) - len(domain):]
