// The page's pure functions under node's test runner: the address, the file name and CSV of a
// download, the plots' grid and mark names, and what the page shows while the
// fields are typed. Expected values are worked out by hand in the comments.
//
//   node --test web/tests/unit.test.mjs
import assert from "node:assert/strict";
import { mock, test } from "node:test";

import { csvName, responseCsv } from "../src/csv.js";
import { frequencySplits, rowCount, stackLabels } from "../src/layout.js";
import {
  cascadeSchematicSvgs,
  schematicDescription,
  schematicSvg,
  stageParts,
} from "../src/schematic.js";
import { stageCells } from "../src/stages.js";
import { queryFromTexts, switchValue, textsFromQuery, useModuleDefaults } from "../src/state.js";
import {
  choiceMessage,
  createSettler,
  filterPlan,
  resultPlan,
  seriesMessage,
  throttle,
} from "../src/view.js";

// The settings' defaults come from the module's constants; these stand in for them.
useModuleDefaults({
  default_method: "best",
  default_resistor_series: "E96",
  default_capacitor_series: "E12",
  default_resistor_tolerance: 1,
  default_capacitor_tolerance: 5,
  default_gbw_mhz: 10,
  default_a0_db: 100,
  default_ro_ohm: 50,
  default_amplitude_v: 1,
  default_attenuation_hz: 24000,
});

const DEFAULTS = {
  fc: "1",
  r1: "10000",
  band: "150",
  pm: "best",
  sr: "E96",
  sc: "E12",
  tr: "1",
  tc: "5",
  gbw: "10",
  a0: "100",
  ro: "50",
  vpk: "1",
  fa: "24000",
  resp: "search",
  ord: "4",
  rip: "",
  re: "0",
  fp: "",
  ap: "",
  fs: "",
  as: "",
  st: "0",
  comp: "0",
};

test("textsFromQuery: the first of repeated names, escapes, plus signs and defaults", () => {
  assert.deepEqual(textsFromQuery(""), { ...DEFAULTS, parts: "1" });
  const texts = textsFromQuery("?fc=2.2&fc=9&r1=4%2C7k&band=1e+3&sr=E24&junk&tr=");
  assert.equal(texts.fc, "2.2", "the first fc counts");
  assert.equal(texts.r1, "4,7k");
  assert.equal(texts.band, "1e+3", "a plus sign stays a plus sign");
  assert.equal(texts.sr, "E24");
  assert.equal(texts.tr, "", "a name with an empty value is an empty field");
  assert.equal(texts.sc, "E12");
  // A malformed escape is taken as it stands, and spoils neither its name nor the others.
  const malformed = textsFromQuery("?fc=%E0%A4%A&r1=%&band=%zz1&f%c=3&tc=%41");
  assert.equal(malformed.fc, "%E0%A4%A");
  assert.equal(malformed.r1, "%");
  assert.equal(malformed.band, "%zz1");
  assert.equal(malformed.tc, "A");
  // A name given without "=" is an empty text.
  assert.equal(textsFromQuery("?band").band, "");
});

test("queryFromTexts: the fields always, the settings only away from their defaults", () => {
  assert.equal(queryFromTexts({ ...DEFAULTS, parts: "1" }), "?fc=1&r1=10000&band=150");
  const query = queryFromTexts({ ...DEFAULTS, r1: "4.7k", band: "1e+3", sc: "E24", parts: "0" });
  assert.equal(query, "?fc=1&r1=4.7k&band=1e%2B3&sc=E24&parts=0");
  // What the query says comes back from it.
  assert.equal(textsFromQuery(query).band, "1e+3");
  // The method and the op-amp's fields join it away from their defaults.
  const bench = queryFromTexts({ ...DEFAULTS, pm: "nearest", gbw: "0.2", fa: "48k", parts: "1" });
  assert.equal(bench, "?fc=1&r1=10000&band=150&pm=nearest&gbw=0.2&fa=48k");
  const back = { ...DEFAULTS, pm: "nearest", gbw: "0.2", fa: "48k", parts: "1" };
  assert.deepEqual(textsFromQuery(bench), back);
});

test("queryFromTexts keeps the filter's settings, and a link gives them back", () => {
  const filter = { ...DEFAULTS, resp: "chebyshev", ord: "5", rip: "0.5", re: "1", parts: "1" };
  const spec = { ...filter, fp: "1", ap: "1", fs: "3", as: "40", st: "1", comp: "1" };
  const query = queryFromTexts(spec);
  assert.equal(
    query,
    "?fc=1&r1=10000&band=150&resp=chebyshev&ord=5&rip=0.5&re=1&fp=1&ap=1&fs=3&as=40&st=1&comp=1",
  );
  assert.deepEqual(textsFromQuery(query), spec);
});

