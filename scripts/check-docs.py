#!/usr/bin/env python3
"""Checks that the documentation names only what exists, needing no build:
- README.md and docs/*.md: every link to a file, folder or heading of the repository, and every
  repository path named in the text;
- docs/user-guide.txt, which ships in the release zip: every program and path it sends its reader
  to is in the zip;
- every settings key the program reads is in the user guide with its default, and every section;
- docs/testing.md lists every benchmark docs/performance.md reports.
Prints one line per fault and exits 1 when there is one.

  check-docs.py                              the checks above
  check-docs.py --zip-list                   what the release zip holds, one path a line
  check-docs.py --server-help BINARY         docs/botserver.md's option list against BINARY --help
  check-docs.py --write-server-help BINARY   writes that list anew from BINARY --help
"""
import glob
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDE = "docs/user-guide.txt"
SERVER_PAGE = "docs/botserver.md"
# The folders a reader can be sent to in a checkout; build/ is made by the build, not kept.
REPO_PATH = re.compile(r"(?<![\w./:-])((?:aiml|bench|cmake|docs|scripts|server|src|tests|tools|\.ci)/[\w.*/-]*[\w*])")
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def zip_list():
    # As the install rules of CMakeLists.txt and server/server.cmake lay out the Windows package.
    starter = sorted(os.path.relpath(p, os.path.join(ROOT, "aiml/bots"))
                     for p in glob.glob(os.path.join(ROOT, "aiml/bots/kestro/**"), recursive=True)
                     if os.path.isfile(p))
    return ["quorvanel.exe", "user-guide.txt", "quorvanel-botserver.exe"] + starter


def anchors(text):
    # GitHub's heading ids: lower case, punctuation but hyphens dropped, spaces as hyphens.
    found = set()
    for heading in re.findall(r"^#+\s+(.*?)\s*$", text, re.M):
        found.add(re.sub(r"[^\w\- ]", "", heading.lower()).replace(" ", "-"))
    return found


def check_markdown(path, faults):
    text = read(path)
    base = os.path.dirname(path)
    for number, line in enumerate(text.splitlines(), 1):
        where = f"{path}:{number}"
        for target in LINK.findall(line):
            if re.match(r"[a-z]+:", target):
                continue
            file, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(base, file)) if file else path
            if not os.path.exists(os.path.join(ROOT, resolved)):
                faults.append(f"{where}: link to {target}: no such file or folder")
            elif anchor and resolved.endswith(".md") and anchor not in anchors(read(resolved)):
                faults.append(f"{where}: link to {target}: no such heading")
        for named in REPO_PATH.findall(re.sub(r"\]\([^)\s]+\)", "]", line)):
            if not glob.glob(os.path.join(ROOT, named)):
                faults.append(f"{where}: {named}: not in the repository")


def check_guide(faults):
    in_zip = set(zip_list())
    in_zip |= {os.path.dirname(p) for p in in_zip if "/" in p}
    for number, line in enumerate(read(GUIDE).splitlines(), 1):
        for word in re.findall(r"(?<![\w/:.-])[\w][\w.*/-]*[\w*/]", line):
            # Programs and relative paths; paths inside a Wine prefix are the user's own.
            if not (word.endswith(".exe") or "/" in word) or word.startswith("drive_c/"):
                continue
            if word.rstrip("/") not in in_zip:
                faults.append(f"{GUIDE}:{number}: {word}: not in the release zip")


def check_settings(faults):
    sources = [read(os.path.relpath(p, ROOT))
               for p in glob.glob(os.path.join(ROOT, "src/**/*.[ch]*"), recursive=True)]
    code = "\n".join(sources)
    names = dict(re.findall(r'std::wstring_view\s+(\w+)\s*=\s*L"([^"]*)"', code))
    keys = re.findall(r'SettingKey\s+\w+\s*\{\s*(\w+)\s*,\s*L"([^"]+)"\s*,\s*L"([^"]*)"\s*\}', code)
    sections = {names.get(section, section) for section, _, _ in keys}
    sections |= {names[s] for s in re.findall(r"ReadSetting\(\s*\w+\s*,\s*(\w+)\s*,", code) if s in names}
    guide = read(GUIDE)
    for section in sorted(sections):
        if not re.search(rf"^\s*\[{re.escape(section)}\]\s*$", guide, re.M):
            faults.append(f"{GUIDE}: the settings section [{section}] is not shown")
    for _, key, default in keys:
        if not re.search(rf"^\s*{re.escape(key)}={re.escape(default)}(\s|$)", guide, re.M):
            faults.append(f"{GUIDE}: the setting {key} is not shown with its default ({key}={default})")


def check_benchmarks(faults):
    # Each benchmark a heading of performance.md names is one testing.md says how to run.
    listed = read("docs/testing.md")
    for heading in re.findall(r"^#+ .*$", read("docs/performance.md"), re.M):
        for span in re.findall(r"`([^`]+)`", heading):
            name = os.path.basename(span.split()[0])
            if name not in listed:
                faults.append(f"docs/testing.md: {name}, which docs/performance.md reports, is not listed")


def server_help(binary, write):
    help_text = subprocess.run([binary, "--help"], check=True, capture_output=True, text=True).stdout
    page = read(SERVER_PAGE)
    block = re.compile(r"(## Every option\n.*?```text\n)(.*?)(```)", re.S)
    match = block.search(page)
    if not match:
        sys.exit(f"{SERVER_PAGE}: no ```text block under \"## Every option\"")
    wanted = help_text.rstrip("\n") + "\n"
    if write:
        with open(os.path.join(ROOT, SERVER_PAGE), "w", encoding="utf-8") as f:
            f.write(page[:match.start(2)] + wanted + page[match.end(2):])
    elif match.group(2) != wanted:
        sys.exit(f"{SERVER_PAGE}: the option list differs from {binary} --help; "
                 f"scripts/check-docs.py --write-server-help {binary} writes it anew")


def main(args):
    if args[:1] == ["--zip-list"]:
        print("\n".join(zip_list()))
        return
    if len(args) == 2 and args[0] in ("--server-help", "--write-server-help"):
        server_help(args[1], args[0] == "--write-server-help")
        return
    if args:
        sys.exit(__doc__)
    faults = []
    for path in ["README.md"] + sorted(os.path.relpath(p, ROOT) for p in glob.glob(os.path.join(ROOT, "docs/*.md"))):
        check_markdown(path, faults)
    check_guide(faults)
    check_settings(faults)
    check_benchmarks(faults)
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        sys.exit(1)


if __name__ == "__main__":
    main(sys.argv[1:])
