#!/usr/bin/env python3
"""Checks that the documents and the programs' help state the code's facts.

- The bounds, start values and file places of the parameter table, the delays' unit and the echo
  rule's time-outs, as DOC_FACTS prints them: each passage that repeats a fact is rebuilt here
  from the facts and must be found word for word, so a changed bound, or a document that states
  another, fails. The echo's time-out may appear nowhere else in the tree, so that no comment or
  printed text keeps a figure no check holds.
- Each program's --help against its man page: the same options (and, for the simulator, the same
  ranges where the man page gives one), commands and exit statuses.
- The limit on a unit's label (none, today): what vkd37 upload takes, its --help, its man page
  and the page's Unit field all agree with the record's kUnitLabelLimit.
Usage: check-facts.py REPOSITORY_ROOT DOC_FACTS VKD37 VKD37_SIM
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

# Where the tree holds nothing of ours to read: builds, packages, the fuzzer's corpus.
SKIPPED_FOLDERS = {".git", "build", "node_modules", "corpus"}


def read_facts(program):
    fields, facts = {}, {}
    for line in run([program]).splitlines():
        key, _, value = line.partition(" ")
        if key == "field":
            name, low, high, start, place = value.split()
            fields[name] = {"min": int(low), "max": int(high), "start": int(start),
                            "place": int(place)}
        else:
            facts[key] = value.rstrip("|")
    return fields, facts


def run(command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def roff_words(lines):
    """Lines of a man page as their words, without macros and font escapes, on one line."""
    words = []
    for line in lines:
        if line.startswith(".") and " " not in line:
            continue
        line = re.sub(r"^\.\w+ ", "", line)
        line = re.sub(r"\\f[BIRP]|\\&|\"", "", line).replace("\\-", "-").replace("\\e", "\\")
        words.append(line)
    # ".BR name ," leaves a blank before the punctuation.
    return re.sub(r" ([,.;])", r"\1", " ".join(" ".join(words).split()))


def man_text(path):
    return roff_words(path.read_text(encoding="utf-8").splitlines())


def man_entries(path, section, subsection=None):
    """The tagged paragraphs (.TP) of a man page's section, or of one subsection (.SS) of it: each
    as its tag line and the words of its body."""
    entries, in_section, inside, body = [], False, False, None
    lines = path.read_text(encoding="utf-8").splitlines()
    for number, line in enumerate(lines):
        if line.startswith(".SH "):
            in_section = line[4:].strip('"') == section
            inside, body = in_section and subsection is None, None
        elif line.startswith(".SS "):
            inside, body = in_section and subsection in (None, line[4:]), None
        elif line == ".PP":
            body = None
        elif inside and line == ".TP" and number + 1 < len(lines):
            body = []
            entries.append((lines[number + 1], body))
        elif body is not None and lines[number - 1] != ".TP":
            body.append(line)
    return [(tag, roff_words(body)) for tag, body in entries]


def options_named(tag):
    """The long options a man page's tag line names: '.BI \\-\\-gap\\-ms " G " \\-\\-gap\\-at'."""
    return [name.replace("\\-", "-") for name in re.findall(r"\\-\\-((?:\w|\\-)+)", tag)]


def help_options(text):
    """The long options CLI11's help lists, each with its range where it shows one."""
    options = {}
    for line in text.splitlines():
        option = re.match(r"  (?:-\w,)?--([\w-]+)(.*)", line)
        if option:
            bounds = re.search(r"in \[(\d+) - (\d+)\]", option.group(2))
            options[option.group(1)] = bounds and (int(bounds.group(1)), int(bounds.group(2)))
    return options


def help_section(text, heading):
    """The indented lines under one of CLI11's headings ("Exit status:")."""
    lines, inside = [], False
    for line in text.splitlines():
        if not line.startswith(" "):
            inside = line == heading
        elif inside:
            lines.append(line)
    return lines


