#!/usr/bin/env python3
"""The table generators on the repo's data and on broken copies of it: every
broken row stops the generator with its file and what is wrong, and nothing
is written.

Usage: gen_tables_test.py SOURCE_DIR
"""
import contextlib
import io
import os
import re
import shutil
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(SOURCE, "tools"))
import gen_runtime_tables  # noqa: E402
import gen_timecycle_tables  # noqa: E402
import gen_visualsettings_tables  # noqa: E402


def replace_line(pattern, new):
    """A change of the first line matching pattern (new: the replacement, or a function of the line)."""
    def change(lines):
        for i, line in enumerate(lines):
            if re.search(pattern, line):
                lines[i] = new(line) if callable(new) else new
                return lines
        raise AssertionError("no line matches %r" % pattern)
    return change


def move_line(pattern, after):
    def change(lines):
        line = next(l for l in lines if re.search(pattern, l))
        lines.remove(line)
        at = next(i for i, l in enumerate(lines) if re.search(after, l))
        lines.insert(at + 1, line)
        return lines
    return change


def cell(line, column, value):
    cells = line.rstrip("\n").split("\t")
    cells[column] = value
    return "\t".join(cells) + "\n"


# (what, layer, file changed, change, the message's words[, the file it names when another])
CASES = [
    ("a slot id twice", "runtime", "live_slots.tsv",
     replace_line(r"^Main\tPostFxExposureMin\t", lambda l: cell(l, 1, "PostFxExposure")), "id PostFxExposure again"),
    ("a slot name twice", "runtime", "live_slots.tsv",
     replace_line(r"^Main\tPostFxExposureMin\t", lambda l: cell(l, 2, "PostFX Exposure")),
     "name 'PostFX Exposure' again"),
    ("a slot row too few", "runtime", "live_slots.tsv",
     replace_line(r"^Main\tDofFar\t", ""), "table Main has 326 rows, expected 327"),
    ("a slot row among another table's", "runtime", "live_slots.tsv",
     move_line(r"^LightDir\tLightDirMult\t", r"^Main\tPostFxExposure\t"), "a LightDir row after the Main rows"),
    ("a range upside down", "runtime", "live_slots.tsv",
     replace_line(r"^Main\tFarClip\t", lambda l: cell(l, 4, "-1")), "minimum above maximum"),
    ("a member that is no slot", "runtime", "part_members.tsv",
     replace_line(r"^Noise\tPostFxNoiseSize\t", lambda l: cell(l, 1, "PostFxNoiseSise")),
     "unknown slot 'PostFxNoiseSise'"),
    ("a slot in two parts", "runtime", "part_members.tsv",
     replace_line(r"^Noise\tPostFxNoiseSize\t", lambda l: cell(l, 1, "BlurVignettingRadius")),
     "slot BlurVignettingRadius is already a member of BlurVignetting"),
    ("a part without members", "runtime", "part_members.tsv",
     replace_line(r"^FarClip\t", ""), "part FarClip has no members", "group_parts.tsv"),
    ("a group's parts apart", "runtime", "group_parts.tsv",
     move_line(r"^SkySunColorR\t", r"^FarClip\t"), "the parts of group Sky are not consecutive"),
    ("a gated engine member without its field", "runtime", "part_members.tsv",
     replace_line(r"^Gradient\tPostFxGradientMidpoint\t", lambda l: cell(l, 2, "-")), "needs its engine offset"),
    ("an engine field the tick never writes", "runtime", "part_members.tsv",
     replace_line(r"^Noise\tPostFxNoise\t", lambda l: cell(l, 2, "100")), "writes no engine field of a call part"),
    ("a called part without its applier", "runtime", "group_parts.tsv",
     replace_line(r"^LightDir\t", lambda l: cell(l, 5, "-")), "a call part needs an applier"),
    ("a gated part without its gate", "runtime", "group_parts.tsv",
     replace_line(r"^EnvBlur\t", lambda l: cell(l, 4, "-")), "a gate-engine part needs a gate"),
    ("a member applier of a called part", "runtime", "part_members.tsv",
     replace_line(r"^Noise\tPostFxNoise\t", lambda l: cell(l, 4, "ApplyLivePostFxNoise")), "a member of a call part has no applier of its own"),
    ("a redirect without its record", "runtime", "part_members.tsv",
     replace_line(r"^VehicleDirt\t", lambda l: cell(l, 3, "-")), "a redirect part has one member", "group_parts.tsv"),
    ("an unknown way to apply", "runtime", "group_parts.tsv",
     replace_line(r"^Noise\t", lambda l: cell(l, 3, "cal")), "unknown apply 'cal'"),
    ("a signature id out of turn", "runtime", "data_signatures.tsv",
     replace_line(r"^7\t", lambda l: cell(l, 0, "8")), "id 8 where 7 comes next"),
    ("a mask of another length", "runtime", "data_signatures.tsv",
     replace_line(r"^22\t", lambda l: cell(l, 4, "8x 20? 8x 8?")), "the mask is 44 bytes long, the length says 40"),
    ("a run word where the mask skips", "runtime", "data_signatures.tsv",
     replace_line(r"^20\t", lambda l: cell(l, 5, "16.0 4.0 8.0 28")), "word 2 (4.0) and the mask disagree"),
    ("a run of another length", "runtime", "data_signatures.tsv",
     replace_line(r"^3\t", lambda l: cell(l, 5, "1.75 1.5 4.0 0.1 10.0 10.0 1.5")), "the run has 7 words"),
    ("a run word that is no number", "runtime", "data_signatures.tsv",
     replace_line(r"^1\t", lambda l: cell(l, 5, "15.0 25.0 25.0 25.0 25.0 10.0 10.0 ten")), "run word 'ten'"),
    ("a mask on an exact run", "runtime", "data_signatures.tsv",
     replace_line(r"^2\t", lambda l: cell(l, 4, "32x")), "an exact run has no mask"),
    ("a missing column", "runtime", "data_signatures.tsv",
     replace_line(r"^5\t", "5\texact\t48\t1536\t-\n"), "5 cells, expected 6"),
    ("a probe site that does not hold its store", "runtime", "store_probes.tsv",
     replace_line(r"^NightVisionColorStores\tonce\tNightVisionColor\t96\t", lambda l: cell(l, 3, "88")),
     "byte 1 of the instruction is not the pattern's"),
    ("a redirect shape that does not read rip", "runtime", "redirect_records.tsv",
     replace_line(r"^FarClip\t", lambda l: cell(l, 3, "F3 0F 10 04")), "does not read rip+disp32"),
    ("a cell too small for its slots", "runtime", "redirect_records.tsv",
     replace_line(r"^SkySunColorGB\t", lambda l: cell(l, 6, "4")), "2 slots for a cell of 4 bytes"),
    ("a redirect applier of another part", "runtime", "redirect_records.tsv",
     replace_line(r"^FarClip\t", lambda l: cell(l, 9, "ApplyLiveLodMult")), "part FarClip is applied by ApplyLiveFarClip"),
    ("an engine member the tick does not know", "runtime", "engine_members.tsv",
     replace_line(r"^ApplyLivePostFxShiftCutoff\t", lambda l: cell(l, 0, "ApplyLivePostFxShiftCutof")),
     "the tick knows no member ApplyLivePostFxShiftCutof"),
    ("a generated live-write row beyond the table", "runtime", "code_sites.tsv",
     replace_line(r"^420\t", lambda l: cell(l, 0, "421")), "row 421 out of order or beyond 420"),
    ("a variable on another's slot", "timecycle", "variables.tsv",
     replace_line(r"^1\tlight_dir_col_g\t", lambda l: cell(l, 2, "LightDirColorR")),
     "slot LightDirColorR already belongs to line"),
    ("a variable on a slot that is none", "timecycle", "variables.tsv",
     replace_line(r"^1\tlight_dir_col_g\t", lambda l: cell(l, 2, "LightDirColorGreen")),
     "unknown slot 'LightDirColorGreen'"),
    ("a variable on a tonemapping slot", "timecycle", "variables.tsv",
     replace_line(r"^1\tlight_dir_col_g\t", lambda l: cell(l, 2, "TonemappingDarkFilmicA")),
     "slot TonemappingDarkFilmicA is no timecycle slot"),
    ("a colour component in another group than its stem", "timecycle", "variables.tsv",
     replace_line(r"\tsky_zenith_col_g\t", lambda l: cell(l, 3, "27")),
     "(sky_zenith_col_g) of group 27 would be looked up in group 12"),
    ("a colour stem without its triple", "timecycle", "colour_stems.tsv",
     replace_line(r"^sky_plane$", "sky_planes\n"), "stem sky_planes lacks a component"),
    ("a keyframe at another hour", "timecycle", "keyframes.tsv",
     replace_line(r"^4\t10:00\t", "4\t10:00\t11\n"), "keyframe 10:00 has hour 11"),
    ("a baseline row of no variable", "timecycle", "engine_baseline.tsv",
     replace_line(r"^light_dir_mult\t", lambda l: cell(l, 0, "light_dir_mul")), "light_dir_mul is no variable"),
    ("a variable row out of turn", "timecycle", "variables.tsv",
     replace_line(r"^3\tlight_dir_mult\t", lambda l: cell(l, 0, "4")), "row 4 where 3 comes next"),
    ("a location whose label rounds its row otherwise", "timecycle", "modifier_locations.tsv",
     replace_line(r"^0\tgunstore\t", lambda l: cell(l, 3, "-326.561")),
     "the label says x -326, the row -326.561 (-327)"),
    ("a location label without its coordinates", "timecycle", "modifier_locations.tsv",
     replace_line(r"^0\tgunstore\t", lambda l: cell(l, 2, "Ammu-Nation Paleto Bay")),
     "label 'Ammu-Nation Paleto Bay' is not 'place (x, y, z)'"),
    ("a location place that holds a kind", "timecycle", "modifier_locations.tsv",
     replace_line(r"^33\tCS1_railwayB_tunnel\t", lambda l: cell(l, 2, "Rail - North (-540, 4718, 91) - Tunnel")),
     "place 'Rail - North' holds"),
    ("a coordinate without its three decimals", "timecycle", "modifier_locations.tsv",
     replace_line(r"^10\tShop247\t", lambda l: cell(l, 3, "25.7")), "x '25.7' is not a number with three decimals"),
    ("a location twice", "timecycle", "modifier_locations.tsv",
     replace_line(r"^1\tgunstore\t", "1\tGUNSTORE\tAmmu-Nation Paleto Bay (-326, 6078, 32)\t-326.061\t6077.930\t32.193\n"),
     "GUNSTORE at 'Ammu-Nation Paleto Bay (-326, 6078, 32)' again"),
    ("a location row too few", "timecycle", "modifier_locations.tsv",
     replace_line(r"^107\twinning_room\t", ""), "107 rows, expected 108"),
    ("a modifier name with a blank", "timecycle", "modifier_locations.tsv",
     replace_line(r"^27\tgunclub\t", lambda l: cell(l, 1, "gun club")), "odd modifier name 'gun club'"),
    ("a parameter key twice, in other letter case", "visualsettings", "params.tsv",
     replace_line(r"\tcar\.neon\.radius\t", lambda l: cell(l, 1, "CAR.NEON.intensity")),
     "key CAR.NEON.intensity again, also when case is ignored"),
    ("a parameter among another array's", "visualsettings", "params.tsv",
     move_line(r"\tcar\.neon\.radius\t", r"\tcar\.neon\.defaultcolor\.red\t"), "array 4 where 5 or 6 comes next"),
    ("a value kind that is none", "visualsettings", "params.tsv",
     replace_line(r"\tcar\.neon\.radius\t", lambda l: cell(l, 4, "7")), "kind 7 is none of 0 to 6"),
    ("a unit conversion on a boolean", "visualsettings", "params.tsv",
     replace_line(r"\tdark\.useSpec\t", lambda l: cell(l, 5, "1")), "a unit conversion on a kind-2 row"),
    ("nine extra targets", "visualsettings", "params.tsv",
     replace_line(r"\tpuddles\.scale\t", lambda l: cell(l, 7, ",".join(["?"] * 9))), "9 extra targets, at most 8"),
    ("a range upside down", "visualsettings", "params.tsv",
     replace_line(r"\tadaptivedof\.gridsize\t", lambda l: cell(l, 3, "64..1")), "its minimum not below its maximum"),
    ("a target of no data signature", "visualsettings", "params.tsv",
     replace_line(r"\tdark\.volumeColor\.x\t", lambda l: cell(l, 6, "0x10A5000000000050")),
     "names no data signature"),
    ("a runtime key that is no parameter", "visualsettings", "runtime_keys.tsv",
     replace_line(r"\tbokeh\.globalAlpha\t", lambda l: cell(l, 1, "bokeh.globalAlfa")), "bokeh.globalAlfa is no parameter"),
    ("a runtime key at another offset than its parameter", "visualsettings", "runtime_keys.tsv",
     replace_line(r"\tbokeh\.globalAlpha\t", lambda l: cell(l, 2, "0x2F4")), "has offset 0x2F0, the table 0x2F4"),
]


