#!/usr/bin/env python3
"""Writes src/timecycle/timecycle_tables_data.cpp from the timecycle reference text.

Usage: gen_timecycle_tables.py REFERENCE.md [OUTPUT.cpp]

The reference text is the Markdown description of the timecycle data: the
429 variable names in row order, their binding to the three live override
slot tables, the 28 display groups with their row ranges, the colour stems,
the 13 keyframes, the three editor regions and the eight
engine baseline rows used to recognise the game's keyframe table.

Every count the text states is checked before anything is written; the
script stops with a message when the text and the tables disagree.
"""
import re
import sys

VARIABLES = 429
GROUPS = 28
STEMS = 37
KEYFRAMES = 13
BASELINE_ROWS = 8
SLOT_TABLES = {"12": ("LightDir", 12), "327": ("Main", 327), "98": ("FogTone", 98)}


def fail(message):
    sys.stderr.write("gen_timecycle_tables: " + message + "\n")
    sys.exit(1)


def section_after(text, marker, stop_markers=("\n# ",)):
    start = text.find(marker)
    if start < 0:
        fail("marker not found: " + marker)
    end = len(text)
    for stop in stop_markers:
        pos = text.find(stop, start + len(marker))
        if 0 <= pos < end:
            end = pos
    return text[start:end]


def parse_range(text):
    text = text.strip()
    if "-" in text:
        lo, hi = text.split("-")
        return int(lo), int(hi)
    return int(text), int(text)


def parse_names(text):
    block = section_after(text, "The XML names in row order")
    names = [None] * VARIABLES
    for m in re.finditer(r"^- (\d+)-(\d+): (.+?)\.?$", block, re.M):
        lo, hi = int(m.group(1)), int(m.group(2))
        items = [s.strip() for s in m.group(3).split(",")]
        if len(items) != hi - lo + 1:
            fail("rows %d-%d list %d names" % (lo, hi, len(items)))
        for i, name in enumerate(items):
            if not re.fullmatch(r"[A-Za-z0-9_]+", name):
                fail("odd name %r" % name)
            names[lo + i] = name
    if None in names:
        fail("rows without a name: %s" % [i for i, n in enumerate(names) if n is None][:10])
    if len(set(names)) != VARIABLES:
        fail("duplicate variable names")
    return names


def parse_binding(text):
    marker = "as row range -> table:slot range:"
    start = text.find(marker)
    if start < 0:
        fail("binding paragraph not found")
    line = text[start + len(marker):text.find("\n", start)]
    line = line.split(". All ")[0]
    binding = [None] * VARIABLES
    used = {key: set() for key in SLOT_TABLES}
    for part in line.split(";"):
        m = re.fullmatch(r"\s*([\d-]+) -> (\d+):([\d-]+)\s*", part)
        if not m:
            fail("binding item not understood: %r" % part)
        rlo, rhi = parse_range(m.group(1))
        table = m.group(2)
        slo, shi = parse_range(m.group(3))
        if table not in SLOT_TABLES:
            fail("unknown slot table %s" % table)
        if rhi - rlo != shi - slo:
            fail("binding %s has unequal ranges" % part)
        for k in range(rhi - rlo + 1):
            row, slot = rlo + k, slo + k
            if binding[row] is not None:
                fail("row %d bound twice" % row)
            if slot in used[table] or slot >= SLOT_TABLES[table][1]:
                fail("slot %s:%d bound twice or out of range" % (table, slot))
            used[table].add(slot)
            binding[row] = (SLOT_TABLES[table][0], slot)
    if None in binding:
        fail("rows without a slot")
    if len(used["327"]) != 327 or len(used["98"]) != 98 or used["12"] != {0, 1, 2, 3}:
        fail("slot tables not covered as stated")
    return binding


def parse_stems(text):
    m = re.search(r"The 37 colour stems, each covering[^:]*: ([^.]+)\.", text)
    if not m:
        fail("colour stems not found")
    stems = [s.strip() for s in m.group(1).split(",")]
    if len(stems) != STEMS or len(set(stems)) != STEMS:
        fail("expected %d colour stems, found %d" % (STEMS, len(stems)))
    return stems


def parse_groups(text):
    block = section_after(text, "`TimecycleVariableGroups`")
    groups = []
    for m in re.finditer(r'^\| (\d+) \| "([^"]+)" \| (\d+) \| ([^|]+) \| (\d+) \|$', block, re.M):
        rows = []
        for piece in m.group(4).split(","):
            lo, hi = parse_range(piece)
            rows.extend(range(lo, hi + 1))
        groups.append({"index": int(m.group(1)), "title": m.group(2), "bases": int(m.group(3)),
                       "rows": rows, "variables": int(m.group(5))})
    if len(groups) != GROUPS or [g["index"] for g in groups] != list(range(GROUPS)):
        fail("expected %d groups in order" % GROUPS)
    return groups


def base_name(name, stems):
    if len(name) > 2 and name[-2] == "_" and name[-1] in "rgb" and name[:-2] in stems:
        return name[:-2]
    return name


def matches_base(name, base):
    return name == base or (len(name) == len(base) + 2 and name.startswith(base) and name[-2] == "_"
                            and name[-1] in "rgbxyz")


