// The page: reads the three fields as the user types, designs with Kestrane's core, shows the
// console's result lines and plots the response.
import moduleBase64 from "kestrane:module";
import { decodeBase64, loadCore } from "./core.js";
import { csvName, downloadText, responseCsv } from "./csv.js";
import { createPlots, plotRange } from "./plots.js";
import { FIELDS, readFields, storeInUrl, textsFromQuery } from "./state.js";

const RESULT_IDS = ["r1", "r2", "c1", "c2", "passband", "deviation"];

// Timings of the latest updates in milliseconds, for the page's footer and for measuring:
// design (the core's work for one design: search, passband, deviation, lines, plot samples)
// and redraw (from the keystroke's event to the plots drawn again).
const timings = { design: [], redraw: [] };
window.kestraneTimings = timings;

function element(id) {
  return document.getElementById(id);
}

function fieldTexts() {
  const texts = {};
  for (const field of FIELDS) texts[field.param] = element(field.id).value;
  return texts;
}

function showFieldRead(field, read) {
  const input = element(field.id);
  const message = element(`${field.id}-message`);
  const bad = read.status === "not_a_number" || read.status === "too_long";
  input.setAttribute("aria-invalid", String(bad));
  message.textContent = bad ? read.message : "";
}

function showLines(lines) {
  for (const id of RESULT_IDS) element(id).textContent = lines[id] ?? "";
  element("lines").hidden = RESULT_IDS.every((id) => !lines[id]);
}

// Why no design shows, or "" when one does.
function showNote(text) {
  const note = element("results-note");
  note.textContent = text;
  note.hidden = text === "";
}

function start(core) {
  const plots = createPlots(element("plots"), element("readout"));
  let samples = null;
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

    const { fc, r1, band } = reads;
    if (fc.status !== "ok" || r1.status !== "ok") {
      showLines({});
      showNote(
        fc.status === "empty" || r1.status === "empty"
          ? "Type a cutoff and R1 to design."
          : "Correct the marked field to design.",
      );
      samples = null;
      plots.clear();
      element("download-csv").disabled = true;
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
      showLines({});
      showNote(design.refusal);
      samples = null;
      plots.clear();
      element("download-csv").disabled = true;
      return;
    }
    const lines = { ...design.lines };
    const bandHz = band.status === "ok" ? band.value : NaN;
    if (band.status === "ok") lines.deviation = core.halfDeviation(bandHz).line;
    const range = plotRange(design.cutoffHz, bandHz);
    samples = core.samples(range.lowHz, range.highHz);
    timings.design.push(performance.now() - began);
    showLines(lines);
    showNote(band.status === "ok" ? "" : "Type a band to see the phase deviation over it.");
    element("download-csv").disabled = false;
    pendingEventTime = eventTime;
    plots.show(samples, {
      cutoffHz: design.cutoffHz,
      flatTopHz: design.flatTopHz,
      edgeHz: design.edgeHz,
      bandHz,
    });
    showTimings();
  }

  const initial = textsFromQuery(window.location.search);
  for (const field of FIELDS) {
    const input = element(field.id);
    input.value = initial[field.param];
    input.addEventListener("input", (event) => update(event.timeStamp));
  }
  element("design-form").addEventListener("submit", (event) => {
    event.preventDefault();
    update(event.timeStamp);
  });
  element("download-csv").addEventListener("click", () => {
    if (samples) downloadText(csvName(fieldTexts()), responseCsv(samples));
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
