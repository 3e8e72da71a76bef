// The page's WebAssembly module against the console: its lines against the golden transcripts
// (computed by an independent implementation), and every bit of its designs, of their texts,
// of their sets of standard parts (best and nearest) with their figures, ranges, yield and
// warnings, of the op-amp figures, step responses, curves, netlists and bills of materials
// against the native core on those designs and 200 seeded random ones, fields with SI
// prefixes among them; the fields' prefixes, the 1 kHz design's sets and the tolerance band
// against independent calculations.
//
//   node differential.mjs --wasm build-web/web-build/kestrane.wasm \
//        --native build/tests/kestrane_design_dump --golden tests/golden
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { test } from "node:test";
import { parseArgs } from "node:util";

import { doubleBits, loadCore } from "../src/core.js";
import { goldenCases as readGoldenCases } from "./golden.mjs";

const { values: args } = parseArgs({
  options: {
    wasm: { type: "string" },
    native: { type: "string" },
    golden: { type: "string" },
  },
});

const core = await loadCore(readFileSync(args.wasm));

// --- Designs ---

function goldenCases() {
  return readGoldenCases(args.golden);
}

// A small seeded generator (mulberry32), so that every run tries the same designs.
function seededRandom(seed) {
  let state = seed >>> 0;
  return () => {
    state = (state + 0x6d2b79f5) >>> 0;
    let t = state;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const SI_PREFIXES = ["p", "n", "u", "\u00b5", "\u03bc", "m", "k", "M", "G"];

// A number text for 10^x with a random count of digits, in plain or exponent notation, a
// quarter of the time negative and a quarter of the time followed by an SI prefix (the value
// moved back by the prefix, so that it stays in the same decades); at most 15 characters.
function numberText(random, lowDecade, highDecade) {
  let value = 10 ** (lowDecade + random() * (highDecade - lowDecade));
  const digits = 1 + Math.floor(random() * 7);
  let prefix = "";
  if (random() < 0.25) {
    prefix = SI_PREFIXES[Math.floor(random() * SI_PREFIXES.length)];
    const exponent = { p: -12, n: -9, u: -6, m: -3, k: 3, M: 6, G: 9 }[prefix] ?? -6;
    value /= 10 ** exponent;
  }
  let text = random() < 0.5 ? value.toPrecision(digits) : value.toExponential(digits - 1);
  if (random() < 0.25) text = `-${text}`;
  return text + prefix;
}

// Cutoffs from 1 Hz to 1 GHz, R1 from 1 ohm to 1 Gohm, bands from 0.1 Hz to 10 MHz.
function randomDesigns(count, seed) {
  const random = seededRandom(seed);
  const designs = [];
  for (let i = 0; i < count; i++) {
    designs.push([numberText(random, -3, 6), numberText(random, 0, 9), numberText(random, -1, 7)]);
  }
  return designs;
}

// Inputs at the edges the console lets through or refuses.
const EDGE_DESIGNS = [
  ["0", "10000", "150"],
  ["1", "-0", "150"],
  ["1e-30", "1e-30", "1"],
  ["3.4e38", "1e-40", "1e30"],
  ["1e36", "10000", "0"],
  ["-1e-3", "-1e9", "-5e6"],
  ["1.", ".5e+2", "1e308"],
  ["1e400", "1", "1e-400"],
  ["10m", "10k", "150"],
  ["4.7\u00b5", "1M", "1G"],
  ["1e-3k", "2.2\u03bc", "0.5k"],
  ["1 k", "10K", "150x"],
  ["1e400k", "1e-400G", "1e308k"],
  [".k", "1e+k", "-0m"],
];

// Settings every design is tried with: the method, the resistor and capacitor series and
// tolerances in percent, then the op-amp's GBW (MHz), A0 (dB) and Ro (ohms), the output
// amplitude (V) and the attenuation's frequency (Hz). Among them: tolerances of 0 and just
// below 100, a bad tolerance, a bad amplitude and attenuation, an unknown series and method,
// a bad op-amp, and op-amps from 50 kHz to 100 GHz.
const SETTINGS = [
  ["best", "E96", "E12", "1", "5", "10", "100", "50", "1", "24000"],
  ["nearest", "E12", "E24", "5", "10", "0.05", "80", "100", "2.5", "1k"],
  ["best", "E192", "E6", "0.1", "20", "1e5", "140", "0", "10m", "0"],
  ["nearest", "E48", "E48", "0", "99.9", "1", "60", "500", "-1", "48k"],
  ["best", "E24", "E12", "500m", "2.5x", "10", "100", "50", "1", "24000"],
  ["best", "E5", "E12", "1", "5", "10", "100", "50", "1", "24000"],
  ["worst", "E96", "E12", "1", "5", "10", "100", "50", "1", "24000"],
  ["nearest", "E96", "E12", "1", "5", "0", "100", "-5", "1", "24000"],
];

// --- One design, through the script the native dump tool follows (design_dump.cpp) ---

const DUMP_POINTS = 9;

function readValue(text, kind) {
  const read = core.readField(text, kind);
  return read.status === "ok" ? read.value : null;
}

// Every entry of group `name` in the table's order: its figures' bits, figures for people,
// lines and arrays, as the dump tool prints them (a missing group's figures are 0).
function groupDump(name) {
  const group = core.group(name);
  const { figures, lines, arrays } = core.table;
  let out = `${name}\t`;
  for (const f of figures.filter((entry) => entry.group === name)) {
    const value = group ? group.figures[f.name] : 0;
    out += `${doubleBits(value)}\t`;
    if (f.for_people) out += `${group ? group.texts[f.name] : core.engineering(0, f.unit)}\t`;
  }
  for (const l of lines.filter((entry) => entry.group === name)) {
    out += `${(group ? group.lines[l.name] : "").replaceAll("\n", "\\n")}\t`;
  }
  for (const a of arrays.filter((entry) => entry.group === name)) {
    const values = group ? group.arrays[a.name] : [];
    out += `${Array.from(values, (v) => `${doubleBits(v)},`).join("")}\t`;
  }
  return out;
}

const DESIGN_GROUPS = ["design", "deviation", "samples", "cascade", "stages"];

function groupsDump(designGroups) {
  const names = core.table.groups.filter((name) => DESIGN_GROUPS.includes(name) === designGroups);
  return names.map(groupDump).join("");
}

// One setting of the current design, as the dump tool prints it.
function settingDump(setting) {
  const [method, resistorSeries, capacitorSeries, resistorText, capacitorText] = setting;
  const [gbwText, a0Text, roText, amplitudeText, attenuationText] = setting.slice(5);
  if (!core.methods.includes(method)) return "no method\t";
  if (!core.setParts(method, resistorSeries, capacitorSeries)) return "no series\t";
  const resistor = readValue(resistorText, "tolerance");
  const capacitor = readValue(capacitorText, "tolerance");
  const both = resistor !== null && capacitor !== null;
  core.setTolerances(both ? { resistor, capacitor } : null);
  const gbwMhz = readValue(gbwText, "gbw");
  const a0Db = readValue(a0Text, "gain_db");
  const roOhm = readValue(roText, "output_ohm");
  const all = gbwMhz !== null && a0Db !== null && roOhm !== null;
  core.setOpamp(all ? { gbwMhz, a0Db, roOhm } : null);
  core.setAmplitude(readValue(amplitudeText, "amplitude") ?? NaN);
  core.setAttenuation(readValue(attenuationText, "frequency"));
  return groupsDump(false);
}

// The filter of a "#" block of nine texts (design_dump.cpp); false for a name not in the tables.
function setFilter([response, orderText, rippleText, edge, fp, ap, fs, as, compensate]) {
  const order = readValue(orderText, "design");
  const ripple = readValue(rippleText, "design");
  const whole = order !== null && Number.isInteger(order) && Math.abs(order) < 100 ? order : 0;
  const taken = core.setCascade({
    response: response.slice(1).toLowerCase(),
    order: whole,
    rippleDb: ripple ?? NaN,
    edge: edge.toLowerCase(),
  });
  if (!taken || !core.responses.includes(response.slice(1).toLowerCase())) return false;
  const spec = [fp, ap, fs, as].map((text) => readValue(text, "design"));
  core.setSpecification(
    spec.every((value) => value !== null)
      ? {
          passbandHz: spec[0] * 1000,
          passbandLossDb: spec[1],
          stopbandHz: spec[2] * 1000,
          stopbandLossDb: spec[3],
        }
      : null,
  );
  core.setCompensate(compensate === "1");
  return true;
}

function moduleDump([fcText, r1Text, bandText, ...settings]) {
  const reads = [
    core.readField(fcText, "design"),
    core.readField(r1Text, "design"),
    core.readField(bandText, "band"),
  ];
  let out = "";
  for (const r of reads) {
    out += `${r.status}\t${doubleBits(r.status === "ok" ? r.value : 0)}\t${r.message}\t`;
  }
  const designable = reads[0].status === "ok" && reads[1].status === "ok";
  core.setDesign(designable ? reads[0].value : null, designable ? reads[1].value : null);
  core.setBand(reads[2].status === "ok" ? reads[2].value : null);
  core.setPlotPoints(DUMP_POINTS);
  core.setStepPoints(DUMP_POINTS);
  core.setCascade(null);
  core.setSpecification(null);
  core.setCompensate(false);
  let first = 0;
  if (settings.length >= 9 && settings[0].startsWith("#")) {
    if (!setFilter(settings.slice(0, 9))) return `${out}no response`;
    first = 9;
  }
  out += groupsDump(true);
  for (let i = first; i + 10 <= settings.length; i += 10) {
    out += settingDump(settings.slice(i, i + 10));
  }
  return out;
}

function nativeDumps(designs) {
  assert.ok(
    existsSync(args.native),
    `${args.native} is missing: build the native tree first (cmake --build build)`,
  );
  const run = spawnSync(args.native, [], {
    input: designs.map((d) => d.join("\t")).join("\n") + "\n",
    encoding: "utf8",
    maxBuffer: 64 << 20,
  });
  assert.equal(run.status, 0, run.stderr);
  return run.stdout.split("\n").slice(0, designs.length);
}

// --- Tests ---

// A fresh design in the module: every setting at its default, the curves at the plotted range.
function designAt(fc, r1, band = null) {
  core.setDesign(fc, r1);
  core.setBand(band);
  core.setParts("best", "E96", "E12");
  core.setTolerances({ resistor: 1, capacitor: 5 });
  core.setOpamp({ gbwMhz: 10, a0Db: 100, roOhm: 50 });
  core.setAmplitude(1);
  core.setAttenuation(24000);
  core.setPlotPoints(core.constants.plot_points);
  core.setFrequencies([]);
  return core.group("design");
}

test("golden designs give the golden transcripts' six lines", () => {
  let checked = 0;
  for (const { name, designs, lines } of goldenCases()) {
    assert.equal(designs.length, lines.length, `${name}: designs and transcript disagree`);
    designs.forEach(([fc, r1, band], i) => {
      const design = designAt(
        core.readField(fc, "design").value,
        core.readField(r1, "design").value,
        core.readField(band, "band").value,
      );
      const { r1: l1, r2, c1, c2, passband } = design.lines;
      const got = [l1, r2, c1, c2, passband, core.group("deviation").lines.deviation];
      assert.deepEqual(got, lines[i], `${name}, design ${i + 1}`);
      checked++;
    });
  }
  assert.ok(checked >= 12, `only ${checked} golden designs found`);
});

test("the module's name table is the native catalogue's", () => {
  const run = spawnSync(args.native, ["--table"], { encoding: "utf8" });
  assert.equal(run.status, 0, run.stderr);
  assert.deepEqual(core.table, JSON.parse(run.stdout));
});

// Filters of any order: every family at every order (some refused), a Chebyshev at its ripple
// edge, orders from specifications (met, needing more, refused), compensation for the op-amp,
// and names not in the tables; at cutoffs and resistors from a few designs.
function cascadeDesigns() {
  const blocks = [];
  for (const response of ["butterworth", "bessel", "chebyshev", "linkwitz-riley"]) {
    for (let order = 1; order <= 10; order++) {
      const ripple = response === "chebyshev" ? String([0.01, 0.5, 1, 3][order % 4]) : "";
      blocks.push([`#${response}`, String(order), ripple, "-3db", "", "", "", "", String(order % 2)]);
    }
  }
  blocks.push(["#chebyshev", "4", "1", "ripple-edge", "", "", "", "", "0"]);
  blocks.push(["#Chebyshev", "7", "0.1", "RIPPLE-EDGE", "", "", "", "", "1"]);
  blocks.push(["#bessel", "", "", "-3db", "1", "3", "3", "30", "0"]);
  blocks.push(["#chebyshev", "", "", "-3db", "1", "1", "2", "60", "1"]);
  blocks.push(["#butterworth", "", "", "-3db", "1", "1", "1.1", "200", "0"]);
  blocks.push(["#linkwitz-riley", "", "", "-3db", "5", "1", "1", "40", "0"]);
  blocks.push(["#butterworth", "2.5", "", "-3db", "", "", "", "", "0"]);
  blocks.push(["#elliptic", "4", "", "-3db", "", "", "", "", "0"]);
  const places = [["1", "10000", "150"], ["20", "4.7k", "5k"], ["0.2", "1M", ""], ["-1", "1k", "1"]];
  return blocks.map((block, i) => [...places[i % places.length], ...block]);
}

test("the module designs, builds and simulates as the native assembly, bit for bit", () => {
  const designs = [
    ...goldenCases().flatMap((c) => c.designs),
    ...EDGE_DESIGNS,
    ...randomDesigns(200, 20240917),
    ...cascadeDesigns(),
  ].map((design) => [...design, ...SETTINGS.flat()]);
  const expected = nativeDumps(designs);
  const mismatches = [];
  let designed = 0;
  let spreads = 0;
  let netlists = 0;
  let warnings = 0;
  designs.forEach((design, i) => {
    const got = moduleDump(design);
    if (got.includes("\tR1, Ohm: ")) designed++;
    spreads += got.split("\tCutoff with ").length - 1;
    netlists += got.split("\\n.ac dec ").length - 1;
    warnings += (got.match(/(?:\t|\\n)(?:Warning|No circuit to build): /g) ?? []).length;
    if (got !== expected[i]) {
      mismatches.push(`${design.join(" ")}\n  module: ${got}\n  native: ${expected[i]}`);
    }
  });
  const shown = mismatches.slice(0, 3).join("\n");
  assert.equal(mismatches.length, 0, `${mismatches.length} designs differ:\n${shown}`);
  assert.ok(designed >= 210, `only ${designed} of ${designs.length} designs were designed`);
  assert.ok(spreads >= 3 * 150, `only ${spreads} cutoff ranges`);
  assert.ok(netlists >= 4 * 150, `only ${netlists} netlists with a circuit`);
  assert.ok(warnings >= 100, `only ${warnings} warnings`);
  console.log(
    `# ${designs.length} designs compared, ${designed} designed, ${spreads} ranges, ` +
      `${netlists} netlists, ${warnings} warnings, all identical`,
  );
});

function partsOf(figures) {
  const { R1, R2, C1, C2 } = figures;
  return { R1, R2, C1, C2 };
}

// The real circuit's gain, written out here as an independent check of the module's: parts
// in ohms and farads, f in hertz, the exact 2 pi.
function circuitGain({ R1, R2, C1, C2 }, f) {
  const w = 2 * Math.PI * f;
  const re = 1 - w * w * R1 * R2 * C1 * C2;
  const im = w * C2 * (R1 + R2);
  return 1 / Math.sqrt(re * re + im * im);
}

test("the 1 kHz design's best and nearest sets on the real circuit", () => {
  // python3 with mpmath (40 digits), each part the double nearest its decimal value:
  // f0 = 1/(2 pi sqrt(A)),
  // Q = sqrt(A)/B with A = R1 R2 C1 C2, B = C2 (R1 + R2), and the cutoff from the positive
  // root of A^2 w^4 + (B^2 - 2A) w^2 - 1 = 0.
  const close = (got, expected) => Math.abs(got - expected) <= 1e-12 * Math.abs(expected);
  designAt(1, 10000);
  const best = core.group("parts");
  assert.deepEqual(partsOf(best.figures), {
    R1: 10000,
    R2: 30100,
    C1: 15e-9,
    C2: 5.6e-9,
  });
  const f = best.figures;
  assert.ok(close(f.cutoff_hz, 1002.3095900431793), f.cutoff_hz);
  assert.ok(close(f.q, 0.70809330995015879), f.q);
  assert.ok(close(f.natural_hz, 1000.915099224731), f.natural_hz);
  assert.equal(best.lines.heading, "Standard parts, best set of E96 R and E12 C:");
  assert.equal(best.lines.cutoff, "Achieved cutoff: 1002.31 Hz (+0.23 %)");
  assert.equal(best.lines.q, "Q: 0.708093 (+0.14 %)");
  assert.equal(best.lines.warnings, "");
  // Nearest on a log scale: E96 10.2 below the midpoint 10.349 of 10.2 and 10.5; E12 22 below
  // 24.372 and 12 above 10.954.
  assert.ok(core.setParts("nearest", "E96", "E12"));
  const nearest = core.group("parts");
  assert.deepEqual(partsOf(nearest.figures), {
    R1: 10000,
    R2: 10200,
    C1: 22e-9,
    C2: 12e-9,
  });
  assert.ok(close(nearest.figures.cutoff_hz, 926.79009916232388), nearest.figures.cutoff_hz);
  assert.ok(close(nearest.figures.q, 0.67697001639491796), nearest.figures.q);
  assert.equal(nearest.lines.heading, "Standard parts, nearest E96 R and E12 C:");
  // Names not in the tables change nothing; tolerances from 100 % on give no ranges.
  assert.equal(core.setParts("nearest", "E7", "E12"), false);
  assert.equal(core.setParts("closest", "E96", "E12"), false);
  assert.equal(core.group("parts"), nearest, "a refused setting keeps what was made");
  core.setTolerances({ resistor: 150, capacitor: 5 });
  assert.equal(core.group("ranges"), null);
});

test("a setting makes again only what rests on it", () => {
  designAt(1, 10000);
  const [design, parts, ranges, opamp, step] = ["design", "parts", "ranges", "opamp", "step"].map(
    (name) => core.group(name),
  );
  core.setTolerances({ resistor: 2, capacitor: 5 });
  assert.equal(core.group("design"), design);
  assert.equal(core.group("parts"), parts);
  assert.notEqual(core.group("ranges"), ranges);
  assert.equal(core.group("opamp"), opamp);
  core.setAmplitude(2);
  assert.notEqual(core.group("opamp"), opamp);
  assert.equal(core.group("step"), step, "the step does not rest on the amplitude");
  core.setOpamp({ gbwMhz: 1, a0Db: 100, roOhm: 50 });
  assert.notEqual(core.group("step"), step);
  core.setOpamp(null);
  assert.equal(core.group("step"), null);
  assert.equal(core.group("files").lines.netlist, "");
  core.setDesign(1, 10000);  // the same design: nothing is made again
  assert.equal(core.group("parts"), parts);
});

test("the warnings say why a design cannot be built or misses", () => {
  const warningsOf = (fc, r1) => {
    designAt(fc, r1);
    return core.group("parts");
  };
  // 5.5 Hz: the whole-hertz model misses the real cutoff; the best set is still built.
  const low = warningsOf(0.0055, 10000);
  assert.match(low.lines.warnings, /^Warning: the whole-hertz design model misses: real cutoff/);
  assert.equal(low.figures.buildable, 1);
  // 1.5 Hz, 10 kohm: a negative C1, and no circuit.
  const negative = warningsOf(0.0015, 10000).lines.warnings.split("\n");
  assert.match(negative[0], /^Warning: positive inputs gave C1 = -\d/);
  assert.match(negative[1], /^No circuit to build: C1 = /);
  // A negative cutoff: no circuit, no set, no op-amp figures or step; the netlist says why.
  const mirrored = warningsOf(-1, 10000);
  assert.equal(mirrored.figures.buildable, 0);
  assert.match(mirrored.lines.warnings, /^No circuit to build: the cutoff = -1 kHz is not above 0/);
  assert.equal(mirrored.lines.r2, "");
  for (const name of ["ranges", "opamp", "step", "circuit", "bands", "opamp_curve"]) {
    assert.equal(core.group(name), null, name);
  }
  const files = core.group("files").lines;
  assert.match(files.netlist_refusal, /^No circuit to build: the cutoff = -1 kHz/);
  assert.equal(files.bom, "");
  // 1 Mohm at 1 kHz: parts outside the practical ranges.
  const large = warningsOf(1, 1e8).lines.warnings;
  assert.match(large, /R1 = 1e\+008 Ohm is above 10 MOhm: impractical for a resistor/);
});

test("the tolerance band holds every build in the tolerance box", () => {
  const random = seededRandom(7);
  for (const [fc, r1, rPercent, cPercent] of [
    [1, 10000, 1, 5],
    [2.2, 4700, 5, 20],
    [0.05, 1e6, 0.1, 99],
  ]) {
    designAt(fc, r1);
    core.setParts("best", "E24", "E12");
    core.setTolerances({ resistor: rPercent, capacitor: cPercent });
    core.setPlotPoints(300);
    const parts = partsOf(core.group("parts").figures);
    const s = core.group("samples").arrays;
    const band = core.group("bands").arrays;
    const curve = core.group("circuit").arrays;
    // The set's own curve and 400 random builds, each part uniform within its tolerance, and
    // the 16 corners, with the gain written out here.
    const builds = [parts];
    for (let k = 0; k < 416; k++) {
      const at = (value, percent, bit) => {
        const u = k < 16 ? (k & bit ? 1 : -1) : 2 * random() - 1;
        return value * (1 + (u * percent) / 100);
      };
      builds.push({
        R1: at(parts.R1, rPercent, 1),
        R2: at(parts.R2, rPercent, 2),
        C1: at(parts.C1, cPercent, 4),
        C2: at(parts.C2, cPercent, 8),
      });
    }
    let widest = 0;
    s.hz.forEach((f, i) => {
      const gains = builds.map((b) => circuitGain(b, f));
      const slack = 1e-12 * gains[0];
      assert.ok(Math.abs(curve.gain[i] - gains[0]) <= slack, `${fc} kHz: the set at ${f} Hz`);
      assert.ok(Math.min(...gains) >= band.gain_lowest[i] - slack, `${fc} kHz: low at ${f} Hz`);
      assert.ok(Math.max(...gains) <= band.gain_highest[i] + slack, `${fc} kHz: high at ${f}`);
      assert.ok(curve.phase_deg[i] >= band.phase_lowest_deg[i]);
      assert.ok(curve.phase_deg[i] <= band.phase_highest_deg[i]);
      widest = Math.max(widest, band.gain_highest[i] / band.gain_lowest[i]);
    });
    // The decibels are the gains', 20 log10 of them, to within the last places.
    s.gain.forEach((g, i) => assert.ok(Math.abs(s.gain_db[i] - 20 * Math.log10(g)) < 1e-12));
    assert.ok(widest > 1.12, `${fc} kHz: the band is ${widest} wide`);
  }
});

test("a tolerance is a number from 0 to below 100 percent", () => {
  for (const [text, value] of [["0", 0], [" 5 ", 5], ["99.99", 99.99], ["2.5e0", 2.5]]) {
    assert.deepEqual(core.readField(text, "tolerance"), { status: "ok", value, message: "", note: "" }, text);
  }
  for (const text of ["100", "-1", "1e400", "-0.001", "1k"]) {
    const read = core.readField(text, "tolerance");
    assert.equal(read.status, "out_of_range", text);
    assert.equal(read.message, `Not a tolerance: "${text}". Tolerances run from 0 to below 100 %.`);
  }
  assert.equal(core.readField("5%", "tolerance").status, "not_a_number");
  // The op-amp's fields: what opamp_from_fields takes, each with its reason.
  const refused = [
    ["0", "gbw", 'Not a gain-bandwidth product: "0". It is above 0 MHz and at most 1.79769e+302 MHz.'],
    ["1e400", "gbw", 'Not a gain-bandwidth product: "1e400". It is above 0 MHz and at most 1.79769e+302 MHz.'],
    // A GBW whose hertz leave the double range, and a band beyond it.
    ["1e303", "gbw", 'Not a gain-bandwidth product: "1e303". It is above 0 MHz and at most 1.79769e+302 MHz.'],
    ["1e999", "band", 'Not a band: "1e999". It is finite: at most 1.79769e+308 Hz either way.'],
    // The filter's fields.
    ["11", "order", 'Not an order: "11". It is a whole number from 1 to 10.'],
    ["2.5", "order", 'Not an order: "2.5". It is a whole number from 1 to 10.'],
    ["3.5", "ripple_db", 'Not a ripple: "3.5". It runs from 0.01 to 3 dB.'],
    ["1e306", "edge_khz", 'Not an edge: "1e306". It is above 0 and at most 1.79769e+305 kHz.'],
    ["0", "loss_db", 'Not a loss: "0". It is above 0 dB and finite.'],
    ["-3", "gain_db", 'Not an open-loop gain: "-3". It is above 0 dB and finite.'],
    ["0", "gain_db", 'Not an open-loop gain: "0". It is above 0 dB and finite.'],
    ["-1m", "output_ohm", 'Not an output resistance: "-1m". It is 0 \u03a9 or more and finite.'],
    ["0", "amplitude", 'Not an amplitude: "0". It is above 0 V and finite.'],
    ["-24k", "frequency", 'Not a frequency: "-24k". It is above 0 Hz and finite.'],
  ];
  for (const [text, kind, message] of refused) {
    const read = core.readField(text, kind);
    assert.deepEqual(read, { status: "out_of_range", value: undefined, message, note: "" });
  }
  const taken = [
    ["50k", "gbw", 50000],
    ["0", "output_ohm", 0],
    ["24k", "frequency", 24000],
    ["6000", "gain_db", 6000],
  ];
  for (const [text, kind, value] of taken) {
    assert.equal(core.readField(text, kind).value, value, `${kind} ${text}`);
  }
  assert.equal(core.readField("", "tolerance").status, "empty");
  assert.equal(core.readField("1".repeat(20), "tolerance").status, "too_long");
});

test("a field holds one number read by the console's rules", () => {
  const read = (text, kind = "design") => core.readField(text, kind);
  assert.deepEqual(read(" \t-.5e+1 \r\n"), { status: "ok", value: -5, message: "", note: "" });
  assert.equal(read("4.7e").status, "not_a_number");  // the marker is left over
  const after = read("12abc");
  assert.equal(after.status, "not_a_number");
  assert.match(after.message, /"12abc"/);
  const long = read("1234567890.123456789");  // 20 characters
  assert.equal(long.status, "too_long");
  assert.match(long.message, /19/);
  assert.equal(read("1234567890.12345678").status, "ok");
  assert.equal(read("1".repeat(27), "band").status, "ok");
  assert.equal(read("1".repeat(28), "band").status, "too_long");
  assert.equal(read("   ").status, "empty");
  assert.equal(read("1,5").status, "not_a_number");
  // The page's messages quote what was typed, characters as they are; bytes that are no
  // character, control characters, quotes and backslashes escaped as the console escapes them.
  assert.equal(read("\u22121").message, 'Not a number: "\u22121". Numbers look like 1000, -2.5, .5 or 4.7e3.');
  assert.match(read('1\u0007"\\').message, /^Not a number: "1\\x07\\"\\\\"\./);
  // A number too small to read is 0, and says so; a 0 typed as 0 says nothing.
  assert.equal(read("1e-308").note, 'Read as 0: "1e-308" is below the smallest number read, 2.22507e-308.');
  assert.equal(read("-0.0e5").note, "");
  // Fields of any length are read whole.
  assert.equal(read(`${" ".repeat(5000)}5`).value, 5);
  assert.equal(read(`5${" ".repeat(5000)}x`).status, "not_a_number");
  assert.match(read(`5${" ".repeat(5000)}x`).message, /^Not a number: ".{1,40}"\. /);
});

test("a field takes an SI prefix in its own unit", () => {
  // The values are the doubles nearest the decimal numbers, as JavaScript's literals give them.
  const cases = [
    ["10k", 10000],
    ["4.7k", 4700],
    ["1M", 1e6],
    ["2.2G", 2.2e9],
    [" 150m ", 0.15],
    ["4.7n", 4.7e-9],
    ["33p", 33e-12],
    ["2.2u", 2.2e-6],
    ["2.2\u00b5", 2.2e-6],
    ["2.2\u03bc", 2.2e-6],
    ["4.7K", 4700],
    ["-1.5e2k", -150000],
    ["0.1e-2M", 1000],
  ];
  for (const [text, value] of cases) {
    assert.deepEqual(core.readField(text, "design"), { status: "ok", value, message: "", note: "" }, text);
  }
  // A prefix stands right after the number, alone, and is not a number by itself.
  for (const text of ["10 k", "10kk", "10kHz", "k", "1e+k", "10x"]) {
    const read = core.readField(text, "design");
    assert.equal(read.status, "not_a_number", text);
    assert.match(read.message, /^Not a number: "/, text);
  }
  // The prefix does not count towards the number's length.
  assert.equal(core.readField(`${"1".repeat(19)}k`, "design").status, "ok");
});

test("the plotted response is the core's model between whole hertz", () => {
  for (const [fc, r1] of [[1, 10000], [2.2, 4700], [-1, 10000], [0.05, 1e6]]) {
    const design = designAt(fc, r1);
    const cutoff = Math.abs(design.figures.cutoff_hz);
    const low = Math.max(1, Math.round(cutoff / 10));
    const high = Math.round(cutoff * 10);
    assert.ok(core.setFrequencies([low, high]));
    const s = core.group("samples").arrays;
    assert.deepEqual(Array.from(s.hz), [low, high]);
    // The gain is the core's amplitude itself; below the natural frequency the phase is the
    // core's phase in degrees with the lag made negative (1 kHz design: about -3 degrees at
    // 100 Hz, so the check is not empty).
    assert.equal(s.gain[0], core.magnitudeAt(low));
    assert.equal(s.gain[1], core.magnitudeAt(high));
    const degrees = (-core.phaseAt(low) * 180) / Math.PI;
    const phaseError = Math.abs(s.phase_deg[0] - degrees);
    assert.ok(phaseError <= 1e-12 * Math.max(1, Math.abs(degrees)), `${fc} kHz`);
    // The group delay is the slope of the lag against 6.28318 x frequency.
    for (const f of [cutoff / 3, cutoff, cutoff * 3]) {
      const h = f * 1e-6;
      assert.ok(core.setFrequencies([f - h, f, f + h]));
      const near = core.group("samples").arrays;
      const slope = ((near.phase_deg[0] - near.phase_deg[2]) * Math.PI) / 180 / (2 * h * 6.28318);
      const delayError = Math.abs(near.group_delay_s[1] - slope);
      assert.ok(delayError <= 1e-5 * Math.abs(slope), `${fc} kHz at ${f} Hz`);
    }
  }
  // Frequencies that are not positive and finite are refused, and change nothing.
  assert.equal(core.setFrequencies([1, 0]), false);
  assert.equal(core.setFrequencies([1, Infinity]), false);
  assert.equal(core.group("samples").arrays.hz.length, 3);
});

test("the response runs from 0 towards -180 degrees and the cutoff gain is 0.7071", () => {
  const design = designAt(1, 10000);
  const s = core.group("samples").arrays;
  const phase = s.phase_deg;
  assert.ok(phase.every((p, i) => i === 0 || p < phase[i - 1]), "phase falls");
  assert.ok(phase[0] > -1 && phase.at(-1) < -179 && phase.at(-1) > -180);
  // The plotted range: three decades each side of the cutoff without a band, the band shown
  // with a factor 3 beyond it when it lies further out.
  assert.equal(s.hz[0], 1);
  assert.equal(s.hz.at(-1), 1e6);
  designAt(1, 10000, 1e7);
  assert.equal(core.group("samples").arrays.hz.at(-1), 1e7);  // 1e4 x the cutoff at most
  designAt(1, 10000, 1e6);
  assert.equal(core.group("samples").arrays.hz.at(-1), 3e6);
  // The search fits the gain at the cutoff to 0.7071 (the objective's cutoff term), the gain
  // the module's table names.
  assert.equal(core.cutoffGain, 0.7071);
  assert.equal(core.cutoffGainText, "0.7071");
  assert.ok(Math.abs(core.magnitudeAt(design.figures.cutoff_hz) - 0.7071) < 1e-4);
});
