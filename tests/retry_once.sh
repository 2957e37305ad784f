#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a command, and once more if it fails. For the suite under wine only: a freshly made wine
# prefix has been seen to fail one program start in a whole CI run (status 1 within 5 ms,
# before the program could print anything), which no rerun reproduced. A real fault fails
# both attempts; the first attempt's output stays in the log.
"$@" && exit 0
echo "first attempt failed (output above); running it once more"
exec "$@"
