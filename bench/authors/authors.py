#!/usr/bin/env python3
"""Script folders laid out the way authors keep them, packed three ways.

Makes script folders with their authors' own ScriptInfo.xml (UTF-16, UTF-8
with and without a mark, the Windows code page, declared encodings; tabs,
spaces, CR LF and LF; menus, commands, author and update fields, comments,
CDATA, a prefixed extension), under git, with desktop files; packs each with
`bundlesmith pack --from FOLDER`, `--from FOLDER/ScriptInfo.xml` and with the
manifest among the paths, then re-packs from the pack. Counts the scripts
whose pack keeps every element the author wrote, holds exactly the script's
files at its root, and whose re-pack writes the same manifest.
"""
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

NS = "{urn:msgplus:scripts}"
GENERATED_INFO = {"Name", "Description", "AboutUrl", "Version"}
GENERATED_TOP = {"Information", "OleFiles", "DotNetFiles"}

MENU = """<ScriptMenu>
{i}<MenuEntry Id="mnuRun">Run now</MenuEntry>
{i}<Separator/>
{i}<SubMenu Label="More">
{i}{i}<MenuEntry Id="mnuAbout">About &amp; help</MenuEntry>
{i}</SubMenu>
</ScriptMenu>"""
COMMANDS = """<ScriptCommands>
{i}<Command>
{i}{i}<Name>{cmd}</Name>
{i}{i}<Description>Runs {cmd}</Description>
{i}{i}<Parameters>&lt;text&gt;</Parameters>
{i}</Command>
</ScriptCommands>"""
ODD = """<!-- the author's note -->
<Options Mode="fast"><![CDATA[a < b && c]]><Flag/></Options>"""

# name, encoding, indent, line end, version place, extra info, sections, registrations
SCRIPTS = [
    ("Contador", "utf-16-le-bom", "\t", "\r\n", "element", ["Author"], [MENU, COMMANDS], ("ole", "lib\\helper.dll")),
    ("Greeter", "utf-8", "  ", "\n", "attr", [], [MENU], None),
    ("AutoAway", "utf-8-bom", "\t", "\r\n", "element", ["Author", "UpdateID", "BuildNumber"], [], None),
    ("Saudações", "cp1252", "\t", "\r\n", "element", ["Author"], [COMMANDS], None),
    ("Kleurtjes", "utf-16-be-bom", "    ", "\r\n", "both", ["UpdateId"], [MENU, COMMANDS], None),
    ("Añadido", "iso-8859-1", "\t", "\n", "element", [], [COMMANDS], None),
    ("Notes", "utf-8", "\t", "\r\n", "element", ["Author"], [ODD, MENU], None),
    ("Minimal", "utf-8", "", "\n", "none", [], [], None),
    ("NetBridge", "utf-8", "\t", "\r\n", "element", ["Author"], ["<x:Extension xmlns:x=\"urn:example:x\"><x:Item Key=\"k\"/></x:Extension>", MENU], ("net", "lib\\Bridge.dll")),
    ("Relógio", "utf-16-le-bom", "\t", "\r\n", "element", ["Author", "BuildNumber"], [MENU], ("ole", "clock.ocx")),
]


def indent_block(text, indent, level=1):
    return "\n".join(indent * level + line for line in text.replace("{i}", indent).split("\n"))


def manifest_text(name, indent, version_place, extra, sections, reg):
    lines = ['<?xml version="1.0"%s?>', '<ScriptInfo xmlns="urn:msgplus:scripts" '
             'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"%s>' %
             (' Version="1.9"' if version_place in ("attr", "both") else "")]
    lines.append(indent + "<Information>")
    lines.append(indent * 2 + "<Name>%s</Name>" % name)
    lines.append(indent * 2 + "<Description>%s does its job.\n%sSecond line: ç é ü</Description>" % (name, indent * 2))
    if version_place in ("element", "both"):
        lines.append(indent * 2 + "<Version>2.%d</Version>" % len(name))
    values = {"Author": "Ana &amp; Jo", "UpdateID": "{1234-ABCD}", "UpdateId": "{5678-EF01}", "BuildNumber": "17"}
    for tag in extra:
        lines.append(indent * 2 + "<%s>%s</%s>" % (tag, values[tag], tag))
    lines.append(indent * 2 + "<AboutUrl>http://example.org/%s?a=1&amp;b=2</AboutUrl>" % len(name))
    lines.append(indent + "</Information>")
    for s in sections:
        lines.append(indent_block(s.replace("{cmd}", "cmd%d" % len(name)), indent))
    if reg:
        tag = "OleFiles" if reg[0] == "ole" else "DotNetFiles"
        lines.append(indent + "<%s>" % tag)
        lines.append(indent * 2 + "<FileName>%s</FileName>" % reg[1])
        lines.append(indent + "</%s>" % tag)
    lines.append("</ScriptInfo>")
    return "\n".join(lines)


def encode(text, encoding, eol):
    text = text.replace("\n", eol)
    declared = {"utf-16-le-bom": "UTF-16", "utf-16-be-bom": "UTF-16", "iso-8859-1": "ISO-8859-1"}.get(encoding)
    text = text % ((' encoding="%s"' % declared) if declared else "")
    if encoding == "utf-16-le-bom":
        return b"\xff\xfe" + text.encode("utf-16-le")
    if encoding == "utf-16-be-bom":
        return b"\xfe\xff" + text.encode("utf-16-be")
    if encoding == "utf-8-bom":
        return b"\xef\xbb\xbf" + text.encode("utf-8")
    return text.encode({"cp1252": "cp1252", "iso-8859-1": "latin-1"}.get(encoding, "utf-8"))


