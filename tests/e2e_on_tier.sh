#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the end-to-end suite on one kernel tier: the programs are the bench's varnok_tier and
# dostrel_tier with the tier chosen, behind wrappers that keep the name they were started by.
# Skipped (status 77) where the processor does not run the tier.
# Usage: e2e_on_tier.sh TIER E2E_TESTS VARNOK_TIER DOSTREL_TIER KERNEL_REPORT SCRATCH
set -e
tier=$1 tests=$2 varnok_tier=$3 dostrel_tier=$4 report=$5 scratch=$6
if ! "$report" --all | grep -qx "$tier"; then
  echo "this processor does not run the $tier tier"
  exit 77
fi
rm -rf "$scratch"
mkdir -p "$scratch"
for program in varnok dostrel; do
  eval "binary=\$${program}_tier"
  printf '#!/bin/bash\nexec -a "$0" %s %s "$@"\n' "$binary" "$tier" > "$scratch/$program"
  chmod +x "$scratch/$program"
done
VARNOK=$scratch/varnok DOSTREL=$scratch/dostrel exec "$tests"
