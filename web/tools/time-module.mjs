// Times the page's module under node: the whole work of a keystroke as the page asks for it
// (main.js: every field read, every setting given, and every group it shows read), for the
// search's single stage and for cascades, with everything made again (a keystroke in R1) and
// with only the attenuation's frequency changed; medians over many runs.
//
//   node web/tools/time-module.mjs build-web/web-build/kestrane.wasm
import { readFileSync } from "node:fs";
import { performance } from "node:perf_hooks";

import { loadCore } from "../src/core.js";

const [wasmPath] = process.argv.slice(2);
const core = await loadCore(readFileSync(wasmPath));

function median(work, runs) {
  for (let i = 0; i < 10; i++) work(); // warm up the engine's compiled code
  const times = [];
  for (let i = 0; i < runs; i++) {
    const start = performance.now();
    work();
    times.push(performance.now() - start);
  }
  times.sort((a, b) => a - b);
  return { median: times[Math.floor(runs / 2)], max: times.at(-1) };
}

// The fields a keystroke reads, as the page's state.js reads them.
const FIELDS = [
  ["1", "design"],
  ["10000", "design"],
  ["150", "band"],
  ["1", "tolerance"],
  ["1", "tolerance"],
  ["10", "gbw"],
  ["100", "gain_db"],
  ["50", "output_ohm"],
  ["1", "amplitude"],
  ["24000", "frequency"],
  ["10", "order"],
  ["0.5", "ripple_db"],
  ["", "edge_khz"],
  ["", "loss_db"],
  ["", "edge_khz"],
  ["", "loss_db"],
];

// The groups the page reads for a result, as computeResult and render read them.
const GROUPS = [
  "design",
  "cascade",
  "stages",
  "parts",
  "deviation",
  "samples",
  "ranges",
  "opamp",
  "stage_opamp",
  "attenuation",
  "step",
  "step_curves",
  "files",
  "circuit",
  "bands",
  "opamp_curve",
  "stage_curves",
];

// One keystroke: the fields read, every setting given, every group read. `r1` changes the
// design (everything is made again) when it differs from the last keystroke's.
function keystroke(cascade, r1, attenuationHz = 24000) {
  for (const [text, kind] of FIELDS) core.readField(text, kind);
  core.setCascade(cascade);
  core.setSpecificationKhz(null);
  core.setCompensate(false);
  core.setDesign(1, r1);
  core.setBand(150);
  core.setParts("best", "E192", "E192");
  core.setTolerances({ resistor: 1, capacitor: 1 });
  core.setOpamp({ gbwMhz: 10, a0Db: 100, roOhm: 50 });
  core.setAmplitude(1);
  core.setAttenuation(attenuationHz);
  for (const group of GROUPS) core.group(group);
}

const FILTERS = [
  ["the search", null],
  ["Butterworth, order 4", { response: "butterworth", order: 4, rippleDb: NaN, edge: "-3db" }],
  ["Bessel, order 8", { response: "bessel", order: 8, rippleDb: NaN, edge: "-3db" }],
  ["Chebyshev 0.5 dB, order 10", { response: "chebyshev", order: 10, rippleDb: 0.5, edge: "-3db" }],
];

console.log("A keystroke in the module, E192 resistors and capacitors at 1 %, ranges, yield,");
console.log("the op-amp and the step, every group the page shows read (median and max of 100):");
for (const [name, cascade] of FILTERS) {
  let r1 = 10000;
  const whole = median(() => keystroke(cascade, (r1 = r1 === 10000 ? 10001 : 10000)), 100);
  let hz = 24000;
  const attenuation = median(() => keystroke(cascade, 10000, (hz = hz === 24000 ? 24001 : 24000)), 100);
  const ms = (t) => `${t.median.toFixed(2)} ms (max ${t.max.toFixed(2)})`;
  console.log(`  ${name}: in R1 ${ms(whole)}; in the attenuation's frequency ${ms(attenuation)}`);
}
