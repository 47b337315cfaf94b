#!/usr/bin/env python3
"""Writes the timecycle editor's C++ tables from the data files of src/timecycle/data.

Usage: tools/gen_timecycle_tables.py TIMECYCLE_DATA_DIR RUNTIME_DATA_DIR OUT_DIR

TIMECYCLE_DATA_DIR holds (tab-separated, as the runtime's data files):
  variables.tsv        the 429 variables in row order: XML name, slot, group
  groups.tsv           the 28 display groups
  colour_stems.tsv     the stems of the colour triples
  keyframes.tsv        the 13 keyframes
  regions.tsv          the editor's three regions
  engine_baseline.tsv  the eight baseline rows of the keyframe-table recognition
  modifier_locations.tsv  the places where modifiers are active (teleport targets)
RUNTIME_DATA_DIR gives the live override slots (live_slots.tsv) that the
variables name. OUT_DIR receives timecycle/timecycle_tables_data.cpp (the
build runs this script).

The base names of a group are derived: its variables in row order, a colour
triple counted once by its stem. The script checks that looking a name up by
the base names (first group, first base name, the last group otherwise) gives
every variable its own group, and every other rule below, before writing.
A location's label must say its place and the coordinates of its row
rounded to whole units, as the Timecycle Mods tab shows them.
"""
import math
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gen_runtime_tables as common  # noqa: E402

DataError = common.DataError
VARIABLES = 429
GROUPS = 28
KEYFRAMES = 13
REGIONS = 3
BASELINE_ROWS = 8
MODIFIER_LOCATIONS = 108
SLOT_USE = {"LightDir": 4, "Main": 327, "FogTone": 98}  # the timecycle slots: LightDir rows 0-3, all others


def numbered(name, rows, column, count):
    for i, (line, row) in enumerate(rows):
        if common.number(row[column], "%s:%d" % (name, line), int) != i:
            raise DataError("%s:%d: %s %s where %d comes next" % (name, line, column, row[column], i))
    if len(rows) != count:
        raise DataError("%s: %d rows, expected %d" % (name, len(rows), count))


def read_variables(data_dir, slots):
    name, rows = common.read_table(os.path.join(data_dir, "variables.tsv"), ["row", "name", "slot", "group"])
    numbered(name, rows, "row", VARIABLES)
    slot_of = {s["id"]: s for s in slots}
    table_rows = {}
    for s in slots:
        table_rows.setdefault(s["table"], []).append(s["id"])
    names, used, variables = {}, {}, []
    for line, row in rows:
        where = "%s:%d" % (name, line)
        if not re.fullmatch(r"[A-Za-z0-9_]+", row["name"]):
            raise DataError("%s: odd name %r" % (where, row["name"]))
        if row["name"] in names:
            raise DataError("%s: name %s again (line %d)" % (where, row["name"], names[row["name"]]))
        slot = slot_of.get(row["slot"])
        if slot is None:
            raise DataError("%s: unknown slot %r" % (where, row["slot"]))
        if row["slot"] in used:
            raise DataError("%s: slot %s already belongs to line %d" % (where, row["slot"], used[row["slot"]]))
        index = table_rows[slot["table"]].index(row["slot"])
        if index >= SLOT_USE[slot["table"]]:
            raise DataError("%s: slot %s is no timecycle slot" % (where, row["slot"]))
        group = common.number(row["group"], where, int)
        if not 0 <= group < GROUPS:
            raise DataError("%s: group %d out of range" % (where, group))
        names[row["name"]] = line
        used[row["slot"]] = line
        variables.append(dict(name=row["name"], table=slot["table"], index=index, group=group))
    return variables


def read_groups(data_dir):
    name, rows = common.read_table(os.path.join(data_dir, "groups.tsv"), ["group", "title"])
    numbered(name, rows, "group", GROUPS)
    return [row["title"] for _, row in rows]


def read_stems(data_dir, variables):
    name, rows = common.read_table(os.path.join(data_dir, "colour_stems.tsv"), ["stem"])
    stems = []
    names = {v["name"] for v in variables}
    for line, row in rows:
        stem = row["stem"]
        if stem in stems:
            raise DataError("%s:%d: stem %s again" % (name, line, stem))
        if any(stem + c not in names for c in ("_r", "_g", "_b")):
            raise DataError("%s:%d: stem %s lacks a component" % (name, line, stem))
        stems.append(stem)
    return stems


