// The page's WebAssembly module against the console: its lines against the golden transcripts
// (computed by an independent implementation), and every bit of its designs and of their
// standard parts against the native core on those designs and 200 seeded random ones; the
// standard parts and their tolerance envelope against independent calculations.
//
//   node differential.mjs --wasm build-web/web-build/kestrane.wasm \
//        --native build/tests/kestrane_design_dump --golden tests/golden
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, readdirSync, readFileSync } from "node:fs";
import path from "node:path";
import { test } from "node:test";
import { parseArgs } from "node:util";

import { doubleBits, loadCore, singleBits } from "../src/core.js";

const { values: args } = parseArgs({
  options: {
    wasm: { type: "string" },
    native: { type: "string" },
    golden: { type: "string" },
  },
});

const core = await loadCore(readFileSync(args.wasm));

// --- Designs ---

// The designs of a golden input: its numbers four at a time (cutoff, R1, band, repeat answer).
function goldenDesigns(inputText) {
  const tokens = inputText.split(/\s+/).filter((t) => t !== "");
  const designs = [];
  for (let i = 0; i + 2 < tokens.length; i += 4) {
    designs.push([tokens[i], tokens[i + 1], tokens[i + 2]]);
  }
  return designs;
}

// The six result lines of each design in a golden transcript, in order.
function goldenLines(outputText) {
  const pick = (pattern) => [...outputText.matchAll(pattern)].map((m) => m[1]);
  const columns = [
    pick(/^(R1, Ohm: .*)$/gm),
    pick(/^(R2, Ohm: .*)$/gm),
    pick(/^(C1, nF: .*)$/gm),
    pick(/^(C2, nF: .*)$/gm),
    pick(/^(Passband, Hz: .*)$/gm),
    pick(/(\+\/-\S+ radian\.)$/gm),
  ];
  return columns[0].map((_, i) => columns.map((column) => column[i]));
}