class Checker:
    def __init__(self, root):
        self.root = root
        self.problems = []
        self.documents = set()
        # Per document read whole, the passages that state the echo's time-out, found or not.
        self.time_out_passages = {}

    def say(self, problem):
        self.problems.append(problem)

    def document(self, path):
        self.documents.add(path)
        return " ".join((self.root / path).read_text(encoding="utf-8").split())

    def expect(self, path, text, passages):
        for passage in passages:
            if " ".join(passage.split()) not in text:
                self.say(f"{path}: does not say \"{passage}\"")

    def same_options(self, program, listed, documented):
        if not listed:
            self.say(f"{program} --help lists no options")
        for option in sorted(listed - documented):
            self.say(f"{program}: --{option} is in its --help, not in its man page")
        for option in sorted(documented - listed):
            self.say(f"{program}: --{option} is in its man page, not in its --help")

    def same_list(self, what, listed, documented):
        """The same entries in the same order in --help and in the man page."""
        if not listed or listed != documented:
            only = lambda a, b: [entry for entry in a if entry not in b]
            self.say(f"{what} differ: --help alone has {only(listed, documented)}, the man page "
                     f"alone {only(documented, listed)}" + (" (or in another order)"
                                                            if sorted(listed) == sorted(documented) else ""))

    def expect_time_out(self, path, text, passages):
        self.time_out_passages.setdefault(path, []).extend(" ".join(p.split()) for p in passages)
        self.expect(path, text, passages)


def check_documents(check, fields, facts):
    f = fields
    acc, speed, cycles, delay = f["fwd.acc"], f["fwd.speed"], f["cycles"], f["home_delay_ms"]
    source, flag, port = f["fwd.source"], f["auto_home"], f["port"]
    unit, interval, limit = facts["delay_unit_ms"], facts["interval_ms"], facts["frame_limit_ms"]
    byte_ms = f"{int(facts['byte_time_us']) / 1000:.2f}"
    limit_s = f"{int(limit) / 1000:g}"
    names = list(fields)

    guide_path = "docs/operator-guide.md"
    guide = (check.root / guide_path).read_text(encoding="utf-8")
    check.documents.add(guide_path)
    rows = {}
    for line in guide.splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        name = re.fullmatch(r"`([\w.]+)`", cells[0]) if len(cells) == 5 else None
        if name:
            rows[name.group(1)] = cells
    if sorted(rows) != sorted(names):
        check.say(f"{guide_path}: the table's names {sorted(rows)} are not {sorted(names)}")
    for name, cells in rows.items():
        field = fields.get(name)
        if field:
            wanted = [f"{field['min']} to {field['max']}", str(field["start"]), str(field["place"])]
            if cells[2:] != wanted:
                check.say(f"{guide_path}: {name} has {cells[2:]}, the code {wanted}")
    check.expect(guide_path, " ".join(guide.split()), [
        f"Delays go to the controller in steps of {unit} ms",
        f"Com{port['min'] + 1} to Com{port['max']}"])

    protocol_path = "docs/protocol.md"
    protocol = check.document(protocol_path)
    check.expect(protocol_path, protocol, [
        f"{facts['baud']} baud, 8 data bits, no parity, one stop bit; queues of {facts['queue']} bytes",
        f"forward internal speed − 1 ({speed['min']}–{speed['max']} travel as 0–{speed['max'] - 1})",
        f"home start delay in units of {unit} ms",
        f"end start delay in units of {unit} ms",
        f"valid cycle count ({cycles['min']}–{cycles['max']})",
        f"more than {interval} ms pass between two received bytes",
        f"give `{facts['start_frame']}`",
        facts["start_file"]])
    check.expect_time_out(protocol_path, protocol, [
        f"{facts['per_byte_ms']} ms per byte plus {facts['constant_ms']} ms for the write and for "
        f"the read ({limit} ms each for 19 bytes)"])

    development_path = "docs/development.md"
    check.expect_time_out(development_path, check.document(development_path), [
        f"Each pause is far from the time-out it is measured against ({interval} ms between two "
        f"bytes, {limit} ms for the echo)",
        f"(read time-out {limit} ms)"])

    readme_path = "packaging/windows/README.txt"
    check.expect(readme_path, check.document(readme_path), [
        f"ramps {acc['min']}-{acc['max']}, speeds {speed['min']}-{speed['max']}, cycles "
        f"{cycles['min']}-{cycles['max']}, delays {delay['min']}-{delay['max']} ms",
        f"offers Com{port['min'] + 1} to Com{port['max']}",
        f"steps of {unit} ms"])

    tool_path = "docs/man/vkd37.1"
    check.documents.add(tool_path)
    tool = man_text(check.root / tool_path)
    names_said = re.search(r"The names are (.*?)\. A source takes", tool)
    said = re.findall(r"[\w.]+", names_said.group(1)) if names_said else []
    if [word for word in said if word != "and"] != names:
        check.say(f"{tool_path}: the names for --set are {said}, the code's {names}")
    check.expect(tool_path, tool, [
        f"or {source['min']} to {source['max']}; a flag takes on, off, {flag['max']} or {flag['min']}"])
    check.expect_time_out(tool_path, tool, [
        f"until the time a controller has to answer a frame ({limit_s} s) has passed since the "
        f"last upload, and no byte has arrived for {interval} ms (at most {limit_s} s more)"])

    sim_path = "docs/man/vkd37-sim.1"
    check.documents.add(sim_path)
    check.expect(sim_path, man_text(check.root / sim_path), [
        f"paced at the line rate of {byte_ms} ms a byte",
        f"a source above {source['max']}, a ramp or speed byte above {acc['max']}, more than "
        f"{cycles['max']} cycles, a delay above {delay['max']} ms, auto homing above {flag['max']}",
        f"more than {interval} ms pass between two of its bytes"])