def base_name(name, stems):
    if len(name) > 2 and name[-2] == "_" and name[-1] in "rgb" and name[:-2] in stems:
        return name[:-2]
    return name


def matches_base(name, base):
    return name == base or (len(name) == len(base) + 2 and name.startswith(base) and name[-2] == "_"
                            and name[-1] in "rgbxyz")


def group_bases(variables, titles, stems):
    groups = []
    for g, title in enumerate(titles):
        rows = [i for i, v in enumerate(variables) if v["group"] == g]
        if not rows:
            raise DataError("variables.tsv: group %d (%s) has no variable" % (g, title))
        bases = []
        for row in rows:
            b = base_name(variables[row]["name"], stems)
            if b not in bases:
                bases.append(b)
        groups.append(dict(title=title, bases=bases, count=len(rows), first=rows[0]))
    for row, v in enumerate(variables):
        found = next((g for g, group in enumerate(groups) if any(matches_base(v["name"], b) for b in group["bases"])),
                     GROUPS - 1)
        if found != v["group"]:
            raise DataError("variables.tsv: row %d (%s) of group %d would be looked up in group %d" %
                            (row, v["name"], v["group"], found))
    return groups


def read_keyframes(data_dir):
    name, rows = common.read_table(os.path.join(data_dir, "keyframes.tsv"), ["keyframe", "label", "hour"])
    numbered(name, rows, "keyframe", KEYFRAMES)
    out = []
    for line, row in rows:
        where = "%s:%d" % (name, line)
        hour = common.number(row["hour"], where, int)
        if not re.fullmatch(r"\d\d:\d\d", row["label"]) or int(row["label"][:2]) != hour or not 0 <= hour < 24:
            raise DataError("%s: keyframe %s has hour %s" % (where, row["label"], row["hour"]))
        if out and hour <= out[-1][1]:
            raise DataError("%s: the hours do not rise" % where)
        out.append((row["label"], hour))
    return out


def read_regions(data_dir):
    name, rows = common.read_table(os.path.join(data_dir, "regions.tsv"), ["region", "name"])
    numbered(name, rows, "region", REGIONS)
    return [row["name"] for _, row in rows]


def read_baseline(data_dir, variables):
    columns = ["name"] + ["k%d" % k for k in range(KEYFRAMES)]
    name, rows = common.read_table(os.path.join(data_dir, "engine_baseline.tsv"), columns)
    names = {v["name"] for v in variables}
    out = []
    for line, row in rows:
        where = "%s:%d" % (name, line)
        if row["name"] not in names:
            raise DataError("%s: %s is no variable" % (where, row["name"]))
        values = [row["k%d" % k] for k in range(KEYFRAMES)]
        for v in values:
            common.number(v, where)
        out.append((row["name"], values))
    if len(out) != BASELINE_ROWS:
        raise DataError("%s: %d rows, expected %d" % (name, len(out), BASELINE_ROWS))
    return out


LOCATION_LABEL = re.compile(r"(?P<place>\S(?:.*\S)?) \((?P<x>-?\d+), (?P<y>-?\d+), (?P<z>-?\d+)\)(?: - (?P<kind>\S(?:.*\S)?))?")
COORDINATE = re.compile(r"-?\d+\.\d{3}")


def whole_units(value):
    """The coordinate to the nearest whole unit (halves away from zero), as the label writes it."""
    return int(math.floor(abs(value) + 0.5)) * (-1 if value < 0 else 1)


def read_locations(data_dir):
    name, rows = common.read_table(os.path.join(data_dir, "modifier_locations.tsv"),
                                   ["row", "modifier", "label", "x", "y", "z"])
    numbered(name, rows, "row", MODIFIER_LOCATIONS)
    seen = {}
    out = []
    for line, row in rows:
        where = "%s:%d" % (name, line)
        if not re.fullmatch(r"[A-Za-z0-9_]+", row["modifier"]):
            raise DataError("%s: odd modifier name %r" % (where, row["modifier"]))
        label = LOCATION_LABEL.fullmatch(row["label"])
        if not label:
            raise DataError("%s: label %r is not 'place (x, y, z)' with an optional ' - kind'" % (where, row["label"]))
        if " - " in label["place"] or " (" in label["place"]:
            raise DataError("%s: place %r holds ' - ' or ' ('" % (where, label["place"]))
        for axis in ("x", "y", "z"):
            if not COORDINATE.fullmatch(row[axis]):
                raise DataError("%s: %s %r is not a number with three decimals" % (where, axis, row[axis]))
            rounded = whole_units(float(row[axis]))
            if int(label[axis]) != rounded or label[axis] == "-0":
                raise DataError("%s: the label says %s %s, the row %s (%d)" % (where, axis, label[axis], row[axis], rounded))
        key = (row["modifier"].lower(), row["label"])
        if key in seen:
            raise DataError("%s: %s at %r again (line %d)" % (where, row["modifier"], row["label"], seen[key]))
        seen[key] = line
        out.append((row["modifier"], row["label"], row["x"], row["y"], row["z"]))
    return out


