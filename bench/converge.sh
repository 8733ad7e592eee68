#!/usr/bin/env bash
# The fixed convergence campaign: 200 seeded runs of 50 steps each against the release tree's
# engine and reference service; prints converge_runs, converge_steps, converge_violations and
# converge_seconds. Failing runs' reports go to stderr.
set -uo pipefail
build=${CORVENA_BUILD:-$(cd "$(dirname "$0")/.." && pwd)/build}
"$build/bin/converge" --first 1 --runs 200 --steps 50 --figures 2>/dev/null |
    tee >(grep -v '^converge_' >&2) | grep '^converge_'
exit 0
