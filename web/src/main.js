// The page: reads the three fields as the user types, designs with Kestrane's core, shows the
// console's result lines and plots the response; rounds the design to standard parts of the
// chosen series and shows what they and their tolerances do.
import moduleBase64 from "kestrane:module";
import { decodeBase64, loadCore } from "./core.js";
import { csvName, downloadText, responseCsv } from "./csv.js";
import { createPlots, plotRange } from "./plots.js";
import { FIELDS, SETTINGS, readFields, storeInUrl, textsFromQuery } from "./state.js";

const RESULT_IDS = ["r1", "r2", "c1", "c2", "passband", "deviation"];
// The standard parts' lines, by the name Core.parts gives them.
const PARTS_IDS = { r1: "r1-std", r2: "r2-std", c1: "c1-std", c2: "c2-std", cutoff: "fc-std" };
const TOLERANCES = SETTINGS.filter((setting) => setting.kind === "tolerance");

// Timings of the latest updates in milliseconds, for the page's footer and for measuring:
// design (the core's work for one design: search, passband, deviation, lines, plot samples,
// standard parts with their range, curve and tolerance band)
// and redraw (from the keystroke's event to the plots drawn again).
const timings = { design: [], redraw: [] };
window.kestraneTimings = timings;

function element(id) {
  return document.getElementById(id);
}

// The text of an input as the URL holds it: a switch is "1" or "0".
function inputText(input) {
  return input.type === "checkbox" ? (input.checked ? "1" : "0") : input.value;
}

// Sets an input from its URL text; a series that is not an option takes the default.
function setInputText(input, text, initial) {
  if (input.type === "checkbox") {
    input.checked = text !== "0";
  } else if (input.tagName === "SELECT") {
    const known = [...input.options].some((option) => option.value === text);
    input.value = known ? text : initial;
  } else {
    input.value = text;
  }
}

function fieldTexts() {
  const texts = {};
  for (const input of [...FIELDS, ...SETTINGS]) texts[input.param] = inputText(element(input.id));
  return texts;
}

function showFieldRead(field, read) {
  const input = element(field.id);
  const message = element(`${field.id}-message`);
  const bad = read.status !== "ok" && read.status !== "empty";
  input.setAttribute("aria-invalid", String(bad));
  message.textContent = bad ? read.message : "";
}

function showLines(lines) {
  for (const id of RESULT_IDS) element(id).textContent = lines[id] ?? "";
  element("lines").hidden = RESULT_IDS.every((id) => !lines[id]);
}

// The standard parts' lines and the spread of their cutoff ("" where there are none).
function showPartsLines(lines, spreadLine) {
  for (const [name, id] of Object.entries(PARTS_IDS)) element(id).textContent = lines[name] ?? "";
  element("fc-spread").textContent = spreadLine;
}

// Why no design, or part of one, shows; "" when all of it does.
function showNote(text) {
  const note = element("results-note");
  note.textContent = text;
  note.hidden = text === "";
}

// The standard parts' column heading and legend entries for the settings in `texts`; the
// legend names a curve only while the plots show it.
function showPartsLabels(texts, plotted) {
  element("parts-head").textContent = `${texts.sr} · ${texts.sc}`;
  element("legend-parts").hidden = !plotted?.samples;
  element("legend-envelope").hidden = !plotted?.envelope;
}

// The tolerances in percent when both fields hold one, else null.
function tolerancesOf(reads) {
  const [resistor, capacitor] = TOLERANCES.map((setting) => reads[setting.param]);
  if (resistor.status !== "ok" || capacitor.status !== "ok") return null;
  return { resistor: resistor.value, capacitor: capacitor.value };
}

