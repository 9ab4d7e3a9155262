#!/usr/bin/env python3
"""Checks that every relative link and anchor in README.md and docs/ leads somewhere, or in a
package as installed, every link and anchor of every HTML document in it, and that no document
in it (text files too) sends its reader in words to what the package lacks (ELSEWHERE).

Anchors are made as GitHub makes them from headings: lower case, every character but letters,
marks, digits, connector punctuation, spaces and hyphens dropped, spaces turned into hyphens,
and -1, -2 ... appended to repeats. Letters of any script count, so Chinese headings keep theirs.
In HTML they are the id and name attributes.
Usage: check-links.py REPOSITORY_ROOT
       check-links.py --installed UNPACKED_PACKAGE
"""
import html.parser
import pathlib
import re
import sys
import unicodedata
import urllib.parse

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
HEADING = re.compile(r"^ {0,3}#{1,6}[ \t]+(.*?)(?:[ \t]+#+)?[ \t]*$")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")
INLINE_LINK = re.compile(r"!?\[((?:[^\[\]]|\[[^\]]*\])*)\]\(\s*(<[^>]*>|[^\s)]+)(?:\s+\"[^\"]*\")?\s*\)")
REFERENCE = re.compile(r"^ {0,3}\[[^\]]+\]:\s*(<[^>]*>|\S+)")
HTML_TARGET = re.compile(r"\b(?:href|src)=\"([^\"]+)\"")
HTML_ANCHOR = re.compile(r"<a\s+(?:name|id)=\"([^\"]+)\"")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:|^//")


def prose_lines(path):
    """The lines outside fenced code blocks, with their numbers."""
    fence = None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        opened = FENCE.match(line)
        if fence is None and opened:
            fence = opened.group(1)[0] * len(opened.group(1))
        elif fence is not None and line.lstrip().startswith(fence):
            fence = None
        elif fence is None:
            yield number, line


def slug(heading):
    text = CODE_SPAN.sub(lambda span: span.group(2), heading)
    text = INLINE_LINK.sub(lambda link: link.group(1), text)
    text = re.sub(r"<[^>]+>", "", text).strip().lower()
    kept = (c for c in text
            if c in " -" or unicodedata.category(c)[0] in "LMN" or unicodedata.category(c) == "Pc")
    return "".join(kept).replace(" ", "-")


def anchors(path):
    found, seen = set(), {}
    for _, line in prose_lines(path):
        found.update(HTML_ANCHOR.findall(line))
        heading = HEADING.match(line)
        if heading:
            base = slug(heading.group(1))
            repeat = seen.get(base, 0)
            seen[base] = repeat + 1
            found.add(base if repeat == 0 else f"{base}-{repeat}")
    return found


def targets(line):
    without_code = CODE_SPAN.sub("", line)
    for link in INLINE_LINK.finditer(without_code):
        yield link.group(2)
    reference = REFERENCE.match(without_code)
    if reference:
        yield reference.group(1)
    yield from HTML_TARGET.findall(without_code)


class HtmlLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.anchors, self.targets = set(), []
        self.words, self.hidden = [], 0

    def handle_starttag(self, tag, attributes):
        self.hidden += tag in ("script", "style")
        if tag == "a" and dict(attributes).get("href"):
            self.words.append(LINK)
        for name, value in attributes:
            if value is None:
                continue
            if name in ("id", "name"):
                self.anchors.add(value)
            elif name in ("href", "src"):
                self.targets.append((self.getpos()[0], value))

    def handle_endtag(self, tag):
        self.hidden -= tag in ("script", "style")

    def handle_data(self, data):
        if not self.hidden:
            self.words.append(data)


# Words that send the reader somewhere: each must lead to something in the package. LINK stands
# for the start of a link in the text.
LINK = "\x01"
ELSEWHERE = [(re.compile(r"\bsee\b(?![^.;:)]*" + LINK + ")", re.I), "'see' with nothing to follow"),
             (re.compile(r"front page|in the repository|from source", re.I), "the source"),
             (re.compile(r"\b[\w./-]+\.md\b"), "a Markdown file of the source")]
MAN_PAGE = re.compile(r"\bman (?!pages?\b)([a-z][\w-]*)")


