"""Registrable domains by the public suffix list: the organisations of a
run with --organisations domain, read from the list's text file with no
code of tovex's or libpsl's."""

import re

LIST_PATH = "/usr/share/publicsuffix/public_suffix_list.dat"
# A host name the list can be asked about: letters, digits and hyphens in
# labels of 1 to 63 bytes, the last one not all digits.
_HOST_NAME = re.compile(rb"[A-Za-z0-9-]{1,63}(\.[A-Za-z0-9-]{1,63})*\Z")


def _ascii(rule):
    """A rule's labels as they appear in host names (punycode), or None."""
    try:
        return b".".join(label.encode("idna") if label != "*" else b"*"
                         for label in rule.split("."))
    except UnicodeError:
        return None


class PublicSuffixes:
    def __init__(self, path=LIST_PATH):
        self.rules, self.wildcards, self.exceptions = set(), set(), set()
        with open(path, encoding="utf-8") as f:
            for line in f:
                words = line.split()
                if not words or words[0].startswith("//"):
                    continue
                rule = _ascii(words[0].lstrip("!"))
                if rule is None:
                    continue
                if words[0].startswith("!"):
                    self.exceptions.add(rule)
                elif rule.startswith(b"*."):
                    self.wildcards.add(rule[2:])
                else:
                    self.rules.add(rule)

    def _suffix_labels(self, labels):
        """How many of the last labels make the public suffix: the longest
        rule that matches, an exception before all; one when none does."""
        for i in range(len(labels)):
            candidate = b".".join(labels[i:])
            if candidate in self.exceptions:
                return len(labels) - i - 1
            if (candidate in self.rules
                    or b".".join(labels[i + 1:]) in self.wildcards):
                return len(labels) - i
        return 1

    def registrable_domain(self, host):
        """The suffix of `host` a registrant holds (one trailing dot left
        out); the whole name when it has none; None for no host name."""
        name = host[:-1] if host.endswith(b".") else host
        if (len(name) > 253 or not _HOST_NAME.match(name)
                or name.rsplit(b".", 1)[-1].isdigit()):
            return None
        labels = name.lower().split(b".")
        keep = self._suffix_labels(labels) + 1
        if keep > len(labels):
            return name
        return name[len(name) - len(b".".join(labels[-keep:])):]
