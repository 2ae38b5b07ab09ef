#!/usr/bin/env bash
# The docs check, against the already-built build/ (TAGSINK_BUILD to use another folder):
#   1. every shell block marked runnable in README.md, docs/ and examples/ runs and exits 0
#      (fenced with "```bash runnable"; "```bash runnable needs-pg" needs TAGSINK_PG_CONN, else it is
#      skipped with a note). The blocks of one page run in order, in one scratch folder of their own, with
#      the build's bin/ first on PATH, TAGSINK_SRC (the checkout), TAGSINK_BUILD, the ODBC set-up of
#      scripts/test-env.sh and, with a PostgreSQL server, PGHOST, PGPORT, PGUSER and PGDATABASE;
#      A "```text output" block right after a runnable block shows what that block prints: each of its
#      lines must be a line of the block's output, any number standing for any number;
#   2. every relative link of those pages points at a file that exists, and a #fragment at a heading of it;
#   3. every tool prints its usage for --help, exits 0 and writes no file, and prints its name and the
#      project's version (TAGCLIENT_VERSION in tagclient.h) for --version;
#   4. the "what runs where" table (between <!-- what-runs-where ... --> and <!-- /what-runs-where -->) is
#      the same in every page that has it as in README.md, where it is kept: after changing README.md's,
#      `bash scripts/test.d/docs.sh --sync-table` copies it into the other pages (and checks nothing else);
#   5. the three commands that scripts/run.sh suggests at its end run and exit 0 on the sample project.
# How to mark a block and what it may rely on: docs/maintaining.md, "The docs check".
set -euo pipefail
cd "$(dirname "$0")/../.."
src=$PWD

# --- 4. the "what runs where" table: README.md holds it, the other pages a copy
table_check() { # check | sync
  python3 - "$1" README.md $(grep -l '^<!-- what-runs-where' docs/*.md docs/*/*.md 2>/dev/null) <<'PY'
import re, sys
mode, source, copies = sys.argv[1], sys.argv[2], sys.argv[3:]
pattern = re.compile(r"^<!-- what-runs-where.*?^<!-- /what-runs-where -->$", re.S | re.M)
def table(path):
    found = pattern.findall(open(path, encoding="utf-8").read())
    if len(found) != 1:
        sys.exit("docs: %s: %d \"what runs where\" tables (between <!-- what-runs-where and "
                 "<!-- /what-runs-where -->), expected 1" % (path, len(found)))
    return found[0]
want = table(source)
if "](" in want:
    sys.exit("docs: %s: the \"what runs where\" table must hold no links (its copies live in other "
             "folders)" % source)
if not copies:
    sys.exit("docs: no page holds a copy of README.md's \"what runs where\" table")
bad = []
for page in copies:
    text = open(page, encoding="utf-8").read()
    if table(page) == want:
        continue
    if mode == "sync":
        open(page, "w", encoding="utf-8").write(pattern.sub(lambda m: want, text, count=1))
        print("docs: %s: the \"what runs where\" table copied from %s" % (page, source))
    else:
        bad.append(page)
for page in bad:
    print("docs: %s: the \"what runs where\" table differs from %s's; change README.md's and run "
          "bash scripts/test.d/docs.sh --sync-table" % (page, source))
if not bad:
    print("docs: the \"what runs where\" table of %s agrees in %s" % (source, ", ".join(copies)))
sys.exit(1 if bad else 0)
PY
}
if [ "${1:-}" = --sync-table ]; then
  table_check sync
  exit
