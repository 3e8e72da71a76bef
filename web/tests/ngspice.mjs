// ngspice, an independent circuit simulator, runs the netlists the page's module writes, and
// its results are held against the module's own figures, curves and CSV for designs from
// 200 Hz to 20 kHz and op-amps from 50 kHz to 100 GHz: the AC response over the plotted band,
// the step response, the -3 dB cutoff of the downloaded netlist, the CSV's op-amp gain from a
// hundredth of the cutoff to a thousand times it; and, against formulas, the overshoot and the
// cutoff with a near-ideal op-amp, and the cutoff at 1.01 times the needed GBW. ngspice is
// required (Debian's ngspice): without it the test fails.
//
//   node ngspice.mjs --wasm build-web/web-build/kestrane.wasm --ngspice /usr/bin/ngspice
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";
import { test } from "node:test";
import { parseArgs } from "node:util";

import { loadCore } from "../src/core.js";
import { responseCsv } from "../src/csv.js";

const { values: args } = parseArgs({
  options: { wasm: { type: "string" }, ngspice: { type: "string", default: "ngspice" } },
});
const core = await loadCore(readFileSync(args.wasm));

// Designs (cutoff in kHz, R1 in ohms), op-amps (GBW in MHz, A0 in dB, Ro in ohms) and the
// way the set is chosen.
const CASES = [
  [0.2, 47000, 0.05, 80, 100, "best"],
  [0.2, 1000, 1e5, 140, 0, "nearest"],
  [1, 10000, 10, 100, 50, "best"],
  [1, 10000, 0.2, 60, 500, "nearest"],
  [5, 2200, 1, 100, 75, "best"],
  [20, 1000, 0.05, 100, 50, "best"],
  [20, 100000, 1e5, 100, 10, "nearest"],
  [20, 4700, 10, 120, 0, "best"],
];

// Columns of numbers, one row a line, as ngspice's wrdata writes them.
function readRows(file) {
  return readFileSync(file, "utf8")
    .split("\n")
    .map((line) => line.trim().split(/\s+/).map(Number))
    .filter((row) => row.length >= 2 && row.every(Number.isFinite));
}

const decibels = (gain) => 20 * Math.log10(gain);

