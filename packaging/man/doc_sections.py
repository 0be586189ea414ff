#!/usr/bin/env python3
"""Writes sections of a reader's document (Markdown) as a help2man include
file, so that a manual page says what the document says:

doc_sections.py OUTPUT.h2m DOCUMENT "Heading=MAN SECTION"...

Knows the Markdown the documents use in such sections: paragraphs, "- "
lists, `code`, **bold** and [links](target)."""
import re
import sys


def roff_text(text):
    text = text.replace("\\", "\\e")
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"\*\*([^*]+)\*\*|`([^`]+)`", lambda m: "\\fB%s\\fR" % (m.group(1) or m.group(2)), text)
    return "\\&" + text if text.startswith((".", "'")) else text


def section(document, heading):
    match = re.search(r"^## %s\n(.*?)(?=^## |\Z)" % re.escape(heading), document, re.M | re.S)
    if not match:
        sys.exit("doc_sections.py: no section '## %s'" % heading)
    lines = []
    for block in match.group(1).strip().split("\n\n"):
        items = re.split(r"^- ", block, flags=re.M) if block.startswith("- ") else [block]
        for item in items[1:] if block.startswith("- ") else items:
            lines.append(".IP \\(bu 2" if block.startswith("- ") else ".PP")
            lines.append(roff_text(" ".join(line.strip() for line in item.strip().splitlines())))
    return "\n".join(lines)


def main():
    with open(sys.argv[2], encoding="utf-8") as f:
        document = f.read()
    with open(sys.argv[1], "w", encoding="utf-8") as out:
        for pair in sys.argv[3:]:
            heading, name = pair.split("=", 1)
            out.write("[%s]\n%s\n" % (name, section(document, heading)))


if __name__ == "__main__":
    main()