function start(core) {
  const plots = createPlots(element("plots"), element("readout"));
  let samples = null;
  let plottedParts = null;
  let pendingEventTime = null;
  let lastKey = null;
  let lastDesign = null;

  plots.onDrawn = () => {
    if (pendingEventTime == null) return;
    timings.redraw.push(performance.now() - pendingEventTime);
    pendingEventTime = null;
    showTimings();
  };

  function showTimings() {
    const last = (list) => list[list.length - 1];
    const design = last(timings.design);
    const redraw = last(timings.redraw);
    const parts = [];
    if (design !== undefined) parts.push(`designed in ${design.toFixed(1)} ms`);
    if (redraw !== undefined) {
      parts.push(`plot redrawn ${redraw.toFixed(0)} ms after the keystroke`);
    }
    element("timing").textContent = parts.join(", ");
  }

  function update(eventTime) {
    const texts = fieldTexts();
    storeInUrl(texts);
    const reads = readFields(core, texts);
    FIELDS.forEach((field) => showFieldRead(field, reads[field.param]));
    TOLERANCES.forEach((setting) => showFieldRead(setting, reads[setting.param]));
    const noDesign = () => {
      showLines({});
      showPartsLines({}, "");
      showPartsLabels(texts, null);
      samples = null;
      plottedParts = null;
      plots.clear();
      element("download-csv").disabled = true;
    };

    const { fc, r1, band } = reads;
    if (fc.status !== "ok" || r1.status !== "ok") {
      noDesign();
      showNote(
        fc.status === "empty" || r1.status === "empty"
          ? "Type a cutoff and R1 to design."
          : "Correct the marked field to design.",
      );
      return;
    }
    // A keystroke in the band alone keeps the design: the core's current design is reused.
    const began = performance.now();
    const key = `${fc.value} ${r1.value}`;
    if (key !== lastKey) {
      lastDesign = core.design(fc.value, r1.value);
      lastKey = key;
    }
    const design = lastDesign;
    if (!design.designed) {
      noDesign();
      showNote(design.refusal);
      return;
    }
    const lines = { ...design.lines };
    const bandHz = band.status === "ok" ? band.value : NaN;
    if (band.status === "ok") lines.deviation = core.halfDeviation(bandHz).line;
    const range = plotRange(design.cutoffHz, bandHz);
    samples = core.samples(range.lowHz, range.highHz);
    // The standard parts, their spread when both tolerances are good, and their curves at the
    // design's frequencies when asked for.
    const parts = core.parts(texts.sr, texts.sc);
    const tolerances = tolerancesOf(reads);
    const spread = tolerances && core.spread(tolerances.resistor, tolerances.capacitor);
    plottedParts = null;
    if (texts.parts !== "0") {
      plottedParts = {
        samples: core.partsSamples(),
        envelope: tolerances && core.envelope(tolerances.resistor, tolerances.capacitor),
      };
    }
    timings.design.push(performance.now() - began);
    showLines(lines);
    showPartsLines(parts?.lines ?? {}, spread?.line ?? "");
    showPartsLabels(texts, plottedParts);
    const notes = [];
    if (band.status !== "ok") notes.push("Type a band to see the phase deviation over it.");
    if (TOLERANCES.some((setting) => reads[setting.param].status === "empty")) {
      notes.push("Type both tolerances to see the spread of the cutoff.");
    }
    showNote(notes.join(" "));
    element("download-csv").disabled = false;
    pendingEventTime = eventTime;
    plots.show(
      samples,
      {
        cutoffHz: design.cutoffHz,
        flatTopHz: design.flatTopHz,
        edgeHz: design.edgeHz,
        bandHz,
      },
      plottedParts,
    );
    showTimings();
  }

  for (const id of ["series-r", "series-c"]) {
    element(id).append(...core.seriesNames.map((name) => new Option(name, name)));
  }
  const initial = textsFromQuery(window.location.search);
  for (const input of [...FIELDS, ...SETTINGS]) {
    const control = element(input.id);
    setInputText(control, initial[input.param], input.initial);
    // Series and the switch change without typing: "change"; the fields as they are typed.
    const event = control.tagName === "INPUT" && control.type === "text" ? "input" : "change";
    control.addEventListener(event, (e) => update(e.timeStamp));
  }
  element("design-form").addEventListener("submit", (event) => {
    event.preventDefault();
    update(event.timeStamp);
  });
  element("download-csv").addEventListener("click", () => {
    if (samples) downloadText(csvName(fieldTexts()), responseCsv(samples, plottedParts));
  });
  update(null);
  document.body.dataset.ready = "true";
}

async function main() {
  try {
    start(await loadCore(decodeBase64(moduleBase64)));
  } catch (error) {
    showNote(`The design module could not start in this browser: ${error.message}`);
    throw error;
  }
}

main();
