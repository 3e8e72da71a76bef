// The page's WebAssembly module against the console: its lines against the golden transcripts
// (computed by an independent implementation), and every bit of its designs against the
// native core on those designs and 200 seeded random ones.
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

// --- One design, as the native dump tool prints it ---

function moduleDump([fcText, r1Text, bandText]) {
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

test("the module designs bit for bit as the native core: golden, edge, 200 random", () => {
  const designs = [
    ...goldenCases().flatMap((c) => c.designs),
    ...EDGE_DESIGNS,
    ...randomDesigns(200, 20240917),
  ];
  const expected = nativeDumps(designs);
  const mismatches = [];
  let designed = 0;
  designs.forEach((design, i) => {
    const got = moduleDump(design);
    if (got.includes("\tdesigned\t")) designed++;
    if (got !== expected[i]) {
      mismatches.push(`${design.join(" ")}\n  module: ${got}\n  native: ${expected[i]}`);
    }
  });
  const shown = mismatches.slice(0, 5).join("\n");
  assert.equal(mismatches.length, 0, `${mismatches.length} designs differ:\n${shown}`);
  assert.ok(designed >= 210, `only ${designed} of ${designs.length} designs were designed`);
  console.log(`# ${designs.length} designs compared, ${designed} designed, all identical`);
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
