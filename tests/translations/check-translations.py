#!/usr/bin/env python3
"""Runs lupdate over the sources into a copy of every translations/*.ts and
fails when the copy holds an entry nobody translated, an entry whose text is
gone from the sources, or a translation that drops or adds a %N argument.
Each such entry is listed with its context, its source text and where it is.
Also fails on a Chinese string literal in src/ that no translation function
takes, unless it is one of the few texts that are never translated (below).

    check-translations.py LUPDATE SOURCE_DIR
"""
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ARGUMENT = re.compile(r"%[0-9]+")
CHINESE = re.compile("[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]")
LITERALS = r'((?:"(?:[^"\\\n]|\\.)*"\s*)+)'
WRAPPED = [
    re.compile(r"\b(?:tr|QT_TR_NOOP)\s*\(\s*" + LITERALS),
    re.compile(r"\b(?:translate|QT_TRANSLATE_NOOP)\s*\(\s*\"[^\"]*\"\s*,\s*" + LITERALS),
]
LITERAL = re.compile(r'"(?:[^"\\\n]|\\.)*"')
# Chinese texts that stay as they are in every language: what the program
# prints before it has read its settings, and the language's own name.
UNTRANSLATED = {
    "src/platform/GraphicalSession.cpp": None,
    "src/config/ui/FormSetup.cpp": {'"中文"'},
}


def without_comments(code):
    """The code with its comments blanked out, line breaks kept."""
    out, i, n = [], 0, len(code)
    while i < n:
        if code.startswith("//", i):
            end = code.find("\n", i)
            end = n if end < 0 else end
            out.append(" " * (end - i))
            i = end
        elif code.startswith("/*", i):
            end = code.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(re.sub(r"[^\n]", " ", code[i:end]))
            i = end
        elif code[i] in "\"'":
            quote, j = code[i], i + 1
            while j < n and code[j] != quote and code[j] != "\n":
                j += 2 if code[j] == "\\" else 1
            out.append(code[i : j + 1])
            i = j + 1
        else:
            out.append(code[i])
            i += 1
    return "".join(out)


def unwrapped_texts(source_dir):
    found = []
    for path in sorted((source_dir / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        name = str(path.relative_to(source_dir))
        allowed = UNTRANSLATED.get(name, set())
        if allowed is None:
            continue
        code = without_comments(path.read_text(encoding="utf-8"))
        covered = set()
        for pattern in WRAPPED:
            for match in pattern.finditer(code):
                covered.update(range(match.start(1), match.end(1)))
        for match in LITERAL.finditer(code):
            text = match.group(0)
            if CHINESE.search(text) and match.start() not in covered and text not in allowed:
                line = code.count("\n", 0, match.start()) + 1
                found.append(f"not wrapped for translation: {name}:{line}: {text}")
    return found


def text_of(element):
    """The text of a <source> or <translation>, its <byte/> elements decoded."""
    if element is None:
        return ""
    text = element.text or ""
    for child in element:
        if child.tag == "byte":
            text += chr(int(child.get("value").lstrip("x"), 16))
        text += child.tail or ""
    return text


def where(message, source_dir):
    places = []
    for location in message.findall("location"):
        path = pathlib.Path(location.get("filename", ""))
        try:
            path = path.resolve().relative_to(source_dir)
        except ValueError:
            pass
        places.append(f"{path}:{location.get('line', '?')}")
    return ", ".join(places) or "no location"


def problems_in(ts_file, source_dir):
    problems = []
    for context in ET.parse(ts_file).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            source = text_of(message.find("source"))
            translation = message.find("translation")
            kind = translation.get("type") if translation is not None else "unfinished"
            shown = f'{name}: "{source}" ({where(message, source_dir)})'
            if kind == "unfinished":
                problems.append("not translated: " + shown)
            elif kind in ("vanished", "obsolete"):
                problems.append("no longer in the sources: " + shown)
            elif sorted(ARGUMENT.findall(source)) != sorted(
                ARGUMENT.findall(text_of(translation))
            ):
                problems.append("arguments differ from the source: " + shown)
    return problems


def main():
    lupdate, source_dir = sys.argv[1], pathlib.Path(sys.argv[2]).resolve()
    ts_files = sorted((source_dir / "translations").glob("*.ts"))
    if not ts_files:
        print("no translations/*.ts found", file=sys.stderr)
        return 1
    unwrapped = unwrapped_texts(source_dir)
    for problem in unwrapped:
        print(problem)
    failed = len(unwrapped)
    with tempfile.TemporaryDirectory() as folder:
        for ts_file in ts_files:
            copy = pathlib.Path(folder) / ts_file.name
            shutil.copyfile(ts_file, copy)
            subprocess.run(
                [lupdate, "-silent", "-locations", "absolute", "-source-language", "zh_CN",
                 str(source_dir / "src"), "-ts", str(copy)],
                check=True,
            )
            problems = problems_in(copy, source_dir)
            for problem in problems:
                print(f"{ts_file.relative_to(source_dir)}: {problem}")
            failed += len(problems)
    if failed:
        print(
            f"{failed} text(s) to mend: wrap Chinese literals in tr() (QObject classes), "
            "QCoreApplication::translate(\"Context\", ...) or QT_TRANSLATE_NOOP (tables); run "
            "'cmake --build BUILD_DIR --target update_translations'; translate the "
            "entries marked unfinished in translations/*.ts (the update drops vanished ones)",
            file=sys.stderr,
        )
        return 1
    print(f"translations: {len(ts_files)} file(s) complete")
    return 0


if __name__ == "__main__":
    sys.exit(main())
