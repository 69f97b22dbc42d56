"""Shared pytest setup: the hypothesis profiles of the fuzz tests.

"ci" (the default) is derandomised so every run tries the same examples;
WAYLOOM_FUZZ=long tries many more, freshly random each run:

    WAYLOOM_FUZZ=long python -m pytest tests/python/test_fuzz.py
"""

import os

from hypothesis import HealthCheck, settings

_quiet = [HealthCheck.too_slow, HealthCheck.filter_too_much, HealthCheck.data_too_large]
settings.register_profile("ci", max_examples=150, deadline=None, derandomize=True,
                          suppress_health_check=_quiet, print_blob=True)
settings.register_profile("long", max_examples=5000, deadline=None,
                          suppress_health_check=_quiet, print_blob=True)
settings.load_profile(os.environ.get("WAYLOOM_FUZZ", "ci"))
