// The circuit as an SVG drawing, the one the console draws in characters: R1 and R2 in series
// into a unity-gain follower, C1 from their junction to the output, C2 from the op-amp's input
// to ground, each part with its value. Pure (markup as text), so that node's test runner
// checks it; lines and text take the colour of the text around it (currentColor), so the
// drawing follows the light and the dark scheme.

const WIDTH = 480;
const HEIGHT = 256;
const LINE_Y = 130; // the signal line, from the input to the op-amp's + input
const OUT_Y = 150; // the op-amp's output and the output terminal
const TOP_Y = 34; // C1's return to the output
const FEEDBACK_Y = 212; // the follower's feedback under the op-amp

// (The bracket keeps "<" from standing before "/", which the one-file page would escape.)
function escape(text) {
  return String(text).replace(/&/g, "&amp;").replace(/[<]/g, "&lt;").replace(/>/g, "&gt;");
}

function line(points) {
  return `<polyline points="${points.map(([x, y]) => `${x},${y}`).join(" ")}"/>`;
}

function label(x, y, text, { anchor = "middle", cls = "" } = {}) {
  const klass = cls ? ` class="${cls}"` : "";
  return `<text x="${x}" y="${y}" text-anchor="${anchor}"${klass}>${escape(text)}</text>`;
}

function dot(x, y) {
  return `<circle cx="${x}" cy="${y}" r="4" class="node"/>`;
}

// A resistor as a box centred on (x, y) across a horizontal wire, its name above and value
// below.
function resistor(x, y, name, value) {
  return (
    `<rect x="${x - 28}" y="${y - 10}" width="56" height="20" rx="2"/>` +
    label(x, y - 18, name, { cls: "name" }) +
    label(x, y + 30, value, { cls: "value" })
  );
}

// A capacitor's two plates across a vertical wire at x, the gap centred on y, its name and
// value to the left.
function capacitor(x, y, name, value) {
  return (
    `<line x1="${x - 18}" y1="${y - 5}" x2="${x + 18}" y2="${y - 5}" class="plate"/>` +
    `<line x1="${x - 18}" y1="${y + 5}" x2="${x + 18}" y2="${y + 5}" class="plate"/>` +
    label(x - 24, y - 4, name, { anchor: "end", cls: "name" }) +
    label(x - 24, y + 16, value, { anchor: "end", cls: "value" })
  );
}

// The op-amp as a follower: its + input on the signal line at `ampLeft`, its output at the tip,
// the output back to its - input, named `amp`; and the wire from the tip to the output
// terminal at `outX`, with the output node `c`.
function follower(ampLeft, c, amp) {
  const ampTip = ampLeft + 74;
  return [
    `<polygon points="${ampLeft},${LINE_Y - 30} ${ampLeft},${FEEDBACK_Y - 22} ` +
      `${ampTip},${OUT_Y}" class="amp"/>`,
    label(ampLeft + 12, LINE_Y + 5, "+", { cls: "sign" }),
    label(ampLeft + 12, FEEDBACK_Y - 34, "\u2212", { cls: "sign" }),
    label(ampLeft + 32, OUT_Y + 5, amp, { cls: "name" }),
    line([[ampTip, OUT_Y], [470, OUT_Y]]),
    line([[c, OUT_Y], [c, FEEDBACK_Y], [ampLeft - 14, FEEDBACK_Y], [ampLeft - 14, FEEDBACK_Y - 40],
      [ampLeft, FEEDBACK_Y - 40]]),
  ];
}

// A capacitor at x from the signal line down to ground.
function toGround(b, name, value) {
  return [
    line([[b, LINE_Y], [b, 185]]),
    capacitor(b, 190, name, value),
    line([[b, 195], [b, 236]]),
    `<line x1="${b - 14}" y1="236" x2="${b + 14}" y2="236"/>`,
    `<line x1="${b - 9}" y1="242" x2="${b + 9}" y2="242"/>`,
    `<line x1="${b - 4}" y1="248" x2="${b + 4}" y2="248"/>`,
  ];
}

// The terminals: the input at the left, the output at the right, with their names beside
// them, or (`corners`) in the drawing's top corners, where longer names have room.
function terminals(inName, outName, corners = false) {
  const inX = 12;
  const outX = 470;
  return [
    `<circle cx="${inX}" cy="${LINE_Y}" r="4" class="terminal"/>`,
    `<circle cx="${outX}" cy="${OUT_Y}" r="4" class="terminal"/>`,
    label(corners ? 4 : inX, corners ? 18 : LINE_Y - 12, inName, { anchor: "start", cls: "name" }),
    label(corners ? 476 : outX, corners ? 18 : OUT_Y - 12, outName, { anchor: "end", cls: "name" }),
  ];
}

// The second-order stage's body with the values `v(name)` and the designators `d(name)` of its
// parts (name "R1", "R2", "C1" or "C2").
function secondOrderBody(v, amp, d = (name) => name) {
  const r1X = 80;
  const a = 150; // the junction of R1, R2 and C1
  const r2X = 215;
  const b = 280; // the op-amp's + input, and C2
  const ampLeft = 318;
  const c = 430; // the output node
  return [
    line([[12, LINE_Y], [r1X - 28, LINE_Y]]),
    resistor(r1X, LINE_Y, d("R1"), v("R1")),
    line([[r1X + 28, LINE_Y], [r2X - 28, LINE_Y]]),
    resistor(r2X, LINE_Y, d("R2"), v("R2")),
    line([[r2X + 28, LINE_Y], [ampLeft, LINE_Y]]),
    ...follower(ampLeft, c, amp),
    // C1 from the junction up and over to the output.
    line([[a, LINE_Y], [a, 83]]),
    capacitor(a, 78, d("C1"), v("C1")),
    line([[a, 73], [a, TOP_Y], [c, TOP_Y], [c, OUT_Y]]),
    ...toGround(b, d("C2"), v("C2")),
    dot(a, LINE_Y),
    dot(b, LINE_Y),
    dot(c, OUT_Y),
  ];
}