test("switchValue reads on and off words in either case, and nothing else", () => {
  for (const word of ["1", "true", "ON", "yes"]) assert.equal(switchValue(word), "1", word);
  for (const word of ["0", "False", "off", "no", ""]) assert.equal(switchValue(word), "0", word);
  for (const word of ["2", "maybe", "offf"]) assert.equal(switchValue(word), null, word);
});

test("csvName keeps letters, digits, point, plus and minus", () => {
  assert.equal(
    csvName({ fc: "1", r1: "10000", resp: "linkwitz-riley" }, ".cir"),
    "kestrane-linkwitz-riley-fc1kHz-r110000ohm.cir",
  );
  assert.equal(csvName({ fc: "1", r1: "10000", resp: "search" }), "kestrane-fc1kHz-r110000ohm.csv");
  assert.equal(csvName({ fc: "1", r1: "10000" }), "kestrane-fc1kHz-r110000ohm.csv");
  assert.equal(csvName({ fc: " 4.7e+3 ", r1: "2.2µ" }), "kestrane-fc4.7e+3kHz-r12.2-ohm.csv");
  assert.equal(csvName({ fc: "", r1: "a/b\\c" }), "kestrane-fcnonekHz-r1a-b-cohm.csv");
  assert.equal(csvName({ fc: "1", r1: "10k" }, ".cir"), "kestrane-fc1kHz-r110kohm.cir");
});

test("responseCsv: the table's columns in order, missing groups left out", () => {
  const columns = [
    { group: "samples", name: "hz", csv: "frequency_hz" },
    { group: "samples", name: "gain_db", csv: "gain_db" },
    { group: "circuit", name: "gain_db", csv: "parts_gain_db" },
    { group: "bands", name: "gain_lowest", csv: "parts_gain_lowest" },
  ];
  const samples = { hz: [10, 100], gain_db: [0, -20] };
  // A value that is not finite (a gain of 0 is minus infinity dB) is an empty field.
  assert.equal(
    responseCsv(columns, { samples, circuit: { gain_db: [-6.25, -Infinity] }, bands: null }),
    "frequency_hz,gain_db,parts_gain_db\n10,0,-6.25\n100,-20,\n",
  );
  // A stage's curve that is empty (a stage the cascade does not have) has no column.
  const stages = [{ group: "stage_curves", name: "stage1_gain_db", csv: "stage1_gain_db" }];
  assert.equal(
    responseCsv([...columns.slice(0, 1), ...stages], {
      samples,
      stage_curves: { stage1_gain_db: new Float64Array() },
    }),
    "frequency_hz\n10\n100\n",
  );
  // What the response is of comes first, each comment after "# ".
  assert.equal(
    responseCsv(columns, { samples }, ["Kestrane response.", "Q: 0.708"]),
    "# Kestrane response.\n# Q: 0.708\nfrequency_hz,gain_db\n10,0\n100,-20\n",
  );
});

test("frequencySplits: 1 to 9 per decade inside the range, names at the decades", () => {
  const splits = frequencySplits(1, 1e5);
  assert.equal(splits.length, 5 * 9 + 1); // 1 to 9 in each of five decades, then 100 kHz
  assert.deepEqual(splits.slice(0, 3), [
    { hz: 1, labelled: true },
    { hz: 2, labelled: false },
    { hz: 3, labelled: false },
  ]);
  assert.deepEqual(
    splits.filter((s) => s.labelled).map((s) => s.hz),
    [1, 10, 100, 1000, 10000, 100000],
  );
  // The axis ends at the data: nothing outside 2.2 Hz to 220 kHz.
  const inside = frequencySplits(2.2, 2.2e5);
  assert.equal(inside[0].hz, 3);
  assert.equal(inside.at(-1).hz, 2e5);
  // Below 1 Hz the splits are the exact decimal fractions.
  assert.deepEqual(
    frequencySplits(0.25, 0.5).map((s) => s.hz),
    [0.3, 0.4, 0.5],
  );
  // Less than two decades: 2 and 5 are named too (300 Hz to 3 kHz: 500, 1000, 2000).
  const narrow = frequencySplits(300, 3000);
  assert.deepEqual(
    narrow.filter((s) => s.labelled).map((s) => s.hz),
    [500, 1000, 2000],
  );
});

