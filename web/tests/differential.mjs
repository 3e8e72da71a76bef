// The page's WebAssembly module against the console: its lines against the golden transcripts
// (computed by an independent implementation), and every bit of its designs, of their texts
// and of their standard parts against the native core on those designs and 200 seeded random
// ones, fields with SI prefixes among them; the fields' prefixes, the standard parts and their
// tolerance envelope against independent calculations.
//
//   node differential.mjs --wasm build-web/web-build/kestrane.wasm \
//        --native build/tests/kestrane_design_dump --golden tests/golden
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { test } from "node:test";
import { parseArgs } from "node:util";

import { doubleBits, loadCore, singleBits } from "../src/core.js";
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

// Standard-parts settings every design is rounded with: resistor and capacitor series and
// tolerances in percent; the last names no series, the one before has tolerances of 0 and
// just below 100.
const PARTS_SETTINGS = [
  ["E96", "E12", "1", "5"],
  ["E12", "E24", "5", "10"],
  ["E192", "E6", "0.1", "20"],
  ["E48", "E48", "0", "99.9"],
  ["E24", "E12", "500m", "2.5x"],
  ["E5", "E12", "1", "5"],
];

// --- One design, as the native dump tool prints it ---

// One standard-parts setting of the current design, as the dump tool prints it.
function partsDump([resistorSeries, capacitorSeries, resistorText, capacitorText]) {
  const parts = core.parts(resistorSeries, capacitorSeries);
  if (!parts) return "no series\t";
  const f = parts.figures;
  let out = "parts\t";
  out += [f.R1, f.R2, f.C1, f.C2].map((v) => `${singleBits(v)}\t`).join("");
  out += ["r1", "r2", "c1", "c2"].map((name) => `${parts.lines[name]}\t`).join("");
  out += `${f.cutoff_found}\t`;
  out += `${doubleBits(f.cutoff_hz)}\t${doubleBits(f.cutoff_error_percent)}\t`;
  out += `${parts.lines.cutoff}\t`;
  const resistor = core.readField(resistorText, "tolerance");
  const capacitor = core.readField(capacitorText, "tolerance");
  if (resistor.status !== "ok" || capacitor.status !== "ok") return `${out}-\t`;
  const spread = core.spread(resistor.value, capacitor.value);
  out += `${spread.figures.found}\t`;
  out += `${doubleBits(spread.figures.lowest_hz)}\t${doubleBits(spread.figures.highest_hz)}\t`;
  return `${out}${spread.lines.spread}\t`;
}