def tree_files(root):
    for folder, folders, files in os.walk(root):
        folders[:] = sorted(name for name in folders if name not in SKIPPED_FOLDERS)
        yield from (pathlib.Path(folder, name) for name in sorted(files))


def check_time_out_figures(check, facts):
    """The echo's time-out is said only where a passage above holds it to the code: any other
    figure of it (a comment, a printed text, a document) goes stale unseen when it changes."""
    limit = int(facts["frame_limit_ms"])
    figure = re.compile(rf"(?<![\w.,]){limit}(?!\d)|(?<![\w.]){re.escape(f'{limit / 1000:g}')} ?s\b")
    for path in tree_files(check.root):
        relative = path.relative_to(check.root).as_posix()
        try:
            text = path.read_text(encoding="utf-8")
        except (UnicodeDecodeError, OSError):
            continue
        if relative in check.time_out_passages:
            text = " ".join(text.split())
            if relative.endswith(".1"):
                text = man_text(path)
            for passage in check.time_out_passages[relative]:
                text = text.replace(passage, "")
            if figure.search(text):
                check.say(f"{relative}: states the echo's time-out ({limit} ms) where no check "
                          "holds it to the code")
            continue
        for number, line in enumerate(text.splitlines(), 1):
            if figure.search(line):
                check.say(f"{relative}:{number}: repeats the echo's time-out ({limit} ms): take it "
                          "from LineTiming, or leave the figure out")


def check_help_against_man(check, tool, sim):
    tool_page, sim_page = check.root / "docs/man/vkd37.1", check.root / "docs/man/vkd37-sim.1"
    check.documents.update({"docs/man/vkd37.1", "docs/man/vkd37-sim.1"})

    # The tool: its commands, every command's options, and its exit statuses.
    top = run([tool, "--help"])
    commands = [line.split()[0] for line in help_section(top, "Subcommands:")]
    listed = [re.match(r'\.\w+ "?([\w-]+)', tag).group(1)
              for tag, _ in man_entries(tool_page, "DESCRIPTION", "Commands")]
    check.same_list("vkd37's commands", commands, listed)
    if "vkd37 COMMAND --help" not in top:
        check.say("vkd37 --help does not say where a command's options are")
    options = set(help_options(top))
    for command in commands:
        options |= set(help_options(run([tool, command, "--help"])))
    documented = {name for tag, _ in man_entries(tool_page, "OPTIONS") for name in options_named(tag)}
    check.same_options("vkd37", options, documented)
    statuses = [tuple(line.split(None, 1)) for line in help_section(top, "Exit status:")]
    said = [(roff_words([tag]), text)
            for tag, text in man_entries(tool_page, "EXIT STATUS")]
    check.same_list("vkd37's exit statuses", statuses, said)

    # The simulator: its options with their ranges, and its exit statuses.
    help_text = run([sim, "--help"])
    options = help_options(help_text)
    entries = [(options_named(tag), text) for tag, text in man_entries(sim_page, "OPTIONS")]
    check.same_options("vkd37-sim", set(options), {name for names, _ in entries for name in names})
    for names, text in entries:
        for low, high in re.findall(r"\((\d+)-(\d+)\)", text):
            if (int(low), int(high)) not in [options.get(name) for name in names]:
                check.say(f"docs/man/vkd37-sim.1: --{'/--'.join(names)} takes ({low}-{high}), "
                          f"the simulator {[options.get(name) for name in names]}")
    footer = " ".join(help_text.split())
    codes = re.findall(r"(?:Exit status: |; )(\d+) ", footer)
    said = [roff_words([tag]) for tag, _ in man_entries(sim_page, "EXIT STATUS")]
    check.same_list("vkd37-sim's exit statuses", codes, said)


