#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs the end-to-end suite on every kernel tier this processor runs (the list comes from the
# tiers themselves, through kernel_report): the programs are the bench's varnok_tier and
# dostrel_tier with the tier chosen, behind wrappers that keep the name they were started by.
# Usage: e2e_on_tier.sh E2E_TESTS VARNOK_TIER DOSTREL_TIER KERNEL_REPORT SCRATCH
set -e
tests=$1 varnok_tier=$2 dostrel_tier=$3 report=$4 scratch=$5
failed=""
for tier in $("$report" --all); do
  rm -rf "$scratch/$tier"
  mkdir -p "$scratch/$tier"
  for program in varnok dostrel; do
    eval "binary=\$${program}_tier"
    printf '#!/bin/bash\nexec -a "$0" %s %s "$@"\n' "$binary" "$tier" > "$scratch/$tier/$program"
    chmod +x "$scratch/$tier/$program"
  done
  echo "== the $tier tier"
  VARNOK=$scratch/$tier/varnok DOSTREL=$scratch/$tier/dostrel "$tests" --gtest_brief=1 ||
    failed="$failed $tier"
done
if [ -n "$failed" ]; then
  echo "the end-to-end suite failed on:$failed"
  exit 1
fi