// Runs the netlist with a control block in place of its own (which measures and quits) that runs
// its analyses (ac over the plotted band,
// tran for the step) and two more sweeps, and returns every result: ac, tran, wide
// (cutoff/100 to 1000 x cutoff, `wideHz` the cutoff), fine (+-2 % around `fineHz`) and dc
// (near 0 Hz).
function simulate(netlist, wideHz, fineHz) {
  const dir = mkdtempSync(path.join(tmpdir(), "kestrane-ngspice-"));
  assert.ok(!dir.includes(" "), `ngspice's wrdata needs a path without spaces: ${dir}`);
  try {
    const at = (name) => path.join(dir, name);
    const control = [
      ".control",
      "set wr_singlescale",
      "set numdgt=17",
      "run",
      "setplot ac1",
      `wrdata ${at("ac.txt")} vm(out)`,
      "setplot tran1",
      `wrdata ${at("tran.txt")} v(out)`,
      `ac dec 100 ${wideHz / 100} ${wideHz * 1000}`,
      `wrdata ${at("wide.txt")} vm(out)`,
      `ac lin 4001 ${fineHz * 0.98} ${fineHz * 1.02}`,
      `wrdata ${at("fine.txt")} vm(out)`,
      `ac lin 2 ${fineHz * 1e-6} ${fineHz * 2e-6}`,
      `wrdata ${at("dc.txt")} vm(out)`,
      "quit",
      ".endc",
      ".end",
      "",
    ].join("\n");
    writeFileSync(at("filter.cir"), netlist.slice(0, netlist.lastIndexOf(".control")) + control);
    const run = spawnSync(args.ngspice, ["-b", at("filter.cir")], { encoding: "utf8" });
    assert.ok(!run.error, `ngspice (${args.ngspice}) did not run: ${run.error?.message}`);
    assert.equal(run.status, 0, `ngspice failed:\n${run.stdout}\n${run.stderr}`);
    const results = {};
    for (const name of ["ac", "tran", "wide", "fine", "dc"]) {
      results[name] = readRows(at(`${name}.txt`));
    }
    return results;
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// The first frequency of the fine sweep where the gain falls to 1/sqrt(2) of `dcGain`,
// interpolated linearly between the points around it; 0 when it does not.
function simulatedCutoff(rows, dcGain) {
  const level = dcGain / Math.SQRT2;
  for (let k = 1; k < rows.length; k++) {
    if (rows[k][1] <= level && rows[k - 1][1] > level) {
      const fraction = (rows[k - 1][1] - level) / (rows[k - 1][1] - rows[k][1]);
      return rows[k - 1][0] + fraction * (rows[k][0] - rows[k - 1][0]);
    }
  }
  return 0;
}

// Linear interpolation in `xs` (ascending) of `ys` at x, or NaN outside them.
function interpolate(xs, ys, x) {
  if (!(x >= xs[0] && x <= xs.at(-1))) return NaN;
  let high = xs.findIndex((value) => value >= x);
  if (xs[high] === x) return ys[high];
  const low = high - 1;
  return ys[low] + ((ys[high] - ys[low]) * (x - xs[low])) / (xs[high] - xs[low]);
}

// The module's op-amp gain of the current set at each frequency of `hz`, in dB, asked for in
// pieces the module takes (at most max_plot_points); then the plotted range again.
function moduleDb(hz) {
  const most = core.constants.max_plot_points;
  const db = [];
  for (let start = 0; start < hz.length; start += most) {
    assert.ok(core.setFrequencies(hz.slice(start, start + most)));
    db.push(...core.group("opamp_curve").arrays.gain_db);
  }
  core.setFrequencies([]);
  return db;
}

// The module with a design, its set of E96 and E12 parts by `method`, and an op-amp.
function useCase(fcKhz, r1, method, opamp) {
  core.setDesign(fcKhz, r1);
  core.setBand(null);
  assert.ok(core.setParts(method, "E96", "E12"));
  core.setTolerances({ resistor: 1, capacitor: 5 });
  const taken = core.setOpamp(opamp);
  core.setAmplitude(1);
  return taken;
}

// Everything the page shows and offers for one case, as the page asks the module for it.
function pageFigures([fcKhz, r1, gbwMhz, a0Db, roOhm, method]) {
  assert.ok(useCase(fcKhz, r1, method, { gbwMhz, a0Db, roOhm }));
  const design = core.group("design");
  const parts = core.group("parts");
  assert.equal(parts.figures.buildable, 1);
  const opamp = core.group("opamp");
  const step = { ...core.group("step"), arrays: core.group("step_curves").arrays };
  const samples = core.group("samples").arrays;
  const curve = core.group("opamp_curve").arrays;
  const { netlist } = core.group("files").lines;
  const csv = responseCsv(core.csvColumns(), { samples, opamp_curve: curve });
  return { design, parts, opamp, step, netlist, csv };
}

// The CSV's frequencies and opamp_gain_db column.
function csvColumn(csv, name) {
  const lines = csv.trim().split("\n").filter((line) => !line.startsWith("#"));
  const head = lines[0].split(",");
  const rows = lines.slice(1).map((line) => line.split(",").map(Number));
  const column = (heading) => rows.map((row) => row[head.indexOf(heading)]);
  return [column("frequency_hz"), column(name)];
}

test("ngspice agrees with the module's netlists, curves, step and CSV", () => {
  const report = [];
  for (const c of CASES) {
    const label = `${c[0]} kHz, R1 ${c[1]}, GBW ${c[2]} MHz, A0 ${c[3]} dB, Ro ${c[4]}, ${c[5]}`;
    const page = pageFigures(c);
    const fcOpamp = page.opamp.figures.cutoff_hz;
    assert.equal(page.opamp.figures.cutoff_found, 1, label);
    const target = page.design.figures.cutoff_hz;
    const sim = simulate(page.netlist, target, fcOpamp);
    assert.ok(sim.ac.length > 500 && sim.tran.length > 100 && sim.wide.length > 400, label);

    // AC over the plotted band, at ngspice's own frequencies.
    const acDb = moduleDb(sim.ac.map((row) => row[0]));
    const ac = Math.max(...sim.ac.map((row, i) => Math.abs(decibels(row[1]) - acDb[i])));
    assert.ok(ac < 0.01, `${label}: AC differs by ${ac} dB`);

    // The step: the module's samples against ngspice's points, past the source's ramp.
    const final = page.step.figures.final_value;
    const times = sim.tran.map((row) => row[0]);
    const values = sim.tran.map((row) => row[1]);
    const { t_s: t, model } = page.step.arrays;
    const span = t.at(-1);
    let stepError = 0;
    let compared = 0;
    t.forEach((time, i) => {
      // ngspice's last point may fall a rounding short of the span.
      const simulated = interpolate(times, values, Math.min(time, times.at(-1)));
      if (time < 1e-5 * span || time > times.at(-1) * (1 + 1e-9)) return;
      stepError = Math.max(stepError, Math.abs(simulated - model[i]));
      compared++;
    });
    assert.ok(compared >= t.length - 2, `${label}: only ${compared} step samples compared`);
    assert.ok(stepError < 1e-3 * final, `${label}: step differs by ${stepError / final} of final`);

    // The -3 dB point of the downloaded netlist against #fc-opamp.
    const simulatedFc = simulatedCutoff(sim.fine, sim.dc[0][1]);
    const fcError = Math.abs(simulatedFc / fcOpamp - 1);
    assert.ok(fcError < 5e-4, `${label}: ngspice's cutoff ${simulatedFc} Hz, #fc-opamp ${fcOpamp}`);

    // The CSV's opamp_gain_db from a hundredth of the cutoff to a thousand times it.
    const [csvHz, csvDb] = csvColumn(page.csv, "opamp_gain_db");
    const logHz = csvHz.map(Math.log);
    const wide = Math.max(
      ...sim.wide
        .filter((row) => row[0] >= target / 100 && row[0] <= target * 1000)
        .map((row) => Math.abs(decibels(row[1]) - interpolate(logHz, csvDb, Math.log(row[0])))),
    );
    assert.ok(wide < 0.1, `${label}: the CSV differs by ${wide} dB`);
    const e = (value) => value.toExponential(2);
    report.push(
      `${label}: AC ${e(ac)} dB, step ${e(stepError / final)} of final, ` +
        `cutoff ${e(fcError)}, CSV ${e(wide)} dB`,
    );
  }
  for (const line of report) console.log(`# ${line}`);
});

test("with a near-ideal op-amp the figures are the second-order circuit's", () => {
  const designs = [
    [0.2, 47000, "best"],
    [1, 10000, "nearest"],
    [20, 4700, "best"],
  ];
  for (const [fcKhz, r1, method] of designs) {
    // GBW 100 GHz, A0 300 dB, Ro 0: the op-amp moves the figures by about f0/GBW, 1e-7.
    assert.ok(useCase(fcKhz, r1, method, { gbwMhz: 1e5, a0Db: 300, roOhm: 0 }));
    const parts = core.group("parts");
    const opamp = core.group("opamp");
    const step = core.group("step");
    const zeta = 1 / (2 * parts.figures.q);
    const overshoot = 100 * Math.exp((-Math.PI * zeta) / Math.sqrt(1 - zeta * zeta));
    const label = `${fcKhz} kHz, ${method}`;
    const got = step.figures.overshoot_percent;
    assert.ok(Math.abs(got / overshoot - 1) < 1e-5, `${label}: overshoot ${got}, ${overshoot}`);
    const fc = opamp.figures.cutoff_hz;
    assert.ok(Math.abs(fc / parts.figures.cutoff_hz - 1) < 1e-5, `${label}: cutoff ${fc}`);
  }
});

test("at 1.01 times the needed GBW the cutoff is within 1 % of the ideal op-amp's", () => {
  let checked = 0;
  for (const [fcKhz, r1, gbwMhz, a0Db, roOhm, method] of CASES) {
    useCase(fcKhz, r1, method, { gbwMhz, a0Db, roOhm });
    const parts = core.group("parts");
    const needed = core.group("opamp").figures;
    if (needed.gbw_reached !== 1) continue;
    assert.ok(core.setOpamp({ gbwMhz: (1.01 * needed.needed_gbw_hz) / 1e6, a0Db, roOhm }));
    const opamp = core.group("opamp");
    const ideal = parts.figures.cutoff_hz;
    const label = `${fcKhz} kHz, A0 ${a0Db} dB, Ro ${roOhm}`;
    const fc = opamp.figures.cutoff_hz;
    assert.ok(Math.abs(fc / ideal - 1) <= 0.01, `${label}: ${fc} Hz against ${ideal}`);
    // And in ngspice, from the netlist the page offers at that GBW.
    const sim = simulate(core.group("files").lines.netlist, ideal, ideal);
    const simulated = simulatedCutoff(sim.fine, sim.dc[0][1]);
    assert.ok(Math.abs(simulated / ideal - 1) <= 0.01, `${label}: ngspice ${simulated} Hz`);
    checked++;
  }
  assert.ok(checked >= 5, `only ${checked} op-amps reach 1 %`);
});
