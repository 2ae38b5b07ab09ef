#!/usr/bin/env bash
# The docs check, against the already-built build/ (TAGSINK_BUILD to use another folder):
#   1. every shell block marked runnable in README.md, docs/ and examples/ runs and exits 0
#      (fenced with "```bash runnable"; "```bash runnable needs-pg" needs TAGSINK_PG_CONN, else it is
#      skipped with a note). The blocks of one page run in order, in one scratch folder of their own, with
#      the build's bin/ first on PATH, TAGSINK_SRC (the checkout), TAGSINK_BUILD, the ODBC set-up of
#      scripts/test-env.sh and, with a PostgreSQL server, PGHOST, PGPORT, PGUSER and PGDATABASE;
#   2. every relative link of those pages points at a file that exists, and a #fragment at a heading of it;
#   3. every tool prints its usage for --help, exits 0 and writes no file.
# How to mark a block and what it may rely on: docs/maintaining.md, "The docs check".
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD
build=$(cd "${TAGSINK_BUILD:-build}" && pwd)
work=$(mktemp -d /tmp/tagsink-docs.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0

# --- 3. --help of every tool
for tool in tagsink tagsink-run tagsink-project tagsink-buffer tagclient-cli tagsink-make-sample; do
  exe=$build/bin/$tool
  if [ ! -x "$exe" ]; then
    echo "docs: $tool is not built ($exe)" >&2; status=1; continue
  fi
  mkdir -p "$work/help-$tool" && cd "$work/help-$tool"
  if "$exe" --help >out.txt 2>&1 && grep -q '^Usage:' out.txt && [ "$(ls -A | grep -vx out.txt | wc -l)" = 0 ]; then
    echo "docs: $tool --help prints its usage and writes nothing"
  else
    echo "docs: $tool --help FAILED (exit status, usage text, or a file written: $(ls -A | tr '\n' ' '))" >&2
    cat out.txt >&2; status=1
  fi
  cd "$src"
done

# --- 1 and 2: the pages, their runnable blocks and their links
pages=$(ls README.md examples/README.md; find docs -name '*.md' | sort)
python3 - "$work" $pages <<'PY' || status=1
import os, re, sys
work, pages = sys.argv[1], sys.argv[2:]
failed = False

def slug(heading):
    s = heading.strip().lower()
    s = s.replace("`", "")
    s = re.sub(r"[^\w\- ]", "", s)
    return s.replace(" ", "-")

def headings(path):
    found, fence = set(), False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fence = not fence
        elif not fence and line.startswith("#"):
            found.add(slug(line.lstrip("#")))
    return found

blocks_dir = os.path.join(work, "blocks")
os.makedirs(blocks_dir)
for page in pages:
    text = open(page, encoding="utf-8").read()
    # runnable blocks
    blocks, current, kind = [], None, None
    for line in text.splitlines():
        if current is None:
            m = re.match(r"^```bash runnable( needs-pg)?\s*$", line)
            if m:
                current, kind = [], "pg" if m.group(1) else "plain"
            continue
        if line.startswith("```"):
            blocks.append((kind, "\n".join(current)))
            current = None
        else:
            current.append(line)
    if blocks:
        name = page.replace("/", "_")
        with open(os.path.join(blocks_dir, name + ".list"), "w") as listing:
            for i, (kind, body) in enumerate(blocks):
                file = os.path.join(blocks_dir, "%s.%02d.%s.sh" % (name, i, kind))
                open(file, "w").write(body + "\n")
                listing.write(file + "\n")
    # links, outside code
    plain = re.sub(r"```.*?```", "", text, flags=re.S)
    plain = re.sub(r"`[^`\n]*`", "", plain)
    for target in re.findall(r"\]\(([^)\s]+)\)", plain):
        if re.match(r"^[a-z]+:", target):
            continue
        path, _, fragment = target.partition("#")
        resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        if not os.path.exists(resolved):
            print("docs: %s: broken link %s" % (page, target))
            failed = True
        elif fragment and resolved.endswith(".md") and fragment not in headings(resolved):
            print("docs: %s: link %s: no heading #%s in %s" % (page, target, fragment, resolved))
            failed = True
print("docs: links of %d pages checked" % len(pages))
sys.exit(1 if failed else 0)
PY

# run the blocks, one scratch folder per page
export TAGSINK_SRC=$src TAGSINK_BUILD=$build PATH=$build/bin:$PATH
export XDG_CONFIG_HOME=$work/xdg XDG_CONFIG_DIRS=$work/xdg-dirs
export TAGSINK_ODBC_DIR=$work/odbc
mkdir -p "$TAGSINK_ODBC_DIR"
# shellcheck source=scripts/test-env.sh
source scripts/test-env.sh
if [ -n "${TAGSINK_PG_CONN:-}" ]; then
  export PGHOST=127.0.0.1 PGUSER=postgres PGDATABASE=postgres
  PGPORT=$(sed -n 's/.*Port=\([0-9]*\).*/\1/p' <<<"$TAGSINK_PG_CONN")
  export PGPORT
fi
ran=0
for listing in "$work"/blocks/*.list; do
  [ -e "$listing" ] || continue
  page=$(basename "$listing" .list)
  dir=$work/run/$page
  mkdir -p "$dir"
  while read -r block; do
    if [[ $block == *.pg.sh ]] && [ -z "${TAGSINK_PG_CONN:-}" ]; then
      echo "docs: $page: block $(basename "$block") skipped (no PostgreSQL: TAGSINK_PG_CONN is not set)"
      continue
    fi
    if (cd "$dir" && timeout 120 bash -euo pipefail "$block") >"$block.out" 2>&1; then
      ran=$((ran + 1))
    else
      echo "docs: $page: runnable block $(basename "$block") FAILED:" >&2
      sed 's/^/    | /' "$block" >&2
      echo "    output:" >&2
      tail -n 30 "$block.out" | sed 's/^/    > /' >&2
      status=1
    fi
  done <"$listing"
done
echo "docs: $ran runnable blocks passed"
exit $status
