"""Reference model of tovex's report, for byte-for-byte checks of tovex-cli.

expected_report(log_bytes, run_level, settings) gives the pages a run must
write and the figures behind them.
"""

from .logline import is_access_log
from .report import Settings, expected_report

__all__ = ["Settings", "expected_report", "is_access_log"]
