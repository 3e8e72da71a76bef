// Times the page's module under node: one design (search, passband edge and the result
// lines), each of the page's steps after it, and the whole work of a keystroke in the page as
// main.js's computeResult asks for it: a keystroke in the cutoff or R1 (everything made
// again), in the band (the deviation, the samples and the curves at them) and in the
// attenuation's frequency (that figure alone); medians over many runs.
//
//   node web/tools/time-module.mjs build-web/web-build/kestrane.wasm [fc_khz r1_ohm band_hz]
import { readFileSync } from "node:fs";
import { performance } from "node:perf_hooks";

import { loadCore } from "../src/core.js";
import { plotRange } from "../src/layout.js";

const [wasmPath, fc = "1", r1 = "10000", band = "150"] = process.argv.slice(2);
const core = await loadCore(readFileSync(wasmPath));
const fcKhz = Number(fc);
const r1Ohm = Number(r1);
const bandHz = Number(band);

function median(work, runs) {
  for (let i = 0; i < 20; i++) work(); // warm up the engine's compiled code
  const times = [];
  for (let i = 0; i < runs; i++) {
    const start = performance.now();
    work();
    times.push(performance.now() - start);
  }
  times.sort((a, b) => a - b);
  return times[Math.floor(runs / 2)];
}

const FIELDS = [
  [fc, "design"],
  [r1, "design"],
  [band, "band"],
  ["1", "tolerance"],
  ["5", "tolerance"],
  ["10", "gbw"],
  ["100", "gain_db"],
  ["50", "output_ohm"],
  ["1", "amplitude"],
  ["24000", "frequency"],
];

function readFields() {
  for (const [text, kind] of FIELDS) core.readField(text, kind);
}

// The steps after the design, as computeResult runs them when everything changed.
const STEPS = [
  ["deviation", () => core.deviation(bandHz)],
  ["samples", () => core.samples(...Object.values(plotRange(fcKhz * 1000, bandHz)))],
  ["best set", () => core.parts("best", "E96", "E12")],
  ["ranges and yield", () => core.ranges(1, 5)],
  ["op-amp", () => core.opamp(10, 100, 50)],
  ["op-amp figures", () => core.opampFigures(1)],
  ["attenuation", () => core.attenuation(24000)],
  ["step response", () => core.step(400)],
  ["files", () => core.files()],
  ["set's curve", () => core.circuitSamples()],
  ["tolerance band", () => core.bands()],
  ["op-amp curve", () => core.opampSamples()],
];

const designOnly = median(() => core.design(fcKhz, r1Ohm), 500);
console.log(`design ${fc} kHz / ${r1} ohm: ${(designOnly * 1000).toFixed(0)} us (median of 500)`);
for (let i = 0; i < STEPS.length; i++) {
  const [name, step] = STEPS[i];
  // Each step after those it rests on, made once.
  core.design(fcKhz, r1Ohm);
  for (const [, earlier] of STEPS.slice(0, i)) earlier();
  const time = median(step, 200);
  console.log(`  ${name}: ${(time * 1000).toFixed(0)} us`);
}
const whole = median(() => {
  readFields();
  core.design(fcKhz, r1Ohm);
  for (const [, step] of STEPS) step();
}, 200);
const bandKeystroke = median(() => {
  readFields();
  core.deviation(bandHz);
  STEPS[1][1]();
  for (const [, step] of STEPS.slice(-4)) step();
}, 200);
const attenuationKeystroke = median(() => {
  readFields();
  core.attenuation(24000);
}, 200);
console.log(`a keystroke in the cutoff or R1, all of it: ${whole.toFixed(2)} ms (median of 200)`);
console.log(`a keystroke in the band: ${bandKeystroke.toFixed(2)} ms`);
console.log(`a keystroke in the attenuation's frequency: ${attenuationKeystroke.toFixed(3)} ms`);
