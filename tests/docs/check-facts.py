#!/usr/bin/env python3
"""Checks that the documents state the code's facts: the bounds, start values and file places
of the parameter table, the delays' unit and the echo rule's time-outs, as DOC_FACTS prints
them. Each passage that repeats a fact is rebuilt here from the facts and must be found word for
word, so a changed bound, or a document that states another, fails. The echo's time-out appears
nowhere else in the tree, so that no comment or printed text keeps a figure no check holds.
Also each program's --help against its man page, and the limit on a unit's label (none today)
in what the tool takes, its --help, its man page and the page's Unit field.
Usage: check-facts.py REPOSITORY_ROOT DOC_FACTS VKD37 VKD37_SIM
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile


def read_facts(program):
    fields, facts = {}, {}
    for line in subprocess.run([program], check=True, capture_output=True,
                               text=True).stdout.splitlines():
        key, _, value = line.partition(" ")
        if key == "field":
            name, low, high, start, place = value.split()
            fields[name] = {"min": int(low), "max": int(high), "start": int(start),
                            "place": int(place)}
        else:
            facts[key] = value.rstrip("|")
    return fields, facts


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def man_text(path, lines=None):
    """A man page's (or some of its lines') words without macros and font escapes, on one line."""
    words = []
    for line in lines if lines is not None else path.read_text(encoding="utf-8").splitlines():
        if line.startswith(".") and " " not in line:
            continue
        line = re.sub(r"^\.\w+ ", "", line)
        line = re.sub(r"\\f[BIRP]|\\&|\"", "", line).replace("\\-", "-").replace("\\e", "\\")
        words.append(line)
    # ".BR name ," leaves a blank before the punctuation.
    return re.sub(r" ([,.;])", r"\1", " ".join(" ".join(words).split()))


def guide_table(text):
    """The rows of the operator guide's table of values: name -> its cells."""
    rows = {}
    for line in text.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        name = re.fullmatch(r"`([\w.]+)`", cells[0]) if len(cells) == 5 else None
        if name:
            rows[name.group(1)] = cells
    return rows


def man_entries(path, section, subsection=None):
    """The tagged paragraphs (.TP) of a man page's section, or of one .SS of it: (tag, words)."""
    entries, in_section, inside, body = [], False, False, None
    lines = path.read_text(encoding="utf-8").splitlines()
    for number, line in enumerate(lines):
        if line.startswith((".SH ", ".SS ")):
            in_section = line[4:] == section if line.startswith(".SH") else in_section
            inside, body = in_section and subsection in (None, line[4:]), None
        elif line == ".PP":
            body = None
        elif inside and line == ".TP" and number + 1 < len(lines):
            body = []
            entries.append((lines[number + 1], body))
        elif body is not None and lines[number - 1] != ".TP":
            body.append(line)
    return [(man_text(None, [tag]), man_text(None, body)) for tag, body in entries]


def help_options(text):
    """The long options CLI11's help lists, each with its range where it shows one."""
    options = {}
    for option, rest in re.findall(r"(?m)^  (?:-\w,)?--([\w-]+)(.*)", text):
        bounds = re.search(r"in \[(\d+) - (\d+)\]", rest)
        options[option] = bounds and (int(bounds.group(1)), int(bounds.group(2)))
    return options


def help_section(text, heading):
    """The lines under one of CLI11's headings ("Exit status:"), as their words."""
    section = re.search(rf"(?m)^{heading}\n((?:  .*\n)*)", text)
    return [line.split(None, 1) for line in section.group(1).splitlines()] if section else []


def help_against_man(root, tool, sim):
    """Each program's --help names the options, commands and exit statuses its man page names."""
    problems = []
    man, sim_man = root / "docs/man/vkd37.1", root / "docs/man/vkd37-sim.1"

    def same(what, listed, documented):
        if not listed or listed != documented:
            alone = lambda a, b: [entry for entry in a if entry not in b] or "nothing"
            problems.append(f"{what} differ: --help alone has {alone(listed, documented)}, the man "
                            f"page alone {alone(documented, listed)}")

    top = run(tool, "--help")
    commands = [words[0] for words in help_section(top, "Subcommands:")]
    same("vkd37's commands", commands, [tag.split()[0] for tag, _ in
                                        man_entries(man, "DESCRIPTION", "Commands")])
    options = set(help_options(top)).union(*(help_options(run(tool, command, "--help"))
                                             for command in commands))
    named = lambda tag: re.findall(r"--([\w-]+)", tag)
    same("vkd37's options", sorted(options),
         sorted({name for tag, _ in man_entries(man, "OPTIONS") for name in named(tag)}))
    same("vkd37's exit statuses", help_section(top, "Exit status:"),
         [[tag, words] for tag, words in man_entries(man, "EXIT STATUS")])

    text = run(sim, "--help")
    options = help_options(text)
    entries = [(named(tag), words) for tag, words in man_entries(sim_man, "OPTIONS")]
    same("vkd37-sim's options", sorted(options),
         sorted({name for names, _ in entries for name in names}))
    for names, words in entries:
        for bounds in re.findall(r"\((\d+)-(\d+)\)", words):
            if tuple(map(int, bounds)) not in [options.get(name) for name in names]:
                problems.append(f"docs/man/vkd37-sim.1: --{names[0]} takes {bounds}, the simulator "
                                f"{[options.get(name) for name in names]}")
    codes = re.findall(r"(?:Exit status: |; )(\d+) ", " ".join(text.split()))
    same("vkd37-sim's exit statuses", codes, [tag for tag, _ in man_entries(sim_man, "EXIT STATUS")])
    return problems