function moduleDump([fcText, r1Text, bandText, ...settings]) {
  const reads = [
    core.readField(fcText, "design"),
    core.readField(r1Text, "design"),
    core.readField(bandText, "band"),
  ];
  let out = "";
  for (const r of reads) out += `${r.status}\t${doubleBits(r.status === "ok" ? r.value : 0)}\t`;
  if (reads[0].status !== "ok" || reads[1].status !== "ok") return out;
  const design = core.design(reads[0].value, reads[1].value);
  if (!design.designed) return `${out}refused\t${design.refusal}`;
  const { R2, C1, C2, passband_edge_hz: edge } = design.figures;
  out += "designed\t";
  out += [R2, C1, C2, edge].map((v) => `${singleBits(v)}\t`).join("");
  const { r1, r2, c1, c2, passband } = design.lines;
  out += [r1, r2, c1, c2, passband].map((line) => `${line}\t`).join("");
  const t = design.texts;
  out += [t.R1, t.R2, t.C1, t.C2, t.passband_edge_hz].map((text) => `${text}\t`).join("");
  for (let i = 0; i + 4 <= settings.length; i += 4) out += partsDump(settings.slice(i, i + 4));
  if (reads[2].status !== "ok") return out;
  const deviation = core.deviation(reads[2].value);
  return `${out}${doubleBits(deviation.figures.half_deviation_rad)}\t${deviation.lines.deviation}`;
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

test("golden designs give the golden transcripts' six lines", () => {
  let checked = 0;
  for (const { name, designs, lines } of goldenCases()) {
    assert.equal(designs.length, lines.length, `${name}: designs and transcript disagree`);
    designs.forEach(([fc, r1, band], i) => {
      const design = core.design(
        core.readField(fc, "design").value,
        core.readField(r1, "design").value,
      );
      const deviation = core.deviation(core.readField(band, "band").value);
      const got = [...Object.values(design.lines), deviation.lines.deviation];
      assert.deepEqual(got, lines[i], `${name}, design ${i + 1}`);
      checked++;
    });
  }
  assert.ok(checked >= 12, `only ${checked} golden designs found`);
});

test("the module designs and rounds as the native core, bit for bit: golden, edge, random", () => {
  const designs = [
    ...goldenCases().flatMap((c) => c.designs),
    ...EDGE_DESIGNS,
    ...randomDesigns(200, 20240917),
  ].map((design) => [...design, ...PARTS_SETTINGS.flat()]);
  const expected = nativeDumps(designs);
  const mismatches = [];
  let designed = 0;
  let spreads = 0;
  designs.forEach((design, i) => {
    const got = moduleDump(design);
    if (got.includes("\tdesigned\t")) designed++;
    spreads += got.split("\tCutoff with ").length - 1;
    if (got !== expected[i]) {
      mismatches.push(`${design.join(" ")}\n  module: ${got}\n  native: ${expected[i]}`);
    }
  });
  const shown = mismatches.slice(0, 5).join("\n");
  assert.equal(mismatches.length, 0, `${mismatches.length} designs differ:\n${shown}`);
  assert.ok(designed >= 210, `only ${designed} of ${designs.length} designs were designed`);
  assert.ok(spreads >= 4 * 210, `only ${spreads} cutoff spreads`);
  console.log(`# ${designs.length} designs compared, ${designed} designed, all identical`);
});

// The model's gain and phase lag, written out here as an independent check of the module's:
// parts that are single-precision values (ohms, farads), f in hertz, 6.28318 and 39.478
// standing for 2 pi and its square as the model has them.
function modelGain({ R1, R2, C1, C2 }, f) {
  const s = R1 + R2;
  const re = 1 - R1 * R2 * C1 * C2 * f * f * 39.478;
  return 1 / Math.sqrt(C2 * C2 * s * s * f * f * 39.478 + re * re);
}
function modelPhaseDeg({ R1, R2, C1, C2 }, f) {
  const lag = Math.atan2(C2 * (R1 + R2) * f * 6.28318, 1 - R1 * R2 * C1 * C2 * f * f * 39.478);
  return (-lag * 180) / Math.PI;
}

// The 16 tolerance corners of a part set, each part rounded to single precision.
function corners(parts, resistorPercent, capacitorPercent) {
  const sets = [];
  for (let k = 0; k < 16; k++) {
    const at = (value, bit, percent) =>
      Math.fround(value * (k & bit ? 1 + percent / 100 : 1 - percent / 100));
    sets.push({
      R1: at(parts.R1, 1, resistorPercent),
      R2: at(parts.R2, 2, resistorPercent),
      C1: at(parts.C1, 4, capacitorPercent),
      C2: at(parts.C2, 8, capacitorPercent),
    });
  }
  return sets;
}

function partsOf(figures) {
  const { R1, R2, C1, C2 } = figures;
  return { R1, R2, C1, C2 };
}

test("the 1 kHz design's standard parts, cutoff and spread", () => {
  // python3: the root f of ((1 - P f^2 39.478)^2 + C2^2 S^2 f^2 39.478) = 1/0.7071^2 from the
  // quadratic in f^2, parts as floats (struct 'f'); the spread the least and greatest of that
  // over the 16 corners and the set itself.
  const close = (got, expected) => Math.abs(got - expected) <= 1e-12 * Math.abs(expected);
  core.design(1, 10000);
  const e96e12 = core.parts("E96", "E12");
  assert.deepEqual(partsOf(e96e12.figures), {
    R1: 10000,
    R2: 10200,
    C1: Math.fround(22e-9),
    C2: Math.fround(12e-9),
  });
  const cutoff = e96e12.figures.cutoff_hz;
  assert.ok(close(cutoff, 926.8046862813798), cutoff);
  const error = e96e12.figures.cutoff_error_percent;
  assert.ok(Math.abs(error - -7.319531371862023) < 1e-10, error);
  assert.deepEqual(e96e12.texts, {
    R1: "10 k\u03a9",
    R2: "10.2 k\u03a9",
    C1: "22 nF",
    C2: "12 nF",
    cutoff_hz: "927 Hz",
  });
  const spread = core.spread(1, 5).figures;
  assert.equal(spread.found, 1);
  assert.ok(close(spread.lowest_hz, 868.0715333288039), spread.lowest_hz);
  assert.ok(close(spread.highest_hz, 987.2606917520773), spread.highest_hz);
  // Resistors in E12 (10.25 below the midpoint 10.954 of 10 and 12), capacitors in E24
  // (23.132 nF above the midpoint 22.978 of 22 and 24; 11.109 nF below 11.489 of 11 and 12).
  const e12e24 = core.parts("E12", "E24");
  assert.deepEqual(partsOf(e12e24.figures), {
    R1: 10000,
    R2: 10000,
    C1: Math.fround(24e-9),
    C2: Math.fround(11e-9),
  });
  assert.ok(close(e12e24.figures.cutoff_hz, 1021.1722578703615), e12e24.figures.cutoff_hz);
  assert.equal(e12e24.lines.cutoff, "Achieved cutoff: 1021.17 Hz (+2.12 %)");
  // Without tolerances the spread is the set's own cutoff.
  const none = core.spread(0, 0).figures;
  assert.equal(none.lowest_hz, e12e24.figures.cutoff_hz);
  assert.equal(none.highest_hz, e12e24.figures.cutoff_hz);
  assert.equal(core.parts("E7", "E12"), null);
  assert.equal(core.spread(1, 5), null, "no spread without parts");
});

test("a tolerance is a number from 0 to below 100 percent", () => {
  for (const [text, value] of [["0", 0], [" 5 ", 5], ["99.99", 99.99], ["2.5e0", 2.5]]) {
    assert.deepEqual(core.readField(text, "tolerance"), { status: "ok", value, message: "" }, text);
  }
  for (const text of ["100", "-1", "1e400", "-0.001", "1k"]) {
    const read = core.readField(text, "tolerance");
    assert.equal(read.status, "out_of_range", text);
    assert.equal(read.message, `Not a tolerance: "${text}". Tolerances run from 0 to below 100 %.`);
  }
  assert.equal(core.readField("5%", "tolerance").status, "not_a_number");
  assert.equal(core.readField("", "tolerance").status, "empty");
  assert.equal(core.readField("1".repeat(20), "tolerance").status, "too_long");
});

test("the tolerance envelope is the least and greatest response over the corners", () => {
  const cases = [
    [1, 10000, "E96", "E12", 1, 5],
    [2.2, 4700, "E24", "E6", 5, 20],
    [-1, 10000, "E12", "E12", 2, 10],
    [0.05, 1e6, "E192", "E48", 0.1, 99],
  ];
  const near = (got, expected, scale) => Math.abs(got - expected) <= 1e-12 * scale;
  for (const [fc, r1, resistorSeries, capacitorSeries, rPercent, cPercent] of cases) {
    const label = `${fc} kHz, ${resistorSeries} ${capacitorSeries}`;
    const design = core.design(fc, r1);
    const cutoff = Math.abs(design.figures.cutoff_hz);
    // From below a hertz, where whole-hertz truncation would move the curve most, up.
    const s = core.samples(cutoff / 2000, cutoff * 100, 600);
    const parts = partsOf(core.parts(resistorSeries, capacitorSeries).figures);
    const curve = core.partsSamples();
    const envelope = core.envelope(rPercent, cPercent);
    const sets = [parts, ...corners(parts, rPercent, cPercent)];
    let widest = 0;
    s.hz.forEach((f, i) => {
      // The curve is the parts' model at the same continuous frequency; the bounds are the
      // least and greatest gain and phase of the set and its corners.
      const gains = sets.map((set) => modelGain(set, f));
      const phases = sets.map((set) => modelPhaseDeg(set, f));
      assert.ok(near(curve.gain[i], gains[0], gains[0]), `${label}: gain at ${f} Hz`);
      assert.ok(near(curve.phase_deg[i], phases[0], 1e3), `${label}: phase at ${f} Hz`);
      const at = `${label} at ${f} Hz`;
      const bounds = [
        ["gain_lowest", Math.min(...gains), gains[0]],
        ["gain_highest", Math.max(...gains), gains[0]],
        ["phase_lowest_deg", Math.min(...phases), 1e3],
        ["phase_highest_deg", Math.max(...phases), 1e3],
      ];
      for (const [name, expected, scale] of bounds) {
        assert.ok(near(envelope[name][i], expected, scale), `${name}, ${at}`);
      }
      widest = Math.max(widest, envelope.gain_highest[i] / envelope.gain_lowest[i]);
    });
    // The tolerances open the band: at 1 % and 5 % about 1 dB each way above the cutoff.
    assert.ok(20 * Math.log10(widest) > 1, `${label}: the band is ${widest} wide`);
  }
  // Without tolerances the envelope closes on the curve.
  core.design(1, 10000);
  core.samples(10, 1e4, 50);
  core.parts("E96", "E12");
  const curve = core.partsSamples();
  const closed = core.envelope(0, 0);
  assert.deepEqual(closed.gain_lowest, curve.gain);
  assert.deepEqual(closed.phase_highest_deg, curve.phase_deg);
});

test("a field holds one number read by the console's rules", () => {
  const read = (text, kind = "design") => core.readField(text, kind);
  assert.deepEqual(read(" \t-.5e+1 \r\n"), { status: "ok", value: -5, message: "" });
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
  // Fields of any length are read whole.
  assert.equal(read(`${" ".repeat(5000)}5`).value, 5);
  assert.equal(read(`5${" ".repeat(5000)}x`).status, "not_a_number");
  assert.match(read(`5${" ".repeat(5000)}x`).message, /^.{1,80}$/);
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
    ["-1.5e2k", -150000],
    ["0.1e-2M", 1000],
  ];
  for (const [text, value] of cases) {
    assert.deepEqual(core.readField(text, "design"), { status: "ok", value, message: "" }, text);
  }
  // A prefix stands right after the number, alone, and is not a number by itself.
  for (const text of ["10 k", "10K", "10kk", "10kHz", "k", "1e+k", "10x"]) {
    const read = core.readField(text, "design");
    assert.equal(read.status, "not_a_number", text);
    assert.match(read.message, /^Not a number: "/, text);
  }
  // The prefix does not count towards the number's length.
  assert.equal(core.readField(`${"1".repeat(19)}k`, "design").status, "ok");
});

test("the plotted response is the core's model between whole hertz", () => {
  for (const [fc, r1] of [[1, 10000], [2.2, 4700], [-1, 10000], [0.05, 1e6]]) {
    const design = core.design(fc, r1);
    const cutoff = Math.abs(design.figures.cutoff_hz);
    const low = Math.max(1, Math.round(cutoff / 10));
    const high = Math.round(cutoff * 10);
    const s = core.samples(low, high, 2);
    assert.deepEqual(s.hz, [low, high]);
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
      const near = core.samples(f - h, f + h, 3);
      const slope = ((near.phase_deg[0] - near.phase_deg[2]) * Math.PI) / 180 / (2 * h * 6.28318);
      const delayError = Math.abs(near.group_delay_s[1] - slope);
      assert.ok(delayError <= 1e-5 * Math.abs(slope), `${fc} kHz at ${f} Hz`);
    }
  }
});

test("the response runs from 0 towards -180 degrees and the cutoff gain is 0.7071", () => {
  const design = core.design(1, 10000);
  const s = core.samples(1, 1e5, 400);
  const phase = s.phase_deg;
  assert.ok(phase.every((p, i) => i === 0 || p < phase[i - 1]), "phase falls");
  assert.ok(phase[0] > -1 && phase.at(-1) < -179 && phase.at(-1) > -180);
  // The search fits the gain at the cutoff to 0.7071 (the objective's cutoff term), the gain
  // the module's table names.
  assert.equal(core.cutoffGain, 0.7071);
  assert.equal(core.cutoffGainText, "0.7071");
  assert.ok(Math.abs(core.magnitudeAt(design.figures.cutoff_hz) - 0.7071) < 1e-4);
});
