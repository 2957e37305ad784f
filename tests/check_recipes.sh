#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs every recipe of the README's "Recipes", "UTF-8", "Many files and many machines",
# "Migrating a tree" and "Auditing a migration" sections as written, in a scratch folder of
# sample files, with the built programs first on PATH; then checks what they made.
# Usage: check_recipes.sh README.md VARNOK DOSTREL EXAMPLE_CP932 SCRATCH_DIR
set -eu
readme=$1 varnok=$2 dostrel=$3 example=$4 scratch=$5
rm -rf "$scratch"
mkdir -p "$scratch/bin" "$scratch/src" "$scratch/legacy/sub" "$scratch/shared/legacy"
ln -s "$varnok" "$scratch/bin/varnok"
ln -s "$dostrel" "$scratch/bin/dostrel"
PATH="$scratch/bin:$PATH"
cd "$scratch"
for file in legacy.txt old.txt damaged.txt src/a.txt src/b.txt legacy/x.txt legacy/sub/y.txt \
  shared/legacy/a.txt shared/legacy/b.txt; do
  cp "$example" "$file"
done
varnok -b "$example" > page.utf16
printf '\343\200\234\342\210\222\342\200\226\n' > notes.utf8 # U+301C U+2212 U+2016
printf '<p>\302\251 \346\227\245\346\234\254</p>\n' > page.utf8
# The audit recipes run in a folder of their own, of CP932 files: one with a private character.
mkdir audit
cp "$example" audit/legacy.txt
printf 'ID 7\n\223\143\222\206 \360\100\n' > audit/names.txt
# The migration recipes run in a folder of their own, on a tree of CP932 files.
mkdir -p migrate/tree/sub
cp "$example" migrate/tree/a.txt
cp "$example" migrate/tree/sub/b.txt

# The fenced blocks of those sections, one file each: block-N.sh or block-N.python, and
# audit-N.sh for the audit's.
awk '
  /^## / { keep = ($0 == "## Recipes" || $0 == "## UTF-8" ||
                   $0 == "## Many files and many machines" || $0 == "## Auditing a migration" ||
                   $0 == "## Migrating a tree")
           kind = "block"
           if ($0 == "## Auditing a migration") kind = "audit"
           if ($0 == "## Migrating a tree") kind = "migrate" }
  keep && /^```(sh|python)$/ { n++; file = sprintf("%s-%d.%s", kind, n, substr($0, 4)); next }
  keep && /^```$/ && file != "" { close(file); file = ""; next }
  file != "" { print > file }
' "$readme"

# Spark's RDD.pipe as PySpark does it: the command split like a shell line (no shell), each
# element a line on its standard input, its output lines back.
cat > spark.py << 'PY'
import shlex, subprocess
class rdd:
    def __init__(self, items): self.items = items
    def pipe(self, command):
        out = subprocess.run(shlex.split(command), input="".join(f"{i}\n" for i in self.items),
                             capture_output=True, text=True, check=True).stdout
        return rdd(out.splitlines())
    def collect(self): return self.items
class context:
    def parallelize(self, items, slices=1): return rdd(items)
sc = context()
PY

count=0
for block in block-* audit-* migrate-*; do
  case $block in
  audit-*)
    (cd audit && sh -e "../$block") ;;
  migrate-*)
    (cd migrate && sh -e "../$block") ;;
  *.sh)
    if grep -q '^[^#]*parallel ' "$block" && ! command -v parallel > /dev/null; then
      echo "skipped (no GNU parallel here): $(grep -v '^#' "$block" | grep parallel)"
      continue
    fi
    sh -e "$block" ;;
  *.python)
    sed "s|/shared/|$scratch/shared/|g" "$block" | cat spark.py - > run.py
    python3 run.py ;;
  esac
  count=$((count + 1))
done
echo "$count recipe blocks ran"

fail() { echo "recipe result wrong: $1"; exit 1; }
cmp -s again.txt old.txt || fail "dostrel -dy did not give old.txt back"
iconv -f CP932 -t UTF-8 legacy.txt | cmp -s - legacy.utf8 || fail "legacy.utf8"
printf '\201\140\201\174\201\141\n' | cmp -s - notes.txt || fail "notes.txt"
printf '&lt;p&gt;&#xa9; \223\372\226\173&lt;/p&gt;\n' | cmp -s - page.html || fail "page.html"
for file in legacy/x.txt legacy/sub/y.txt shared/legacy/a.txt shared/legacy/b.txt; do
  varnok "$file" | cmp -s - "$file.utf16" || fail "$file.utf16"
done
printf 'names.txt:2:6: code 0xF040 has no character: dropped\n' | cmp -s - audit/losses.txt ||
  fail "losses.txt"
cmp -s audit/losses.txt audit/all-losses.log || fail "all-losses.log"
for file in a.txt sub/b.txt; do
  iconv -f CP932 -t UTF-8 "$example" | cmp -s - "migrate/tree/$file" || fail "tree/$file"
  grep -qx "tree/$file: left unchanged: looks like UTF-8 already" migrate/again.txt ||
    fail "again.txt"
done
echo "every recipe gave what the README says"