test("stackLabels: names beside their marks, in rows, never overlapping", () => {
  // Cutoff at 300 px; the passband edge 20 px left of it does not fit to its right (that
  // would cover the cutoff's name), so it stands left; flat top 40 px left fits in no place
  // of row 0 (right of it runs into the edge's name, left of it too) and goes up a row.
  const placed = stackLabels(
    [
      { x: 300, width: 40 },
      { x: 280, width: 80 },
      { x: 260, width: 50 },
    ],
    600,
  );
  assert.deepEqual(placed, [
    { left: 304, row: 0 },
    { left: 196, row: 0 },
    { left: 264, row: 1 },
  ]);
  assert.equal(rowCount(placed), 2);
  // A name at the right edge stands left of its mark; a name too wide for the plot at 0.
  assert.deepEqual(stackLabels([{ x: 590, width: 40 }], 600), [{ left: 546, row: 0 }]);
  assert.deepEqual(stackLabels([{ x: 50, width: 900 }], 600), [{ left: 0, row: 0 }]);
  assert.equal(rowCount([]), 0);
});

test("stackLabels: random marks on a phone-wide plot keep their gaps", () => {
  let seed = 7;
  const random = () => ((seed = (seed * 16807) % 2147483647) / 2147483647);
  for (let trial = 0; trial < 200; trial++) {
    const labels = Array.from({ length: 4 }, () => ({
      x: random() * 280,
      width: 25 + random() * 70,
    }));
    const placed = stackLabels(labels, 280);
    placed.forEach((a, i) => {
      assert.ok(a.left >= 0 && a.left + labels[i].width <= 280, "inside the plot");
      placed.forEach((b, j) => {
        if (j <= i || a.row !== b.row) return;
        const apart =
          a.left + labels[i].width + 6 <= b.left || b.left + labels[j].width + 6 <= a.left;
        assert.ok(apart, `trial ${trial}: names ${i} and ${j} overlap`);
      });
    });
  }
});

const ok = { status: "ok" };
const reads = (over = {}) => ({
  fc: ok,
  r1: ok,
  band: ok,
  tr: ok,
  tc: ok,
  gbw: ok,
  a0: ok,
  ro: ok,
  vpk: ok,
  fa: ok,
  ...over,
});

test("resultPlan: whole results at once, and what stands of a part", () => {
  const made = { designed: true };
  assert.deepEqual(resultPlan(reads(), made), {
    complete: true,
    design: true,
    deviation: true,
    spread: true,
    opamp: true,
    amplitude: true,
    attenuation: true,
    note: "",
  });
  // Typing 0.05 passes the cutoff 0, which the console refuses: not complete, no design.
  const refused = { designed: false, refusal: "Cannot design: the cutoff is 0." };
  assert.deepEqual(resultPlan(reads(), refused), {
    complete: false,
    design: false,
    deviation: false,
    spread: false,
    opamp: false,
    amplitude: false,
    attenuation: false,
    note: "Cannot design: the cutoff is 0.",
  });
  const notNumber = resultPlan(reads({ fc: { status: "not_a_number" } }), null);
  assert.equal(notNumber.complete, false);
  assert.equal(notNumber.note, "Correct the marked field to design.");
  const empty = resultPlan(reads({ r1: { status: "empty" } }), null);
  assert.equal(empty.note, "Type a cutoff and R1 to design.");
  // A bad band or tolerance keeps the design and drops only what needs it.
  const badBand = resultPlan(reads({ band: { status: "too_long" } }), made);
  const { complete, design, deviation, spread } = badBand;
  assert.deepEqual([complete, design, deviation, spread], [false, true, false, true]);
  assert.match(badBand.note, /band/);
  const emptyTolerance = resultPlan(reads({ tc: { status: "empty" } }), made);
  assert.deepEqual([emptyTolerance.deviation, emptyTolerance.spread], [true, false]);
  assert.equal(emptyTolerance.note, "Type both tolerances to see the spread of the cutoff.");
  const badTolerance = resultPlan(reads({ tr: { status: "out_of_range" } }), made);
  assert.match(badTolerance.note, /^Correct the tolerance/);
  // A bad op-amp field takes the op-amp's figures; a bad amplitude or attenuation frequency
  // only its own figure.
  const badGbw = resultPlan(reads({ gbw: { status: "out_of_range" } }), made);
  assert.deepEqual([badGbw.complete, badGbw.spread, badGbw.opamp], [false, true, false]);
  assert.match(badGbw.note, /op-amp/);
  const badAmplitude = resultPlan(reads({ vpk: { status: "not_a_number" } }), made);
  const { opamp, amplitude, attenuation } = badAmplitude;
  assert.deepEqual([opamp, amplitude, attenuation], [true, false, true]);
});

