#!/usr/bin/env python3
"""Keeps README.md, docs/ and the manual page true to the program.

    check-docs.py --hddiag PATH [--root DIR] [--no-run]

Checks, with FILE:LINE for every fault:

- links: every relative link and #anchor in README.md and docs/*.md resolves
  (anchors as GitHub makes them from headings, or an <a id=...>);
- options: the options and subcommands come from `hddiag --help` and each
  subcommand's `--help`, so a new command is picked up without a change here.
  Every option has a .TP entry under OPTIONS in packaging/deb/hddiag.1.in and
  a code span starting with it in docs/hddiag.md, and every subcommand a .TP
  entry under COMMANDS and a command line in docs/hddiag.md. No hddiag
  command line (in a code block, or a code span starting with hddiag or
  scripts/run.sh, which runs `hddiag run`), no
  OPTIONS entry of the manual page and no code span of docs/hddiag.md that
  starts with a minus names an option hddiag does not have where it stands
  (before the subcommand: the global ones; after it: those and its own).
  Other programs' command lines are not looked at;
- examples: a fenced block that holds a hddiag command line is marked, after
  its language, `run` or `norun` (root, a real disk, Windows). Each command of
  a `run` block runs in a scratch folder that holds test/ (the machine files),
  with this hddiag first on PATH, and must exit with 0 or with the status its
  trailing `# exit N` comment gives;
- JSON fields: the `--json` documents of info, test, run, scan, health and
  check on the built-in machine (those commands hddiag has) are read, and
  every object key in them, at any depth, is a code span of its own in
  docs/hddiag.md. This runs even with --no-run.
"""
import argparse
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

errors = []


def fault(where, message):
    errors.append(f"{where}: {message}")


# ---- the program's options, from its help ------------------------------------

OPTION_TOKEN = re.compile(r"(?<![\w-])(--?[A-Za-z][\w-]*)")


def help_text(hddiag, args):
    done = subprocess.run([hddiag, *args, "--help"], capture_output=True, text=True, timeout=30)
    if done.returncode != 0:
        raise SystemExit(f"check-docs: {hddiag} {' '.join(args)} --help exited with {done.returncode}")
    return done.stdout


def parse_help(text):
    """CLI11's help: {option: takes a value} and the subcommands' names.

    Options and subcommands may stand in groups of their own (a "Name:" line),
    so any entry that starts with a minus is an option, and any other entry
    outside Positionals a subcommand."""
    options, subcommands, section = {}, [], None
    for line in text.splitlines():
        if re.match(r"^\S.*:$", line):
            section = line[:-1]
            continue
        if section is None:
            continue
        if re.match(r"^  -", line):
            names, _, rest = line.strip().partition(" ")
            for name in names.split(","):
                options[name] = bool(rest) and not rest.startswith(("Excludes:", "Needs:")) and \
                    not rest.startswith(" ")
        elif section != "Positionals" and re.match(r"^  [A-Za-z][\w-]*(\s{2,}|$)", line):
            subcommands.append(line.split()[0])
    return options, subcommands


class Program:
    def __init__(self, hddiag):
        self.scopes = {}  # () for the global options, ("run",) for run's own
        self.subcommands = []
        self._walk(hddiag, ())

    def _walk(self, hddiag, path):
        options, subs = parse_help(help_text(hddiag, list(path)))
        self.scopes[path] = options
        for sub in subs:
            self.subcommands.append(path + (sub,))
            self._walk(hddiag, path + (sub,))

    def all_options(self):
        return {name for options in self.scopes.values() for name in options}

    def lookup(self, scope, name):
        """Whether the option exists where it stands; global ones hold everywhere."""
        return any(name in self.scopes.get(scope[:n], {}) for n in range(len(scope) + 1))

    def takes_value(self, scope, name):
        return any(self.scopes.get(scope[:n], {}).get(name, False) for n in range(len(scope) + 1))


# ---- command lines -------------------------------------------------------------

def hddiag_words(line):
    """The words after the program when the line runs hddiag, else None."""
    line = line.strip()
    if line.startswith("$ "):
        line = line[2:]
    try:
        words = shlex.split(line, comments=True)
    except ValueError:
        words = line.split()
    while words and (words[0] == "sudo" or re.match(r"^[A-Z_][A-Z0-9_]*=", words[0])):
        words = words[1:]
    if words and os.path.basename(words[0]) in ("hddiag", "hddiag.exe"):
        return words[1:]
    if words and words[0].endswith("scripts/run.sh"):  # hands its arguments to hddiag run
        return ["run", *words[1:]]
    return None