def unit_label_limit(root, facts, tool):
    """The record's limit on a unit's label (kUnitLabelLimit; 0: none) is the tool's, said as "at
    most N characters" by its --help and man page, and the page's Unit field takes it from the
    module, never a copy. With none the tool takes a label of 100,000 characters."""
    problems, limit = [], int(facts["unit_label_limit"]) or None
    stated = lambda text: int(next(iter(re.findall(r"at most (\d+) characters", text)), 0)) or None
    scripts = " ".join(path.read_text(encoding="utf-8") for path in (root / "web/page").glob("*.m*"))
    unit = re.search(r'<input[^>]*id="unit"[^>]*>', (root / "web/page/page.html").read_text("utf-8"))
    if "maxlength" in unit.group(0) or re.search(r"maxLength\s*=\s*\d", scripts):
        problems.append("web/page: the Unit field's limit is a copy; take the module's unitLabelLimit")
    help_line = re.search(r"(?m)^  --unit .*", run(tool, "upload", "--help")).group(0)
    man_entry = next(words for tag, words in man_entries(root / "docs/man/vkd37.1", "OPTIONS")
                     if tag.startswith("--unit "))
    from_module = re.search(r"maxLength\s*=\s*[\w.]*unitLabelLimit", scripts)
    for face, said in [("vkd37 upload --help", stated(help_line)),
                       ("docs/man/vkd37.1", stated(man_entry)),
                       ("the page's Unit field", limit if from_module else None)]:
        if said != limit:
            problems.append(f"{face}: {said and f'at most {said}' or 'no limit'} for a unit label, "
                            f"the record's kUnitLabelLimit {limit or 'none'}")
    # The label is checked before the port is opened: one the tool takes meets the missing port.
    port_failed = next(code for code, meaning in help_section(run(tool, "--help"), "Exit status:")
                       if meaning.startswith("the port could not"))
    with tempfile.TemporaryDirectory() as folder:
        values = pathlib.Path(folder, "values.dll")
        values.write_text(facts["start_file"], encoding="ascii")
        for length in [limit, limit + 1] if limit else [100000]:
            upload = subprocess.run([tool, "upload", "--port", f"{folder}/no-port", str(values),
                                     "--unit", "x" * length], capture_output=True, text=True)
            if (str(upload.returncode) == port_failed) != (length <= (limit or length)):
                problems.append(f"vkd37 upload, a unit label of {length} characters against the "
                                f"record's kUnitLabelLimit {limit or 'none'}: {upload.stderr.strip()}")
    return problems


def time_out_figures(root, limit, checked):
    """The echo's time-out is said only in the passages checked above (checked: path -> those
    passages): any other figure of it goes stale unseen when it changes."""
    problems = []
    seconds = re.escape(f"{limit / 1000:g}")
    figure = re.compile(rf"(?<![\w.,]){limit}(?!\d)|(?<![\w.]){seconds} ?s\b")
    for folder, folders, files in os.walk(root):
        folders[:] = [name for name in folders
                      if name not in {".git", "build", "node_modules", "corpus"}]
        for path in (pathlib.Path(folder, name) for name in files):
            relative = path.relative_to(root).as_posix()
            try:
                lines = path.read_text(encoding="utf-8").splitlines()
            except (UnicodeDecodeError, OSError):
                continue
            if relative in checked:
                text = " ".join(" ".join(lines).split())
                text = man_text(path) if relative.endswith(".1") else text
                for passage in checked[relative]:
                    text = text.replace(passage, "")
                lines = [text]
            problems += [f"{relative}{'' if relative in checked else f':{number}'}: repeats the "
                         f"echo's time-out ({limit} ms): take it from LineTiming, or leave it out"
                         for number, line in enumerate(lines, 1) if figure.search(line)]
    return problems