function goldenCases() {
  return readdirSync(args.golden)
    .filter((name) => name.endsWith(".in"))
    .sort()
    .map((name) => {
      const base = path.join(args.golden, name.slice(0, -3));
      return {
        name,
        designs: goldenDesigns(readFileSync(`${base}.in`, "utf8")),
        lines: goldenLines(readFileSync(`${base}.out`, "utf8")),
      };
    });
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

// A number text for 10^x with a random count of digits, in plain or exponent notation and a
// quarter of the time negative; at most 13 characters.
function numberText(random, lowDecade, highDecade) {
  const value = 10 ** (lowDecade + random() * (highDecade - lowDecade));
  const digits = 1 + Math.floor(random() * 7);
  let text = random() < 0.5 ? value.toPrecision(digits) : value.toExponential(digits - 1);
  if (random() < 0.25) text = `-${text}`;
  return text;
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
];

// Standard-parts settings every design is rounded with: resistor and capacitor series and
// tolerances in percent; the last names no series, the one before has tolerances of 0 and
// just below 100.
const PARTS_SETTINGS = [
  ["E96", "E12", "1", "5"],
  ["E12", "E24", "5", "10"],
  ["E192", "E6", "0.1", "20"],
  ["E48", "E48", "0", "99.9"],
  ["E5", "E12", "1", "5"],
];

// --- One design, as the native dump tool prints it ---

// One standard-parts setting of the current design, as the dump tool prints it.
function partsDump([resistorSeries, capacitorSeries, resistorText, capacitorText]) {
  const parts = core.parts(resistorSeries, capacitorSeries);
  if (!parts) return "no series\t";
  const { R1, R2, C1, C2 } = parts.components;
  let out = "parts\t";
  out += [R1, R2, C1, C2].map((v) => `${singleBits(v)}\t`).join("");
  out += ["r1", "r2", "c1", "c2"].map((name) => `${parts.lines[name]}\t`).join("");
  out += `${parts.cutoffFound ? 1 : 0}\t`;
  out += `${doubleBits(parts.cutoffHz)}\t${doubleBits(parts.errorPercent)}\t`;
  out += `${parts.lines.cutoff}\t`;
  const resistor = core.readTolerance(resistorText);
  const capacitor = core.readTolerance(capacitorText);
  if (resistor.status !== "ok" || capacitor.status !== "ok") return `${out}-\t`;
  const spread = core.spread(resistor.value, capacitor.value);
  out += `${spread.found ? 1 : 0}\t`;
  out += `${doubleBits(spread.lowestHz)}\t${doubleBits(spread.highestHz)}\t`;
  return `${out}${spread.line}\t`;
}

function moduleDump([fcText, r1Text, bandText, ...settings]) {
  const reads = [
    core.readField(fcText, core.designNumberChars),
    core.readField(r1Text, core.designNumberChars),
    core.readField(bandText, core.bandNumberChars),
  ];
  let out = "";
  for (const r of reads) out += `${r.status}\t${doubleBits(r.status === "ok" ? r.value : 0)}\t`;
  if (reads[0].status !== "ok" || reads[1].status !== "ok") return out;
  const design = core.design(reads[0].value, reads[1].value);
  if (!design.designed) return `${out}refused\t${design.refusal}`;
  const { R2, C1, C2 } = design.components;
  out += "designed\t";
  out += [R2, C1, C2, design.edgeHz].map((v) => `${singleBits(v)}\t`).join("");
  const { r1, r2, c1, c2, passband } = design.lines;
  out += [r1, r2, c1, c2, passband].map((line) => `${line}\t`).join("");
  for (let i = 0; i + 4 <= settings.length; i += 4) out += partsDump(settings.slice(i, i + 4));
  if (reads[2].status !== "ok") return out;
  const { half, line } = core.halfDeviation(reads[2].value);
  return `${out}${doubleBits(half)}\t${line}`;
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
      const design = core.design(core.readField(fc, 19).value, core.readField(r1, 19).value);
      const deviation = core.halfDeviation(core.readField(band, 27).value);
      const got = [...Object.values(design.lines), deviation.line];
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

// The model's gain, written out here as an independent check of the module's: parts that are
// single-precision values (ohms, farads), f in hertz, 39.478 standing for (2 pi)^2.
function modelGain({ R1, R2, C1, C2 }, f) {
  const s = R1 + R2;
  const re = 1 - R1 * R2 * C1 * C2 * f * f * 39.478;
  return 1 / Math.sqrt(C2 * C2 * s * s * f * f * 39.478 + re * re);
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

test("the 1 kHz design's standard parts, cutoff and spread", () => {
  // python3: the root f of ((1 - P f^2 39.478)^2 + C2^2 S^2 f^2 39.478) = 1/0.7071^2 from the
  // quadratic in f^2, parts as floats (struct 'f'); the spread the least and greatest of that
  // over the 16 corners and the set itself.
  const close = (got, expected) => Math.abs(got - expected) <= 1e-12 * Math.abs(expected);
  core.design(1, 10000);
  const e96e12 = core.parts("E96", "E12");
  assert.deepEqual(e96e12.components, {
    R1: 10000,
    R2: 10200,
    C1: Math.fround(22e-9),
    C2: Math.fround(12e-9),
  });
  assert.ok(close(e96e12.cutoffHz, 926.8046862813798), e96e12.cutoffHz);
  assert.ok(Math.abs(e96e12.errorPercent - -7.319531371862023) < 1e-10, e96e12.errorPercent);
  const spread = core.spread(1, 5);
  assert.ok(spread.found);
  assert.ok(close(spread.lowestHz, 868.0715333288039), spread.lowestHz);
  assert.ok(close(spread.highestHz, 987.2606917520773), spread.highestHz);
  // Resistors in E12 (10.25 below the midpoint 10.954 of 10 and 12), capacitors in E24
  // (23.132 nF above the midpoint 22.978 of 22 and 24; 11.109 nF below 11.489 of 11 and 12).
  const e12e24 = core.parts("E12", "E24");
  assert.deepEqual(e12e24.components, {
    R1: 10000,
    R2: 10000,
    C1: Math.fround(24e-9),
    C2: Math.fround(11e-9),
  });
  assert.ok(close(e12e24.cutoffHz, 1021.1722578703615), e12e24.cutoffHz);
  assert.equal(e12e24.lines.cutoff, "Achieved cutoff: 1021.17 Hz (+2.12 %)");
  // Without tolerances the spread is the set's own cutoff.
  const none = core.spread(0, 0);
  assert.equal(none.lowestHz, e12e24.cutoffHz);
  assert.equal(none.highestHz, e12e24.cutoffHz);
  assert.equal(core.parts("E7", "E12"), null);
});

test("a tolerance is a number from 0 to below 100 percent", () => {
  for (const [text, value] of [["0", 0], [" 5 ", 5], ["99.99", 99.99], ["2.5e0", 2.5]]) {
    assert.deepEqual(core.readTolerance(text), { status: "ok", value, message: "" }, text);
  }
  for (const text of ["100", "-1", "1e400", "-0.001"]) {
    const read = core.readTolerance(text);
    assert.equal(read.status, "out_of_range", text);
    assert.equal(read.message, `Not a tolerance: "${text}". Tolerances run from 0 to below 100 %.`);
  }
  assert.equal(core.readTolerance("5%").status, "not_a_number");
  assert.equal(core.readTolerance("").status, "empty");
  assert.equal(core.readTolerance("1".repeat(20)).status, "too_long");
});

test("the tolerance envelope holds the standard parts' curve at the plotted frequencies", () => {
  const cases = [
    [1, 10000, "E96", "E12", 1, 5],
    [2.2, 4700, "E24", "E6", 5, 20],
    [-1, 10000, "E12", "E12", 2, 10],
    [0.05, 1e6, "E192", "E48", 0.1, 99],
  ];
  for (const [fc, r1, resistorSeries, capacitorSeries, rPercent, cPercent] of cases) {
    const label = `${fc} kHz, ${resistorSeries} ${capacitorSeries}`;
    const design = core.design(fc, r1);
    const cutoff = Math.abs(design.cutoffHz);
    // From below a hertz, where whole-hertz truncation would move the curve most, up.
    const s = core.samples(cutoff / 2000, cutoff * 100, 600);
    const parts = core.parts(resistorSeries, capacitorSeries);
    const curve = core.partsSamples();
    const envelope = core.envelope(rPercent, cPercent);
    const sets = corners(parts.components, rPercent, cPercent);
    for (const key of ["gain", "phaseDeg", "groupDelayS"]) {
      assert.equal(curve[key].length, s.hz.length);
      curve[key].forEach((value, i) => {
        const { lowest, highest } = envelope[key];
        assert.ok(lowest[i] <= value && value <= highest[i], `${label}: ${key} at ${s.hz[i]} Hz`);
      });
    }
    s.hz.forEach((f, i) => {
      // The curve is the parts' model at the same continuous frequency; the gain bounds the
      // least and greatest gain of the corners and the set.
      const own = modelGain(parts.components, f);
      const gains = [own, ...sets.map((set) => modelGain(set, f))];
      const near = (got, expected) => Math.abs(got - expected) <= 1e-13 * expected;
      assert.ok(near(curve.gain[i], own), `${label}: gain at ${f} Hz`);
      assert.ok(near(envelope.gain.lowest[i], Math.min(...gains)), `${label}: lowest at ${f} Hz`);
      assert.ok(near(envelope.gain.highest[i], Math.max(...gains)), `${label}: highest at ${f}`);
    });
  }
  // Without tolerances the envelope closes on the curve.
  core.design(1, 10000);
  core.samples(10, 1e4, 50);
  core.parts("E96", "E12");
  const curve = core.partsSamples();
  const closed = core.envelope(0, 0);
  assert.deepEqual(closed.gain.lowest, curve.gain);
  assert.deepEqual(closed.phaseDeg.highest, curve.phaseDeg);
});

test("a field holds one number read by the console's rules", () => {
  assert.deepEqual(core.readField(" \t-.5e+1 \r\n", 19), { status: "ok", value: -5, message: "" });
  assert.equal(core.readField("4.7e", 19).status, "not_a_number");  // the marker is left over
  const after = core.readField("12abc", 19);
  assert.equal(after.status, "not_a_number");
  assert.match(after.message, /"12abc"/);
  const long = core.readField("1234567890.123456789", 19);  // 20 characters
  assert.equal(long.status, "too_long");
  assert.match(long.message, /19/);
  assert.equal(core.readField("1234567890.12345678", 19).status, "ok");
  assert.equal(core.readField("   ", 19).status, "empty");
  assert.equal(core.readField("1,5", 19).status, "not_a_number");
  // Fields of any length are read whole.
  assert.equal(core.readField(`${" ".repeat(5000)}5`, 19).value, 5);
  assert.equal(core.readField(`5${" ".repeat(5000)}x`, 19).status, "not_a_number");
  assert.match(core.readField(`5${" ".repeat(5000)}x`, 19).message, /^.{1,80}$/);
});

test("the plotted response is the core's model between whole hertz", () => {
  for (const [fc, r1] of [[1, 10000], [2.2, 4700], [-1, 10000], [0.05, 1e6]]) {
    const design = core.design(fc, r1);
    const cutoff = Math.abs(design.cutoffHz);
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
    const phaseError = Math.abs(s.phaseDeg[0] - degrees);
    assert.ok(phaseError <= 1e-12 * Math.max(1, Math.abs(degrees)), `${fc} kHz`);
    // The group delay is the slope of the lag against 6.28318 x frequency.
    for (const f of [cutoff / 3, cutoff, cutoff * 3]) {
      const h = f * 1e-6;
      const near = core.samples(f - h, f + h, 3);
      const slope = ((near.phaseDeg[0] - near.phaseDeg[2]) * Math.PI) / 180 / (2 * h * 6.28318);
      const delayError = Math.abs(near.groupDelayS[1] - slope);
      assert.ok(delayError <= 1e-5 * Math.abs(slope), `${fc} kHz at ${f} Hz`);
    }
  }
});

test("the response runs from 0 towards -180 degrees and the cutoff gain is 0.7071", () => {
  const design = core.design(1, 10000);
  const s = core.samples(1, 1e5, 400);
  assert.ok(s.phaseDeg.every((p, i) => i === 0 || p < s.phaseDeg[i - 1]), "phase falls");
  assert.ok(s.phaseDeg[0] > -1 && s.phaseDeg.at(-1) < -179 && s.phaseDeg.at(-1) > -180);
  // The search fits the gain at the cutoff to 0.7071 (the objective's cutoff term).
  assert.ok(Math.abs(core.magnitudeAt(design.cutoffHz) - 0.7071) < 1e-4);
});
