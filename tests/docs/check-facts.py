#!/usr/bin/env python3
"""Checks that the documents state the code's facts: the bounds, start values and file places
of the parameter table, the delays' unit and the echo rule's time-outs, as DOC_FACTS prints
them. Each passage that repeats a fact is rebuilt here from the facts and must be found word for
word, so a changed bound, or a document that states another, fails.
Usage: check-facts.py REPOSITORY_ROOT DOC_FACTS
"""
import pathlib
import re
import subprocess
import sys


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


def man_text(path):
    """A man page's words without its macros and font escapes, on one line."""
    words = []
    for line in path.read_text(encoding="utf-8").splitlines():
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


def check(root, program):
    fields, facts = read_facts(program)
    f = {name: field for name, field in fields.items()}
    acc, speed, cycles, delay = f["fwd.acc"], f["fwd.speed"], f["cycles"], f["home_delay_ms"]
    source, flag, port = f["fwd.source"], f["auto_home"], f["port"]
    unit, interval = facts["delay_unit_ms"], facts["interval_ms"]
    byte_ms = f"{int(facts['byte_time_us']) / 1000:.2f}"
    names = list(fields)
    problems = []

    def expect(document, text, passages):
        for passage in passages:
            if " ".join(passage.split()) not in text:
                problems.append(f"{document}: does not say \"{passage}\"")

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
        f"{facts['per_byte_ms']} ms per byte plus {facts['constant_ms']} ms for the write and for the read ({facts['frame_limit_ms']} ms each for 19 bytes)",
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
        f"or {source['min']} to {source['max']}; a flag takes on, off, {flag['max']} or {flag['min']}"])

    sim = man_text(root / "docs/man/vkd37-sim.1")
    expect("docs/man/vkd37-sim.1", sim, [
        f"paced at the line rate of {byte_ms} ms a byte",
        f"a source above {source['max']}, a ramp or speed byte above {acc['max']}, more than "
        f"{cycles['max']} cycles, a delay above {delay['max']} ms, auto homing above {flag['max']}",
        f"more than {interval} ms pass between two of its bytes"])

    for problem in problems:
        print(problem)
    print(f"{len(fields)} values and {len(facts)} facts checked in 5 documents, "
          f"{len(problems)} disagreements")
    return 1 if problems or not fields else 0


if __name__ == "__main__":
    sys.exit(check(pathlib.Path(sys.argv[1]), sys.argv[2]))