// The first-order stage's body: R1 into the follower, C1 from its + input to ground.
function firstOrderBody(v, amp, d) {
  const r1X = 120;
  const b = 250;
  const ampLeft = 318;
  const c = 430;
  return [
    line([[12, LINE_Y], [r1X - 28, LINE_Y]]),
    resistor(r1X, LINE_Y, d("R1"), v("R1")),
    line([[r1X + 28, LINE_Y], [ampLeft, LINE_Y]]),
    ...follower(ampLeft, c, amp),
    ...toGround(b, d("C1"), v("C1")),
    dot(b, LINE_Y),
    dot(c, OUT_Y),
  ];
}

// One drawing as SVG markup that scales to its container's width, read out as `description`.
function svgOf(body, description, titleId) {
  return (
    `<svg viewBox="0 0 ${WIDTH} ${HEIGHT}" role="img" aria-labelledby="${titleId}" ` +
    `xmlns="http://www.w3.org/2000/svg" class="schematic-drawing">` +
    `<title id="${titleId}">${escape(description)}</title>${body.join("")}</svg>`
  );
}

// The drawing with the values of `parts` ({ R1, R2, C1, C2 }: texts such as "10 kΩ" and
// "15 nF"; a missing value is left out), as SVG markup that scales to its container's width.
// `description` is the text read out for it.
export function schematicSvg(parts, description) {
  const v = (name) => parts?.[name] ?? "";
  const body = [...secondOrderBody(v, "U1"), ...terminals("in", "out")];
  return svgOf(body, description, "schematic-title");
}

// The sentence read out for the drawing: the circuit and the values of `parts` (as
// schematicSvg takes them), or the circuit alone without values.
export function schematicDescription(parts) {
  const circuit =
    "Sallen-Key low-pass: R1 and R2 in series into a unity-gain follower U1, C1 from their " +
    "junction to the output, C2 from the op-amp's input to ground";
  if (!parts) return `${circuit}.`;
  return `${circuit}; R1 ${parts.R1}, R2 ${parts.R2}, C1 ${parts.C1}, C2 ${parts.C2}.`;
}

// The stages of a cascade for the drawing, from the module's `stages` arrays (core writes the
// values for people): [{ order, R1, R2, C1, C2, standard }], each part the shown standard
// set's when the module gives one (standard true), else the exact part; a first-order stage
// has R1 and C1 only.
export function stageParts(core, arrays) {
  const count = arrays.order?.length ?? 0;
  const stages = [];
  for (let k = 0; k < count; k++) {
    const value = (name) => {
      const standard = arrays[`std_${name}`]?.[k];
      return Number.isFinite(standard) ? standard : arrays[name]?.[k];
    };
    const standard = Number.isFinite(arrays.std_r1_ohm?.[k]);
    const text = (name, unit) => {
      const v = value(name);
      return Number.isFinite(v) ? core.engineering(v, unit) : "";
    };
    stages.push({
      order: arrays.order[k],
      R1: text("r1_ohm", "Ω"),
      R2: text("r2_ohm", "Ω"),
      C1: text("c1_farad", "F"),
      C2: text("c2_farad", "F"),
      standard,
    });
  }
  return stages;
}

// The designator of part `name` ("R1", "R2", "C1" or "C2") of stage `k`, as the netlist and
// the bill of materials name it: "R101", "C202", "R1001".
export function stageDesignator(name, k) {
  return `${name[0]}${k}0${name[1]}`;
}

// Every stage of a cascade (stageParts' list) as a drawing of its own, in signal order: each
// names its parts as the netlist does (R101, ...), its op-amp U1, U2, ... and its terminals
// "in" or "in: U(k-1)", "out" or "out: stage k+1", so that the drawings wrap onto as many rows
// as the width needs.
export function cascadeSchematicSvgs(stages) {
  const count = stages.length;
  return stages
    .map((stage, i) => {
      const k = i + 1;
      const v = (name) => stage[name] ?? "";
      const amp = `U${k}`;
      const d = (name) => stageDesignator(name, k);
      const body = stage.order === 1 ? firstOrderBody(v, amp, d) : secondOrderBody(v, amp, d);
      const inName = k === 1 ? "in" : `in: U${k - 1}`;
      const outName = k === count ? "out" : `out: stage ${k + 1}`;
      body.push(...terminals(inName, outName, true));
      body.push(label(WIDTH / 2, 18, `Stage ${k} of ${count}`, { cls: "name stage-name" }));
      const which = stage.standard ? "standard parts" : "exact parts";
      const names = stage.order === 1 ? ["R1", "C1"] : ["R1", "R2", "C1", "C2"];
      const parts = names.map((name) => `${d(name)} ${stage[name]}`).join(", ");
      const shape =
        stage.order === 1
          ? `first order: ${d("R1")} into a unity-gain follower ${amp}, ${d("C1")} from its ` +
            "input to ground"
          : `second order: ${d("R1")} and ${d("R2")} in series into a unity-gain follower ` +
            `${amp}, ${d("C1")} from their junction to the output, ${d("C2")} from the input ` +
            "to ground";
      const description = `Stage ${k} of ${count}, ${shape}; ${which} ${parts}.`;
      return svgOf(body, description, `schematic-title-${k}`);
    })
    .join("");
}