def make_script(root, spec):
    name, encoding, indent, eol, version_place, extra, sections, reg = spec
    folder = os.path.join(root, name)
    for sub in ("lib", "sounds", "images", ".git/objects/ab"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    with open(os.path.join(folder, "ScriptInfo.xml"), "wb") as f:
        f.write(encode(manifest_text(name, indent, version_place, extra, sections, reg), encoding, eol))
    js = "// %s\r\nfunction OnEvent_Initialize(MessengerStart) {}\r\n" % name
    files = {name + ".js": b"\xff\xfe" + js.encode("utf-16-le"),
             "lib/helper.dll": b"MZ" + bytes(range(256)) * 8, "lib/Bridge.dll": b"MZ" + b"\0" * 900,
             "clock.ocx": b"MZ ocx", "sounds/ding.wav": b"RIFF" + bytes(2000),
             "images/icon.png": b"\x89PNG" + bytes(300), "Thumbs.db": b"junk", "images/desktop.ini": b"[x]",
             ".git/HEAD": b"ref: refs/heads/main\n", ".git/objects/ab/cd": b"x" * 50}
    for rel, data in files.items():
        with open(os.path.join(folder, rel), "wb") as f:
            f.write(data)
    subprocess.run(["git", "init", "-q", folder], check=False, capture_output=True)
    return folder


def canon(e):
    """An element as a reader sees it: name, attributes, text, children."""
    text = (e.text or "").strip()
    return (e.tag, tuple(sorted(e.attrib.items())), text, tuple(canon(c) for c in e))


def author_tree(path):
    data = open(path, "rb").read()
    if data.startswith((b"\xff\xfe", b"\xfe\xff", b"\xef\xbb\xbf")) or b"encoding=" in data[:100]:
        return ET.fromstring(data)
    try:
        return ET.fromstring(data.decode("utf-8"))
    except UnicodeDecodeError:
        return ET.fromstring(data.decode("cp1252"))


def kept_elements(root):
    out = []
    for child in root:
        if child.tag.replace(NS, "") == "Information":
            out += [c for c in child if c.tag.replace(NS, "") not in GENERATED_INFO]
        elif child.tag.replace(NS, "") not in GENERATED_TOP:
            out.append(child)
    return [canon(e) for e in out]


def script_files(folder):
    found = set()
    for base, dirs, files in os.walk(folder):
        dirs[:] = [d for d in dirs if d != ".git"]
        for f in files:
            rel = os.path.relpath(os.path.join(base, f), folder).replace(os.sep, "/")
            if f not in ("ScriptInfo.xml", "Thumbs.db", "desktop.ini"):
                found.add(rel)
    return found


def check(binary, folder, out_dir):
    problems = []
    author = author_tree(os.path.join(folder, "ScriptInfo.xml"))
    want = kept_elements(author)
    name = os.path.basename(folder)
    entries_of_root = sorted(os.path.join(folder, e) for e in os.listdir(folder) if e != ".git")
    ways = {"from folder": ["--from", folder],
            "from manifest": ["--from", os.path.join(folder, "ScriptInfo.xml")],
            "among paths": [p for p in entries_of_root if os.path.basename(p) != "Thumbs.db"]}
    manifests = {}
    for way, args in ways.items():
        pack = os.path.join(out_dir, "%s-%s.plsc" % (name, way.replace(" ", "-")))
        r = subprocess.run([binary, "pack", "-o", pack] + args, capture_output=True, text=True)
        if r.returncode != 0:
            problems.append("%s: exit %d: %s" % (way, r.returncode, r.stderr.strip()))
            continue
        with zipfile.ZipFile(pack) as z:
            names = set(n for n in z.namelist() if not n.endswith("/"))
            written = z.read("ScriptInfo.xml")
        if names - {"ScriptInfo.xml"} != script_files(folder):
            problems.append("%s: entries %s" % (way, sorted(names ^ (script_files(folder) | {"ScriptInfo.xml"}))))
        got = kept_elements(ET.fromstring(written))
        if got != want:
            problems.append("%s: kept elements differ" % way)
        if subprocess.run(["xmllint", "--noout", "-"], input=written, capture_output=True).returncode != 0:
            problems.append("%s: manifest not well-formed" % way)
        manifests[way] = written
    # A new release from that pack keeps the manifest as it was.
    if "from folder" in manifests:
        first = os.path.join(out_dir, "%s-from-folder.plsc" % name)
        again = os.path.join(out_dir, "%s-again.plsc" % name)
        paths = [p for p in entries_of_root if os.path.basename(p) not in ("Thumbs.db", "ScriptInfo.xml")]
        r = subprocess.run([binary, "pack", "--from", first, "-o", again] + paths, capture_output=True, text=True)
        with zipfile.ZipFile(again) as z:
            if r.returncode != 0 or z.read("ScriptInfo.xml") != manifests["from folder"]:
                problems.append("re-pack: manifest changed")
    return want, problems


def main():
    binary = sys.argv[1]
    work = tempfile.mkdtemp(prefix="authors-")
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir)
    whole = 0
    for spec in SCRIPTS:
        folder = make_script(work, spec)
        want, problems = check(binary, folder, out_dir)
        kept = ", ".join(sorted(set(re.sub(r"\{.*\}", "", k[0]) for k in want))) or "nothing"
        print("%-10s %-14s kept %-55s %s" % (spec[0], spec[1], kept, "ok" if not problems else "; ".join(problems)))
        whole += not problems
    print("%d of %d scripts keep every element, hold exactly their files and re-pack to the same manifest"
          % (whole, len(SCRIPTS)))
    print("folders and packs left in", work)
    return 0 if whole == len(SCRIPTS) else 1


if __name__ == "__main__":
    sys.exit(main())