def check_command(program, where, words):
    scope, depth, skip = (), 0, False
    for word in words:
        if depth == 0 and (word in ("|", "||", "&&", ";", "&") or word.startswith((">", "<", "2>", "&>"))):
            break
        opens, closes = word.count("[") + word.count("("), word.count("]") + word.count(")")
        bare = word.strip("[](){}.,")
        if skip:
            skip = False
        elif OPTION_TOKEN.fullmatch(bare.split("=")[0]):
            name = bare.split("=")[0]
            if not program.lookup(scope, name):
                place = "hddiag " + " ".join(scope) if scope else "hddiag"
                fault(where, f"names {name}, which {place.strip()} does not have")
            elif "=" not in bare and program.takes_value(scope, name) and depth == 0:
                skip = True
        elif depth == 0 and scope + (bare,) in program.subcommands:
            scope = scope + (bare,)
        depth = max(0, depth + opens - closes)


# ---- Markdown ------------------------------------------------------------------

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})\s*(.*)$")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")
LINK = re.compile(r"!?\[(?:[^\]\[]|\[[^\]]*\])*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
REF_DEF = re.compile(r"^ {0,3}\[[^\]]+\]:\s*(\S+)")
HTML_ANCHOR = re.compile(r"<a\s+(?:id|name)=\"([^\"]+)\"")


class Markdown:
    def __init__(self, path, rel):
        self.path, self.rel = path, rel
        self.blocks = []  # (line number, info words, [(line number, text)])
        self.prose = []  # (line number, text) outside fenced blocks
        self.anchors = set()
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        fence, counts = None, {}
        for number, line in enumerate(lines, 1):
            m = FENCE.match(line)
            if fence is None and m:
                fence = (m.group(1), number, m.group(2).split(), [])
                continue
            if fence is not None:
                if m and m.group(1)[0] == fence[0][0] and len(m.group(1)) >= len(fence[0]) and not m.group(2):
                    self.blocks.append(fence[1:])
                    fence = None
                else:
                    fence[3].append((number, line))
                continue
            self.prose.append((number, line))
            heading = re.match(r"^ {0,3}#{1,6}\s+(.*?)\s*#*\s*$", line)
            if heading:
                slug = github_slug(heading.group(1))
                n = counts.get(slug, 0)
                counts[slug] = n + 1
                self.anchors.add(slug if n == 0 else f"{slug}-{n}")
            self.anchors.update(HTML_ANCHOR.findall(line))
        if fence is not None:
            fault(f"{rel}:{fence[1]}", "code block not closed")

    def code_spans(self):
        for number, line in self.prose:
            for m in CODE_SPAN.finditer(line):
                yield number, m.group(2).strip()


def github_slug(text):
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"<[^>]+>", "", text).replace("`", "").replace("*", "")
    text = re.sub(r"[^\w\- ]", "", text.strip().lower())
    return text.replace(" ", "-")


def logical_lines(lines):
    """Joins backslash continuations: [(first line number, text)]."""
    out, pending, first = [], "", None
    for number, text in lines:
        if first is None:
            first = number
        if text.endswith("\\"):
            pending += text[:-1] + " "
            continue
        out.append((first, pending + text))
        pending, first = "", None
    if pending:
        out.append((first, pending))
    return out


def check_links(docs, root):
    for doc in docs.values():
        for number, line in doc.prose:
            text = CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)
            targets = LINK.findall(text)
            ref = REF_DEF.match(text)
            if ref:
                targets.append(ref.group(1))
            for target in targets:
                check_link(docs, root, doc, f"{doc.rel}:{number}", target)


def check_link(docs, root, doc, where, target):
    if re.match(r"^[a-zA-Z][a-zA-Z0-9+.-]*:", target) or target.startswith("//"):
        return
    path, _, anchor = target.partition("#")
    if path:
        base = root if path.startswith("/") else os.path.dirname(doc.path)
        full = os.path.normpath(os.path.join(base, path.lstrip("/")))
        if not os.path.exists(full):
            fault(where, f"link to {target}: {path} does not exist")
            return
    else:
        full = doc.path
    if not anchor:
        return
    if not full.endswith(".md"):
        fault(where, f"link to {target}: an anchor in a file that is not Markdown")
        return
    other = docs.get(os.path.realpath(full)) or Markdown(full, os.path.relpath(full, root))
    if anchor not in other.anchors:
        fault(where, f"link to {target}: no heading gives #{anchor} in {other.rel}")


# ---- the manual page -------------------------------------------------------------

ALTERNATING = {"BR", "BI", "IR", "RB", "RI", "IB"}