fi
build=$(cd "${TAGSINK_BUILD:-build}" && pwd)
work=$(mktemp -d /tmp/tagsink-docs.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
table_check check || status=1

# --- 3. --help and --version of every tool
version=$(sed -n 's/^#define TAGCLIENT_VERSION "\(.*\)"$/\1/p' toolkit/include/tagclient.h)
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
  rm -f out.txt
  # the desktop program says "tagsink (tagclient 1.0.0)", the tools "tagsink-run 1.0.0"
  if "$exe" --version >out.txt 2>&1 &&
    { [ "$(cat out.txt)" = "$tool $version" ] || [ "$(cat out.txt)" = "$tool (tagclient $version)" ]; } &&
    [ "$(ls -A | grep -vx out.txt | wc -l)" = 0 ]; then
    echo "docs: $tool --version prints $(cat out.txt)"
  else
    echo "docs: $tool --version FAILED (exit status, not \"$tool $version\", or a file written)" >&2
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
    # runnable blocks, and the output shown after them
    blocks, current, kind, last_fence = [], None, None, None
    for number, line in enumerate(text.splitlines(), 1):
        if current is None:
            m = re.match(r"^```(bash runnable( needs-pg)?|text output)\s*$", line)
            if m:
                current = []
                kind = "output" if m.group(1) == "text output" else "pg" if m.group(2) else "plain"
                if kind == "output" and last_fence != "runnable":
                    print("docs: %s:%d: a text output block must follow a runnable block" % (page, number))
                    failed = True
            elif line.startswith("```"):
                current, kind = [], "other"
            continue
        if line.startswith("```"):
            if kind == "output" and last_fence == "runnable":
                blocks[-1][2].extend(l for l in current if l.strip())
            elif kind in ("pg", "plain"):
                blocks.append((kind, "\n".join(current), []))
            last_fence = "runnable" if kind in ("pg", "plain") else kind
            current = None
        else:
            current.append(line)
    if blocks:
        name = page.replace("/", "_")
        with open(os.path.join(blocks_dir, name + ".list"), "w") as listing:
            for i, (kind, body, expected) in enumerate(blocks):
                file = os.path.join(blocks_dir, "%s.%02d.%s.sh" % (name, i, kind))
                open(file, "w").write(body + "\n")
                if expected:
                    open(file[:-3] + ".expect", "w").write("\n".join(expected) + "\n")
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
# Each line of an "output" block, any number in it standing for any number, must be a line of the output.
expect_output() { # EXPECTED OUTPUT
  python3 - "$1" "$2" <<'PY'
import re, sys
expected = open(sys.argv[1], encoding="utf-8").read().splitlines()
printed = [re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", l).rstrip() for l in
           open(sys.argv[2], encoding="utf-8", errors="replace").read().replace("\r", "\n").splitlines()]
missing = []
for line in expected:
    pattern = "".join(r"-?[0-9]+(\.[0-9]+)?" if re.fullmatch(r"-?[0-9]+(\.[0-9]+)?", part) else re.escape(part)
                      for part in re.split(r"(-?[0-9]+(?:\.[0-9]+)?)", line.rstrip()))
    if not any(re.fullmatch(pattern, l) for l in printed):
        missing.append(line)
for line in missing:
    print("    shown but not printed: " + line, file=sys.stderr)
sys.exit(1 if missing else 0)
PY
}
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
      if [ -e "${block%.sh}.expect" ] && ! expect_output "${block%.sh}.expect" "$block.out"; then
        echo "docs: $page: the output shown after block $(basename "$block") is not what it printed:" >&2
        sed 's/^/    > /' "$block.out" | tail -n 30 >&2
        status=1
      fi
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

# --- 5. what scripts/run.sh suggests trying next: its three commands, on the sample project
mapfile -t next < <(sed -n 's/^       \(\(tagclient-cli\|tagsink-project\|tagsink-run\|tagsink-buffer\) .*\)$/\1/p' \
  scripts/run.sh)
if [ ${#next[@]} != 3 ]; then
  echo "docs: scripts/run.sh suggests ${#next[@]} commands at its end, not 3" >&2
  status=1
fi
mkdir -p "$work/run-next" && cd "$work/run-next"
cp "$src/docs/samples/sample.DAT" sample.DAT
sqlite3 sample.db <"$src/docs/samples/sample.sql"
for command in "${next[@]}"; do
  if timeout 60 bash -euo pipefail -c "$command" >out.txt 2>&1; then
    echo "docs: run.sh's next step runs: $command"
  else
    echo "docs: run.sh's next step FAILED: $command" >&2
    tail -n 20 out.txt | sed 's/^/    > /' >&2
    status=1
  fi
done
cd "$src"
exit $status