// Reads as Core.readField gives them, for the filter's fields.
function filterReads(changes = {}) {
  const ok = (value) => ({ status: "ok", value });
  const empty = { status: "empty" };
  return { ord: ok(5), rip: empty, fp: empty, ap: empty, fs: empty, as: empty, ...changes };
}

test("filterPlan: the order, the ripple and all four of a specification, or what is missing", () => {
  const texts = { resp: "bessel", re: "0" };
  assert.deepEqual(filterPlan({ resp: "search" }, filterReads()).cascade, false);
  const plain = filterPlan(texts, filterReads());
  assert.deepEqual(plain.request, { response: "bessel", order: 5, rippleDb: NaN, edge: "-3db" });
  assert.deepEqual([plain.ready, plain.specification], [true, null]);
  // A ripple and a ripple edge go to the module for any response: it says why they do not fit.
  const ripple = filterPlan({ resp: "bessel", re: "1" }, filterReads({ rip: { status: "ok", value: 0.5 } }));
  assert.deepEqual([ripple.request.rippleDb, ripple.request.edge], [0.5, "ripple-edge"]);
  // Three of the specification's four fields are not one; all four set the order.
  const ok = (value) => ({ status: "ok", value });
  const three = filterPlan(texts, filterReads({ fp: ok(1), ap: ok(1), fs: ok(3) }));
  assert.equal(three.ready, false);
  assert.match(three.note, /all four/);
  const four = filterPlan(texts, filterReads({ ord: { status: "empty" }, fp: ok(1), ap: ok(1), fs: ok(3), as: ok(40) }));
  assert.equal(four.ready, true, "the order is not needed");
  assert.deepEqual(four.specification, {
    passbandKhz: 1,
    passbandLossDb: 1,
    stopbandKhz: 3,
    stopbandLossDb: 40,
  });
  // With a specification the cutoff field is not needed to design.
  const noCutoff = resultPlan(reads({ fc: { status: "empty" } }), { designed: true }, four);
  assert.equal(noCutoff.design, true);
  const noOrder = filterPlan(texts, filterReads({ ord: { status: "out_of_range" } }));
  assert.deepEqual([noOrder.ready, resultPlan(reads(), null, noOrder).note], [false, noOrder.note]);
});

// A module stand-in that writes values as "value unit", to see which value lands where.
const WRITER = {
  engineering: (value, unit) => `${value} ${unit}`,
  formatNumber: (value) => String(value),
  percentText: (value) => `pct ${value}`,
};

test("stageCells: each stage's figures in the table's columns, dashes for what is missing", () => {
  const arrays = {
    order: [1, 2],
    f0_hz: [342, 652],
    q: [NaN, 1.18],
    r1_ohm: [10000, 10000],
    r2_ohm: [NaN, 10000],
    c1_farad: [4.6e-8, 5.7e-8],
    c2_farad: [NaN, 1e-8],
    peak_gain_db: [0, 1.5],
    peak_hz: [0, 800],
    std_r1_ohm: [],
  };
  assert.deepEqual(stageCells(WRITER, arrays, 0), [
    "1", "1", "342 Hz", "–", "R1 10000 Ω, C1 4.6e-8 F", "–", "–", "–", "0 at DC",
  ]);
  const second = stageCells(WRITER, arrays, 1);
  assert.equal(second[4], "R1 10000 Ω, R2 10000 Ω, C1 5.7e-8 F, C2 1e-8 F");
  assert.equal(second[8], "1.5 at 800 Hz");
  const standard = { ...arrays, std_r1_ohm: [1, 10000], std_r2_ohm: [NaN, 10200] };
  Object.assign(standard, { std_f0_hz: [NaN, 650], f0_error_percent: [NaN, -0.3] });
  const built = stageCells(WRITER, standard, 1);
  assert.equal(built[5], "R1 10000 Ω, R2 10200 Ω");
  assert.equal(built[6], "650 Hz (pct -0.3 %)");
});