def build_group_bases(groups, names, stems):
    seen_rows = []
    for g in groups:
        if len(g["rows"]) != g["variables"]:
            fail("group %s: %d rows, %d stated" % (g["title"], len(g["rows"]), g["variables"]))
        bases = []
        for row in sorted(g["rows"]):
            b = base_name(names[row], stems)
            if b not in bases:
                bases.append(b)
        if len(bases) != g["bases"]:
            fail("group %s: %d base names, %d stated" % (g["title"], len(bases), g["bases"]))
        g["baseNames"] = bases
        seen_rows.extend(g["rows"])
    if sorted(seen_rows) != list(range(VARIABLES)):
        fail("groups do not cover every row exactly once")
    if sum(len(g["baseNames"]) for g in groups) != 355:
        fail("base names do not add up to 355")
    # The lookup rule (first group, first base name) must give every row the
    # group the table puts it in.
    for row, name in enumerate(names):
        found = None
        for g in groups:
            if any(matches_base(name, b) for b in g["baseNames"]):
                found = g["index"]
                break
        if found is None:
            found = GROUPS - 1
        if row not in groups[found]["rows"]:
            fail("row %d (%s) would fall into group %d" % (row, name, found))
    for stem in stems:
        triple = [stem + "_r", stem + "_g", stem + "_b"]
        if any(t not in names for t in triple):
            fail("colour stem %s lacks a component" % stem)


def parse_keyframes(text):
    m = re.search(r"`TimeKeyframeTable`: 13 keyframes[^:]*: (.+?)\. The keyframe index", text)
    if not m:
        fail("keyframe table not found")
    items = re.findall(r'(\d+) "(\d\d:\d\d)" (\d+)', m.group(1))
    if len(items) != KEYFRAMES or [int(i[0]) for i in items] != list(range(KEYFRAMES)):
        fail("expected %d keyframes" % KEYFRAMES)
    for _, label, hour in items:
        if int(label[:2]) != int(hour):
            fail("keyframe %s has hour %s" % (label, hour))
    return [(label, int(hour)) for _, label, hour in items]


def parse_regions(text):
    m = re.search(r'`TimecycleRegionNames`: 3 regions of the editor: 0 "([^"]+)", 1 "([^"]+)", 2 "([^"]+)"', text)
    if not m:
        fail("region names not found")
    return [m.group(1), m.group(2), m.group(3)]


def parse_baseline(text, names):
    block = section_after(text, "`EngineBaselineTable`")
    rows = []
    for m in re.finditer(r"^\| ([a-z_]+) \| ([-0-9., ]+) \|$", block, re.M):
        values = [v.strip() for v in m.group(2).split(",")]
        if len(values) != KEYFRAMES:
            fail("baseline row %s has %d values" % (m.group(1), len(values)))
        if m.group(1) not in names:
            fail("baseline row %s is no variable" % m.group(1))
        rows.append((m.group(1), values))
    if len(rows) != BASELINE_ROWS:
        fail("expected %d baseline rows, found %d" % (BASELINE_ROWS, len(rows)))
    return rows


def c_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def c_float(text):
    value = float(text)
    out = repr(value)
    if "e" not in out and "." not in out:
        out += ".0"
    return out + "f"


def write_output(path, names, binding, groups, stems, keyframes, regions, baseline):
    out = []
    w = out.append
    w("// Generated by tools/gen_timecycle_tables.py from the timecycle reference text.")
    w("// Do not edit by hand: change the reference text and run the script again.")
    w('#include "runtime/live_slots.h"')
    w('#include "timecycle/timecycle_model.h"')
    w('#include "timecycle/timecycle_tables.h"')
    w("")
    w("namespace timecycle {")
    w("")
    w("const TimecycleVariable TimecycleVariableTable[kVariableCount] = {")
    for i, (name, (table, slot)) in enumerate(zip(names, binding)):
        w("    {&runtime::%sSlotTable[%d], %s},  // %d" % (table, slot, c_string(name), i))
    w("};")
    w("")
    for g in groups:
        w("static const char* const kGroup%dBaseNames[] = {" % g["index"])
        for b in g["baseNames"]:
            w("    %s," % c_string(b))
        w("};")
    w("")
    w("const VariableGroupData kVariableGroupData[kGroupCount] = {")
    for g in groups:
        w("    {%s, kGroup%dBaseNames, %d, %d, %d},"
          % (c_string(g["title"]), g["index"], len(g["baseNames"]), len(g["rows"]), min(g["rows"])))
    w("};")
    w("")
    w("const char* const kColourStems[kColourStemCount] = {")
    for s in stems:
        w("    %s," % c_string(s))
    w("};")
    w("")
    w("const TimeKeyframe TimeKeyframeTable[kKeyframeCount] = {")
    for label, hour in keyframes:
        w("    {%s, %d}," % (c_string(label), hour))
    w("};")
    w("")
    w("const char* const TimecycleRegionNames[kRegionCount] = {%s};" % ", ".join(c_string(r) for r in regions))
    w("")
    w("const EngineBaselineRow EngineBaselineTable[kEngineBaselineRowCount] = {")
    for name, values in baseline:
        w("    {%s, {%s}}," % (c_string(name), ", ".join(c_float(v) for v in values)))
    w("};")
    w("")
    w("}  // namespace timecycle")
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def main():
    if len(sys.argv) not in (2, 3):
        fail("usage: gen_timecycle_tables.py REFERENCE.md [OUTPUT.cpp]")
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    output = sys.argv[2] if len(sys.argv) == 3 else "src/timecycle/timecycle_tables_data.cpp"
    names = parse_names(text)
    binding = parse_binding(text)
    stems = parse_stems(text)
    groups = parse_groups(text)
    build_group_bases(groups, names, stems)
    keyframes = parse_keyframes(text)
    regions = parse_regions(text)
    baseline = parse_baseline(text, names)
    write_output(output, names, binding, groups, stems, keyframes, regions, baseline)


if __name__ == "__main__":
    main()
