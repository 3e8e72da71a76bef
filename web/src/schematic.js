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

// The drawing with the values of `parts` ({ R1, R2, C1, C2 }: texts such as "10 kΩ" and
// "15 nF"; a missing value is left out), as SVG markup that scales to its container's width.
// `description` is the text read out for it.
export function schematicSvg(parts, description) {
  const v = (name) => parts?.[name] ?? "";
  const inX = 12;
  const r1X = 80;
  const a = 150; // the junction of R1, R2 and C1
  const r2X = 215;
  const b = 280; // the op-amp's + input, and C2
  const ampLeft = 318;
  const ampTip = 392;
  const c = 430; // the output node
  const outX = 470;
  const body = [
    line([[inX, LINE_Y], [r1X - 28, LINE_Y]]),
    resistor(r1X, LINE_Y, "R1", v("R1")),
    line([[r1X + 28, LINE_Y], [r2X - 28, LINE_Y]]),
    resistor(r2X, LINE_Y, "R2", v("R2")),
    line([[r2X + 28, LINE_Y], [ampLeft, LINE_Y]]),
    // The op-amp: + input on the signal line, - input below it, output at the tip.
    `<polygon points="${ampLeft},${LINE_Y - 30} ${ampLeft},${FEEDBACK_Y - 22} ` +
      `${ampTip},${OUT_Y}" class="amp"/>`,
    label(ampLeft + 12, LINE_Y + 5, "+", { cls: "sign" }),
    label(ampLeft + 12, FEEDBACK_Y - 34, "\u2212", { cls: "sign" }),
    label(ampLeft + 32, OUT_Y + 5, "U1", { cls: "name" }),
    line([[ampTip, OUT_Y], [outX, OUT_Y]]),
    // The follower: the output back to the - input.
    line([[c, OUT_Y], [c, FEEDBACK_Y], [ampLeft - 14, FEEDBACK_Y], [ampLeft - 14, FEEDBACK_Y - 40],
      [ampLeft, FEEDBACK_Y - 40]]),
    // C1 from the junction up and over to the output.
    line([[a, LINE_Y], [a, 83]]),
    capacitor(a, 78, "C1", v("C1")),
    line([[a, 73], [a, TOP_Y], [c, TOP_Y], [c, OUT_Y]]),
    // C2 from the + input down to ground.
    line([[b, LINE_Y], [b, 185]]),
    capacitor(b, 190, "C2", v("C2")),
    line([[b, 195], [b, 236]]),
    `<line x1="${b - 14}" y1="236" x2="${b + 14}" y2="236"/>`,
    `<line x1="${b - 9}" y1="242" x2="${b + 9}" y2="242"/>`,
    `<line x1="${b - 4}" y1="248" x2="${b + 4}" y2="248"/>`,
    dot(a, LINE_Y),
    dot(b, LINE_Y),
    dot(c, OUT_Y),
    `<circle cx="${inX}" cy="${LINE_Y}" r="4" class="terminal"/>`,
    `<circle cx="${outX}" cy="${OUT_Y}" r="4" class="terminal"/>`,
    label(inX, LINE_Y - 12, "in", { anchor: "start", cls: "name" }),
    label(outX, OUT_Y - 12, "out", { anchor: "end", cls: "name" }),
  ];
  return (
    `<svg viewBox="0 0 ${WIDTH} ${HEIGHT}" role="img" aria-labelledby="schematic-title" ` +
    `xmlns="http://www.w3.org/2000/svg" class="schematic-drawing">` +
    `<title id="schematic-title">${escape(description)}</title>${body.join("")}</svg>`
  );
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