class Generators(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="varnel-tables-")
        for layer in ("runtime", "timecycle", "visualsettings"):
            shutil.copytree(os.path.join(SOURCE, "src", layer, "data"), os.path.join(self.work, layer))
        self.out = os.path.join(self.work, "out")

    def tearDown(self):
        shutil.rmtree(self.work)

    def generate(self):
        """Both generators as the build runs them: (exit status, what they said)."""
        said = io.StringIO()
        runtime = os.path.join(self.work, "runtime")
        with contextlib.redirect_stderr(said):
            status = gen_runtime_tables.main([runtime, self.out])
            if status == 0:
                status = gen_timecycle_tables.main([os.path.join(self.work, "timecycle"), runtime, self.out])
            if status == 0:
                status = gen_visualsettings_tables.main([os.path.join(self.work, "visualsettings"), self.out])
        return status, said.getvalue()

    def test_the_repo_data_generates(self):
        status, said = self.generate()
        self.assertEqual(status, 0, said)
        for name in ("runtime/slot_ids.h", "runtime/slot_tables_data.inc", "runtime/override_groups_data.inc",
                     "runtime/data_signature_table.inc", "timecycle/timecycle_tables_data.cpp",
                     "visualsettings/param_table_data.cpp"):
            self.assertTrue(os.path.isfile(os.path.join(self.out, name)), name)

    def test_a_broken_row_stops_the_generator(self):
        for what, layer, name, change, message, *named in CASES:
            with self.subTest(what):
                path = os.path.join(self.work, layer, name)
                with open(path, encoding="utf-8") as f:
                    original = f.read()
                with open(path, "w", encoding="utf-8") as f:
                    f.write("".join(change(original.splitlines(keepends=True))))
                shutil.rmtree(self.out, ignore_errors=True)
                status, said = self.generate()
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
                self.assertEqual(status, 1, what)
                self.assertIn(message, said)
                self.assertIn(named[0] if named else name, said)
                written = self.out if layer == "runtime" else os.path.join(self.out, layer)
                self.assertFalse(os.path.exists(written), "nothing is written")


if __name__ == "__main__":
    unittest.main()