def references_elsewhere(root, documents, parsed):
    """The words of the package's documents that refer to what the package lacks."""
    manuals = {path.name.split(".1")[0] for path in root.rglob("*.1*")}
    for document in documents:
        if document.name.startswith(("NOTICES", "LICENSE")):
            continue  # other projects' notices, in their own words
        text = " ".join("".join(parsed[document].words).split())
        found = [(match, why) for pattern, why in ELSEWHERE for match in pattern.finditer(text)]
        found += [(match, "a manual the package lacks") for match in MAN_PAGE.finditer(text)
                  if match.group(1) not in manuals]
        for match, why in found:
            context = text[max(0, match.start() - 40):match.end() + 40].replace(LINK, "")
            yield f"{document.relative_to(root)}: {why}: ...{context}..."


def html_links(path):
    parser = HtmlLinks()
    parser.feed(path.read_text(encoding="utf-8"))
    parser.close()
    return parser


def markdown_links(path):
    links = HtmlLinks()
    links.anchors = anchors(path)
    links.targets = [(number, target.strip("<>"))
                     for number, line in prose_lines(path) for target in targets(line)]
    links.words = [INLINE_LINK.sub(LINK + r"\1", line) for _, line in prose_lines(path)]
    return links


def text_words(path):
    links = HtmlLinks()
    links.words = [path.read_text(encoding="utf-8")]
    return links


def check_installed(root):
    """Every link of every HTML or Markdown document under root leads to a file under root, and
    to an anchor there when it names one."""
    root = pathlib.Path(root).resolve()
    readers = {".html": html_links, ".htm": html_links, ".md": markdown_links, ".txt": text_words}
    documents = sorted(path for path in root.rglob("*") if path.suffix in readers)
    parsed = {document: readers[document.suffix](document) for document in documents}
    broken, checked = list(references_elsewhere(root, documents, parsed)), 0
    for document in documents:
        for number, target in parsed[document].targets:
            if SCHEME.match(target) and not target.startswith("file:"):
                continue
            checked += 1
            where = f"{document.relative_to(root)}:{number}: {target}"
            path_part, _, fragment = target.partition("#")
            linked = (document.parent / urllib.parse.unquote(path_part)).resolve()
            if not path_part:
                linked = document
            if target.startswith("file:") or root not in (linked, *linked.parents):
                broken.append(f"{where}: leads out of the package")
            elif not linked.is_file():
                broken.append(f"{where}: no such file")
            elif fragment and (linked not in parsed or
                               urllib.parse.unquote(fragment) not in parsed[linked].anchors):
                broken.append(f"{where}: no such anchor")
    for line in broken:
        print(line)
    print(f"{checked} links in {len(documents)} installed documents, {len(broken)} broken")
    return 1 if broken or not documents else 0


def main(root):
    root = pathlib.Path(root).resolve()
    documents = [root / "README.md", *sorted((root / "docs").rglob("*.md"))]
    anchor_cache = {}
    broken, checked = [], 0
    for document in documents:
        for number, line in prose_lines(document):
            for target in targets(line):
                target = target.strip("<>")
                if SCHEME.match(target):
                    continue
                checked += 1
                path_part, _, fragment = target.partition("#")
                linked = (document.parent / urllib.parse.unquote(path_part)).resolve()
                where = f"{document.relative_to(root)}:{number}: {target}"
                if not path_part:
                    linked = document
                if not linked.exists():
                    broken.append(f"{where}: no such file")
                elif fragment:
                    if linked.suffix != ".md":
                        broken.append(f"{where}: anchors are only checked in Markdown files")
                        continue
                    if linked not in anchor_cache:
                        anchor_cache[linked] = anchors(linked)
                    if urllib.parse.unquote(fragment) not in anchor_cache[linked]:
                        broken.append(f"{where}: no such heading")
    for line in broken:
        print(line)
    if checked == 0:
        print("no relative links found: the reader has gone wrong")
        return 1
    print(f"{checked} relative links in {len(documents)} documents, {len(broken)} broken")
    return 1 if broken else 0


if __name__ == "__main__":
    if sys.argv[1] == "--installed":
        sys.exit(check_installed(sys.argv[2]))
    sys.exit(main(sys.argv[1]))
