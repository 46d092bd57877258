"""Reference model of tovex's report, for byte-for-byte checks of tovex-cli.

expected_pages(log_bytes, run_level, settings) gives the pages a run must
write; expected_report(...) adds the figures behind them.
"""

from .logline import is_access_log
from .report import Settings, expected_pages, expected_report

__all__ = ["Settings", "expected_pages", "expected_report", "is_access_log"]