def check(root, program, vkd37, vkd37_sim):
    fields, facts = read_facts(program)
    f = {name: field for name, field in fields.items()}
    acc, speed, cycles, delay = f["fwd.acc"], f["fwd.speed"], f["cycles"], f["home_delay_ms"]
    source, flag, port = f["fwd.source"], f["auto_home"], f["port"]
    unit, interval, limit = facts["delay_unit_ms"], facts["interval_ms"], facts["frame_limit_ms"]
    byte_ms = f"{int(facts['byte_time_us']) / 1000:.2f}"
    limit_s = f"{int(limit) / 1000:g}"
    names = list(fields)
    problems = []

    def expect(document, text, passages):
        for passage in passages:
            if " ".join(passage.split()) not in text:
                problems.append(f"{document}: does not say \"{passage}\"")

    # The passages that state the echo's time-out, by document: the only places it may appear.
    time_out = {
        "docs/protocol.md": [f"{facts['per_byte_ms']} ms per byte plus {facts['constant_ms']} ms "
                             f"for the write and for the read ({limit} ms each for 19 bytes)"],
        "docs/development.md": [f"Each pause is far from the time-out it is measured against "
                                f"({interval} ms between two bytes, {limit} ms for the echo)",
                                f"(read time-out {limit} ms)"],
        "docs/man/vkd37.1": [f"until the time a controller has to answer a frame ({limit_s} s) has "
                             f"passed since the last upload, and no byte has arrived for {interval} "
                             f"ms (at most {limit_s} s more)"]}
    development = " ".join((root / "docs/development.md").read_text(encoding="utf-8").split())
    expect("docs/development.md", development, time_out["docs/development.md"])

    guide_path = "docs/operator-guide.md"
    guide = (root / guide_path).read_text(encoding="utf-8")
    rows = guide_table(guide)
    if sorted(rows) != sorted(names):
        problems.append(f"{guide_path}: the table's names {sorted(rows)} are not {sorted(names)}")
    for name, cells in rows.items():
        field = fields.get(name)
        if field:
            wanted = [f"{field['min']} to {field['max']}", str(field["start"]), str(field["place"])]
            if cells[2:] != wanted:
                problems.append(f"{guide_path}: {name} has {cells[2:]}, the code {wanted}")
    expect(guide_path, " ".join(guide.split()), [
        f"Delays go to the controller in steps of {unit} ms",
        f"Com{port['min'] + 1} to Com{port['max']}"])

    protocol = " ".join((root / "docs/protocol.md").read_text(encoding="utf-8").split())
    expect("docs/protocol.md", protocol, [
        f"{facts['baud']} baud, 8 data bits, no parity, one stop bit; queues of {facts['queue']} bytes",
        f"forward internal speed − 1 ({speed['min']}–{speed['max']} travel as 0–{speed['max'] - 1})",
        f"home start delay in units of {unit} ms",
        f"end start delay in units of {unit} ms",
        f"valid cycle count ({cycles['min']}–{cycles['max']})",
        *time_out["docs/protocol.md"],
        f"more than {interval} ms pass between two received bytes",
        f"give `{facts['start_frame']}`",
        facts["start_file"]])

    readme_path = "packaging/windows/README.txt"
    readme = " ".join((root / readme_path).read_text(encoding="utf-8").split())
    expect(readme_path, readme, [
        f"ramps {acc['min']}-{acc['max']}, speeds {speed['min']}-{speed['max']}, cycles "
        f"{cycles['min']}-{cycles['max']}, delays {delay['min']}-{delay['max']} ms",
        f"offers Com{port['min'] + 1} to Com{port['max']}",
        f"steps of {unit} ms"])

    tool = man_text(root / "docs/man/vkd37.1")
    names_said = re.search(r"The names are (.*?)\. A source takes", tool)
    said = re.findall(r"[\w.]+", names_said.group(1)) if names_said else []
    if [word for word in said if word != "and"] != names:
        problems.append(f"docs/man/vkd37.1: the names for --set are {said}, the code's {names}")
    expect("docs/man/vkd37.1", tool, [
        f"or {source['min']} to {source['max']}; a flag takes on, off, {flag['max']} or {flag['min']}",
        *time_out["docs/man/vkd37.1"]])

    sim = man_text(root / "docs/man/vkd37-sim.1")
    expect("docs/man/vkd37-sim.1", sim, [
        f"paced at the line rate of {byte_ms} ms a byte",
        f"a source above {source['max']}, a ramp or speed byte above {acc['max']}, more than "
        f"{cycles['max']} cycles, a delay above {delay['max']} ms, auto homing above {flag['max']}",
        f"more than {interval} ms pass between two of its bytes"])

    problems += help_against_man(root, vkd37, vkd37_sim) + unit_label_limit(root, facts, vkd37)
    problems += time_out_figures(root, int(limit), {
        path: [" ".join(passage.split()) for passage in passages] for path, passages in time_out.items()})
    for problem in problems:
        print(problem)
    print(f"{len(fields)} values and {len(facts)} facts checked in 6 documents and the programs' "
          f"help, {len(problems)} disagreements")
    return 1 if problems or not fields else 0


if __name__ == "__main__":
    sys.exit(check(pathlib.Path(sys.argv[1]), *sys.argv[2:5]))
