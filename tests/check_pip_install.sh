#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Python package from the source tree as the README says, into a virtual
# environment of Debian's Python 3 (no index, nothing downloaded), and runs the README's
# Python example there.
# Usage: check_pip_install.sh SOURCE_DIR SCRATCH_DIR
set -eu
source=$1 scratch=$2
rm -rf "$scratch"
/usr/bin/python3 -m venv --system-site-packages "$scratch/venv"
(cd "$scratch" && "$scratch/venv/bin/pip" install --no-index --quiet "$source")
awk '/^### Python codecs/ { on = 1 } on && /^```python$/ { keep = 1; next }
     keep && /^```$/ { exit } keep' "$source/README.md" > "$scratch/example.py"
(cd "$scratch" && "$scratch/venv/bin/python" example.py)
echo "pip installs the package offline, and the README's example runs with it"