def check_unit_label_limit(check, facts, tool):
    """Each face says the record's limit on a label, and the tool holds to it. A limit is said as
    "at most N characters"; with none, no face says one, and the tool takes the longest label an
    operator's scanner or script gives (100,000 characters)."""
    limit = int(facts["unit_label_limit"]) or None
    stated = lambda text: (lambda m: m and int(m.group(1)))(re.search(r"at most (\d+) characters", text))
    help_line = next((line for line in run([tool, "upload", "--help"]).splitlines()
                      if re.match(r"  --unit ", line)), "")
    man_entry = next((text for tag, text in man_entries(check.root / "docs/man/vkd37.1", "OPTIONS")
                      if options_named(tag) == ["unit"]), "")
    # The page's field takes the limit from the module (core.unitLabelLimit), never a copy.
    page = (check.root / "web/page/page.html").read_text(encoding="utf-8")
    field = re.search(r'<input[^>]*\bid="unit"[^>]*>', page)
    scripts = " ".join(path.read_text(encoding="utf-8")
                       for path in (check.root / "web/page").glob("*.mjs"))
    if re.search(r"\bmaxlength=", field.group(0) if field else "") or \
            re.search(r"maxLength\s*=\s*\d", scripts):
        check.say("web/page: the Unit field's limit is a copy; take the module's unitLabelLimit")
    from_core = re.search(r"maxLength\s*=\s*[\w.]*unitLabelLimit", scripts)
    for face, said in [("vkd37 upload --help, --unit", stated(help_line)),
                       ("docs/man/vkd37.1, --unit", stated(man_entry)),
                       ("web/page, the Unit field", limit if from_core else None)]:
        if said != limit:
            check.say(f"{face}: {f'at most {said} characters' if said else 'no limit'} on a unit "
                      f"label, the record {f'at most {limit}' if limit else 'none'} (kUnitLabelLimit)")

    # A label is checked before the port is opened: one the tool takes meets the missing port.
    port_failed = next(code for code, meaning in (line.split(None, 1) for line in help_section(
        run([tool, "--help"]), "Exit status:")) if meaning.startswith("the port could not"))
    with tempfile.TemporaryDirectory() as folder:
        values = pathlib.Path(folder, "values.dll")
        values.write_text(facts["start_file"], encoding="ascii")
        for length in ([limit, limit + 1] if limit else [100000]):
            upload = subprocess.run([tool, "upload", "--port", str(pathlib.Path(folder, "no-port")),
                                     str(values), "--unit", "x" * length], capture_output=True)
            taken = str(upload.returncode) == port_failed
            if taken != (length <= (limit or length)):
                check.say(f"vkd37 upload {'takes' if taken else 'refuses'} a unit label of {length} "
                          f"characters, where the record's limit is {limit or 'none'} "
                          f"(kUnitLabelLimit): {upload.stderr.decode(errors='replace').strip()}")


def main(root, doc_facts, tool, sim):
    check = Checker(root)
    fields, facts = read_facts(doc_facts)
    check_documents(check, fields, facts)
    check_help_against_man(check, tool, sim)
    check_unit_label_limit(check, facts, tool)
    check_time_out_figures(check, facts)
    for problem in check.problems:
        print(problem)
    print(f"{len(fields)} values and {len(facts)} facts checked in {len(check.documents)} "
          f"documents and the programs' help, {len(check.problems)} disagreements")
    return 1 if check.problems or not fields else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1]), *sys.argv[2:5]))