def write_output(variables, groups, stems, keyframes, regions, baseline, locations):
    c = common.c_string
    out = []
    w = out.append
    w(common.header("gen_timecycle_tables.py", "src/timecycle/data").rstrip("\n"))
    w('#include "runtime/live_slots.h"')
    w('#include "timecycle/modifier_filters.h"')
    w('#include "timecycle/timecycle_model.h"')
    w('#include "timecycle/timecycle_tables.h"')
    w("")
    w("namespace timecycle {")
    w("")
    w("const TimecycleVariable TimecycleVariableTable[kVariableCount] = {")
    for i, v in enumerate(variables):
        w("    {&runtime::LiveSlots.%sSlotTable[%d], %s},  // %d" % (v["table"], v["index"], c(v["name"]), i))
    w("};")
    w("")
    for g, group in enumerate(groups):
        w("static const char* const kGroup%dBaseNames[] = {" % g)
        for b in group["bases"]:
            w("    %s," % c(b))
        w("};")
    w("")
    w("const VariableGroupData kVariableGroupData[kGroupCount] = {")
    for g, group in enumerate(groups):
        w("    {%s, kGroup%dBaseNames, %d, %d, %d}," % (c(group["title"]), g, len(group["bases"]), group["count"],
                                                       group["first"]))
    w("};")
    w("")
    w("const char* const kColourStems[kColourStemCount] = {")
    for s in stems:
        w("    %s," % c(s))
    w("};")
    w("")
    w("const TimeKeyframe TimeKeyframeTable[kKeyframeCount] = {")
    for label, hour in keyframes:
        w("    {%s, %d}," % (c(label), hour))
    w("};")
    w("")
    w("const char* const TimecycleRegionNames[kRegionCount] = {%s};" % ", ".join(c(r) for r in regions))
    w("")
    w("const EngineBaselineRow EngineBaselineTable[kEngineBaselineRowCount] = {")
    for name, values in baseline:
        w("    {%s, {%s}}," % (c(name), ", ".join(common.float_literal(v) for v in values)))
    w("};")
    w("")
    w("const ModifierLocation ModifierLocationTable[kModifierLocationCount] = {")
    for modifier, label, x, y, z in locations:
        w("    {%s, %s, %s}," % (c(modifier), c(label), ", ".join(common.float_literal(v) for v in (x, y, z))))
    w("};")
    w("")
    w("}  // namespace timecycle")
    return "\n".join(out) + "\n"


def main(args):
    if len(args) != 3:
        sys.stderr.write("usage: gen_timecycle_tables.py TIMECYCLE_DATA_DIR RUNTIME_DATA_DIR OUT_DIR\n")
        return 2
    data_dir, runtime_dir, out_dir = args
    try:
        slots = common.read_slots(runtime_dir)
        variables = read_variables(data_dir, slots)
        titles = read_groups(data_dir)
        stems = read_stems(data_dir, variables)
        groups = group_bases(variables, titles, stems)
        keyframes = read_keyframes(data_dir)
        regions = read_regions(data_dir)
        baseline = read_baseline(data_dir, variables)
        locations = read_locations(data_dir)
    except (DataError, OSError) as e:
        sys.stderr.write("gen_timecycle_tables: %s\n" % e)
        return 1
    for table, count in SLOT_USE.items():
        if sum(1 for v in variables if v["table"] == table) != count:
            sys.stderr.write("gen_timecycle_tables: variables.tsv: %s slots used %d times, expected %d\n" %
                             (table, sum(1 for v in variables if v["table"] == table), count))
            return 1
    text = write_output(variables, groups, stems, keyframes, regions, baseline, locations)
    common.write_file(os.path.join(out_dir, "timecycle", "timecycle_tables_data.cpp"), text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