test("cascadeSchematicSvgs draws each stage, its order's parts, linked to the next", () => {
  const arrays = {
    order: [1, 2, 2],
    r1_ohm: [10000, 10000, 10000],
    r2_ohm: [NaN, 10000, 10000],
    c1_farad: [1, 2, 3],
    c2_farad: [NaN, 4, 5],
  };
  const stages = stageParts(WRITER, arrays);
  assert.deepEqual(stages[0], { order: 1, R1: "10000 Ω", R2: "", C1: "1 F", C2: "", standard: false });
  const markup = cascadeSchematicSvgs(stages);
  const drawings = markup.split("<svg ").slice(1);
  assert.equal(drawings.length, 3);
  // Parts are named as the netlist and the bill of materials name them: R<stage>0<part>.
  assert.ok(!drawings[0].includes(">R102</text>") && drawings[0].includes(">C101</text>"));
  assert.ok(drawings[1].includes(">C202</text>") && drawings[1].includes(">4 F</text>"));
  assert.ok(drawings[1].includes("C202 4 F.</title>"));
  assert.ok(drawings[0].includes(">in</text>") && drawings[0].includes(">out: stage 2</text>"));
  assert.ok(drawings[2].includes(">in: U2</text>") && drawings[2].includes(">out</text>"));
  assert.match(drawings[1], /<title id="schematic-title-2">Stage 2 of 3, second order/);
});

test("schematicSvg draws the circuit with every value, escaped", () => {
  const parts = { R1: "10 kΩ", R2: "30.1 kΩ", C1: "15 nF", C2: "5.6 nF" };
  const svg = schematicSvg(parts, schematicDescription(parts));
  for (const text of ["R1", "R2", "C1", "C2", "U1", "10 kΩ", "30.1 kΩ", "15 nF", "5.6 nF"]) {
    assert.ok(svg.includes(`>${text}</text>`), text);
  }
  assert.match(svg, /<title id="schematic-title">Sallen-Key low-pass: .*C2 5\.6 nF\.<\/title>/);
  assert.match(svg, /^<svg viewBox="0 0 \d+ \d+" role="img"/);
  assert.ok(schematicSvg({ R1: "<b>&" }, "x").includes(">&lt;b&gt;&amp;</text>"));
  assert.equal(schematicDescription(null).endsWith("to ground."), true);
});

test("seriesMessage names the series a link asked for", () => {
  const names = ["E6", "E12", "E24", "E48", "E96", "E192"];
  assert.equal(seriesMessage("E24", names, "E96", "resistor"), "");
  assert.equal(
    seriesMessage("E7", names, "E96", "resistor"),
    'The link\'s resistor series "E7" is not one of E6, E12, E24, E48, E96, E192; E96 is used.',
  );
  // Case does not count; a method or response names its own kind.
  assert.equal(seriesMessage("e24", names, "E96", "resistor"), "");
  assert.match(choiceMessage("worst", ["best", "nearest"], "best", "set of parts"), /set of parts "worst" .* best is used/);
  // A long name is cut to 21 characters and "...".
  assert.match(seriesMessage("x".repeat(40), names, "E12", "capacitor"), /"x{21}\.\.\."/);
});

test("createSettler settles once after the last keystroke's pause, or at once on demand", () => {
  mock.timers.enable({ apis: ["setTimeout"] });
  try {
    let settled = 0;
    const settler = createSettler(() => settled++, 700);
    settler.schedule();
    mock.timers.tick(600);
    settler.schedule(); // another keystroke within the pause
    mock.timers.tick(600);
    assert.equal(settled, 0);
    assert.equal(settler.pending, true);
    mock.timers.tick(100);
    assert.equal(settled, 1);
    assert.equal(settler.pending, false);
    settler.now(); // nothing due: nothing happens
    assert.equal(settled, 1);
    settler.schedule();
    settler.now(); // Enter or leaving the field
    assert.equal(settled, 2);
    mock.timers.tick(1000);
    assert.equal(settled, 2, "the timer went with it");
    settler.schedule();
    settler.cancel();
    mock.timers.tick(1000);
    assert.equal(settled, 2);
  } finally {
    mock.timers.reset();
  }
});

test("throttle passes the first call at once and the last one at the interval's end", () => {
  mock.timers.enable({ apis: ["setTimeout", "Date"] });
  try {
    const seen = [];
    const write = throttle((text) => seen.push(text), 250);
    write("a");
    write("b");
    write("c");
    assert.deepEqual(seen, ["a"]);
    mock.timers.tick(250);
    assert.deepEqual(seen, ["a", "c"]);
    mock.timers.tick(1000);
    write("d");
    assert.deepEqual(seen, ["a", "c", "d"]);
  } finally {
    mock.timers.reset();
  }
});
