"""The simulated PC: Wine prefixes prepared to look like PCs of the product's
users (see simulated_pc.py), and the demo runner (run_demo.py)."""

import sys
from pathlib import Path

# The prefix and watcher machinery lives with the Wine tests.
_WINE_TESTS = str(Path(__file__).resolve().parents[1] / "tests" / "wine")
if _WINE_TESTS not in sys.path:
    sys.path.insert(0, _WINE_TESTS)