def roff_text(line):
    """A roff line as it reads: macros applied, escapes undone."""
    line = line.replace("\\-", "-").replace("\\ ", " ").replace("\\e", "\\")
    line = re.sub(r"\\f(\[[^\]]*\]|\(..|.)", "", line)
    line = re.sub(r"\\\(..|\\&|\\c$", "", line)
    m = re.match(r"^\.([A-Z]{1,2})(?:\s+(.*))?$", line)
    if not m:
        return line
    args = re.findall(r'"((?:[^"]|"")*)"|(\S+)', m.group(2) or "")
    words = [quoted or bare for quoted, bare in args]
    return "".join(words) if m.group(1) in ALTERNATING else " ".join(words)


def read_man(path, rel, program):
    """The options with a .TP entry under OPTIONS, and the commands under COMMANDS."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    entries, commands, section, after_tp, in_nf = {}, set(), None, False, False
    for number, raw in enumerate(lines, 1):
        where = f"{rel}:{number}"
        if raw.startswith(".\\\""):
            continue
        if raw.startswith(".SH"):
            section = roff_text(raw).strip()
        if raw.startswith(".nf"):
            in_nf = True
        elif raw.startswith(".fi"):
            in_nf = False
        text = roff_text(raw)
        if after_tp:
            after_tp = False
            if section == "OPTIONS":
                for name in OPTION_TOKEN.findall(text):
                    entries.setdefault(name, where)
                    if name not in program.all_options():
                        fault(where, f"describes {name}, which hddiag does not have")
            elif section == "COMMANDS" and text.split():
                commands.add(text.split()[0])
        after_tp = raw.startswith(".TP")
        if (in_nf or raw.startswith(".")) and not raw.startswith((".TP", ".SH", ".SS")):
            words = hddiag_words(text)
            if words:
                check_command(program, where, words)
    return entries, commands


# ---- examples --------------------------------------------------------------------

EXPECTED = re.compile(r"#\s*exit\s+(\d+)\b[^#]*$")


def run_examples(docs, root, hddiag):
    count = 0
    with tempfile.TemporaryDirectory(prefix="check-docs-") as scratch:
        bin_dir = os.path.join(scratch, "bin")
        work = os.path.join(scratch, "work")
        os.makedirs(bin_dir)
        os.makedirs(work)
        os.symlink(os.path.abspath(hddiag), os.path.join(bin_dir, "hddiag"))
        if os.path.isdir(os.path.join(root, "test")):
            os.symlink(os.path.join(root, "test"), os.path.join(work, "test"))
        env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""))
        env.pop("NO_COLOR", None)
        for doc in docs.values():
            for start, info, lines in doc.blocks:
                if "run" not in info[1:]:
                    continue
                for number, command in logical_lines(lines):
                    if not command.strip() or command.lstrip().startswith("#"):
                        continue
                    m = EXPECTED.search(command)
                    expected = int(m.group(1)) if m else 0
                    try:
                        done = subprocess.run(["bash", "-c", command], cwd=work, env=env, capture_output=True,
                                              text=True, errors="replace", timeout=120)
                        status = done.returncode
                    except subprocess.TimeoutExpired:
                        fault(f"{doc.rel}:{number}", f"`{command.strip()}` took longer than 120 s")
                        continue
                    count += 1
                    if status != expected:
                        tail = (done.stderr.strip().splitlines() or [""])[-1]
                        fault(f"{doc.rel}:{number}",
                              f"`{command.strip()}` exited with {status}, the text says {expected}"
                              + (f" ({tail})" if tail else ""))
    return count


# ---- JSON fields -------------------------------------------------------------------

# Each command's --json document, on the built-in machine; together they hold
# every object key the program writes there.
JSON_COMMANDS = [
    ["info"],
    ["test", "linear", "0-1"],
    ["run"],
    ["scan", "1"],
    ["health"],
    ["check", "2"],
]


def json_keys(value, found):
    """Every object key in value, at any depth, in the order first met."""
    if isinstance(value, dict):
        for key, inner in value.items():
            found.setdefault(key, None)
            json_keys(inner, found)
    elif isinstance(value, list):
        for inner in value:
            json_keys(inner, found)


def check_json_fields(program, hddiag, guide):
    """Every key of the --json documents is a code span in the guide."""
    described = {span for _, span in guide.code_spans()}
    reported = set()
    with tempfile.TemporaryDirectory(prefix="check-docs-json-") as scratch:
        for args in JSON_COMMANDS:
            if (args[0],) not in program.subcommands:
                continue
            command = ["--machine", "builtin", "--json", *args]
            label = "hddiag " + " ".join(command)
            try:
                done = subprocess.run([os.path.abspath(hddiag), *command], cwd=scratch, capture_output=True,
                                      text=True, errors="replace", timeout=120)
            except subprocess.TimeoutExpired:
                fault(guide.rel, f"`{label}` took longer than 120 s")
                continue
            if done.returncode not in (0, 1):
                tail = (done.stderr.strip().splitlines() or [""])[-1]
                fault(guide.rel, f"`{label}` exited with {done.returncode}" + (f" ({tail})" if tail else ""))
                continue
            try:
                document = json.loads(done.stdout)
            except ValueError as e:
                fault(guide.rel, f"`{label}` printed no JSON document ({e})")
                continue
            found = {}
            json_keys(document, found)
            for key in found:
                if key in described or key in reported:
                    continue
                reported.add(key)
                if re.fullmatch(r"[\d.+-]+", key):
                    fault(guide.rel, f"`{label}` writes {key!r}, a number, as a JSON key: data, not a field")
                else:
                    fault(guide.rel, f"the JSON field {key} (`{label}`) is not described (a code span `{key}`)")


# ---- all together ----------------------------------------------------------------

def main(argv=None):
    errors.clear()
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--hddiag", required=True, help="the hddiag program to check against")
    parser.add_argument("--root", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."),
                        help="the repository (default: this script's)")
    parser.add_argument("--no-run", action="store_true", help="do not run the examples")
    args = parser.parse_args(argv)
    root = os.path.realpath(args.root)
    program = Program(args.hddiag)

    paths = [os.path.join(root, "README.md")]
    docs_dir = os.path.join(root, "docs")
    if os.path.isdir(docs_dir):
        paths += sorted(os.path.join(docs_dir, n) for n in os.listdir(docs_dir) if n.endswith(".md"))
    docs = {}
    for path in paths:
        if os.path.exists(path):
            docs[os.path.realpath(path)] = Markdown(path, os.path.relpath(path, root))
    check_links(docs, root)

    guide_path = os.path.realpath(os.path.join(docs_dir, "hddiag.md"))
    guide = docs.get(guide_path)
    guide_options, guide_commands = set(), set()
    for doc in docs.values():
        for start, info, lines in doc.blocks:
            marked = {"run", "norun"} & set(info[1:])
            for number, command in logical_lines(lines):
                words = hddiag_words(command)
                if words is None:
                    continue
                check_command(program, f"{doc.rel}:{number}", words)
                if doc is guide:
                    guide_commands.update(w for w in words if (w,) in program.subcommands)
                if not marked:
                    fault(f"{doc.rel}:{start}", "a block with hddiag command lines is marked neither run nor norun")
                    marked = {"reported"}
        for number, span in doc.code_spans():
            words = hddiag_words(span)
            if words is not None:
                check_command(program, f"{doc.rel}:{number}", words)
                if doc is guide:
                    guide_commands.update(w for w in words if (w,) in program.subcommands)
            elif doc is guide and span.startswith("-"):
                first = span.split()[0].split("=")[0].rstrip(",")
                if OPTION_TOKEN.fullmatch(first):
                    guide_options.add(first)
                    if first not in program.all_options():
                        fault(f"{doc.rel}:{number}", f"names {first}, which hddiag does not have")

    man_rel = os.path.join("packaging", "deb", "hddiag.1.in")
    man_entries, man_commands = read_man(os.path.join(root, man_rel), man_rel, program)
    for scope, options in sorted(program.scopes.items()):
        label = "hddiag " + " ".join(scope) + " --help" if scope else "hddiag --help"
        for name in options:
            if name not in man_entries:
                fault(man_rel, f"{name} ({label}) has no .TP entry under OPTIONS")
            if guide is not None and name not in guide_options:
                fault("docs/hddiag.md", f"{name} ({label}) is not described (a code span starting with it)")
    for path in program.subcommands:
        if path[-1] not in man_commands:
            fault(man_rel, f"the command {' '.join(path)} has no .TP entry under COMMANDS")
        if guide is not None and len(path) == 1 and path[0] not in guide_commands:
            fault("docs/hddiag.md", f"the command {path[0]} appears in no hddiag command line")
    if guide is None:
        fault("docs/hddiag.md", "missing")
    else:
        check_json_fields(program, args.hddiag, guide)

    examples = 0 if args.no_run else run_examples(docs, root, args.hddiag)
    for line in errors:
        print(line)
    print(f"check-docs: {len(docs)} pages, {len(program.all_options())} options in "
          f"{len(program.scopes)} help texts, {examples} examples run; "
          + (f"{len(errors)} faults" if errors else "all true"))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
