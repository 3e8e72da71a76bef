// Times the page's module under node: one design (search, passband edge and the result
// lines) and the whole work of a keystroke in the page (that design, the deviation, the plot
// samples, the standard parts with their range, curve and tolerance band), as medians over
// many runs.
//
//   node web/tools/time-module.mjs build-web/web-build/kestrane.wasm [fc_khz r1_ohm band_hz]
import { readFileSync } from "node:fs";
import { performance } from "node:perf_hooks";

import { loadCore } from "../src/core.js";

const [wasmPath, fc = "1", r1 = "10000", band = "150"] = process.argv.slice(2);
const core = await loadCore(readFileSync(wasmPath));
const fcKhz = Number(fc);
const r1Ohm = Number(r1);
const bandHz = Number(band);

function median(work, runs) {
  for (let i = 0; i < 20; i++) work();  // warm up the engine's compiled code
  const times = [];
  for (let i = 0; i < runs; i++) {
    const start = performance.now();
    work();
    times.push(performance.now() - start);
  }
  times.sort((a, b) => a - b);
  return times[Math.floor(runs / 2)];
}

// What the page asks of the module for one keystroke: its three fields and two tolerances
// read, the design, and the rest as main.js's computeResult asks for it.
const designOnly = median(() => core.design(fcKhz, r1Ohm), 500);
const keystroke = median(() => {
  for (const [text, kind] of [[fc, "design"], [r1, "design"], [band, "band"]]) {
    core.readField(text, kind);
  }
  core.readField("1", "tolerance");
  core.readField("5", "tolerance");
  const design = core.design(fcKhz, r1Ohm);
  core.deviation(bandHz);
  const cutoff = design.figures.cutoff_hz;
  core.samples(cutoff / 1000, cutoff * 100);
  core.parts("E96", "E12");
  core.spread(1, 5);
  core.partsSamples();
  core.envelope(1, 5);
}, 200);
console.log(`design ${fc} kHz / ${r1} ohm: ${(designOnly * 1000).toFixed(0)} us (median of 500)`);
console.log(`whole keystroke's work in the module: ${keystroke.toFixed(2)} ms (median of 200)`);
