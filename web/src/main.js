// The page: reads the fields as the user types, designs with Kestrane's core, shows the
// console's result lines with their values for people, and plots the response; rounds the
// design to standard parts of the chosen series and shows what they and their tolerances do.
// While a field is incomplete the last result stays, marked as out of date, until the user
// pauses, presses Enter or leaves the field (view.js).
import moduleBase64 from "kestrane:module";
import { decodeBase64, loadCore } from "./core.js";
import { csvName, downloadText, responseCsv } from "./csv.js";
import { plotRange } from "./layout.js";
import { createPlots } from "./plots.js";
import { FIELDS, SETTINGS, readFields, storeInUrl, textsFromQuery } from "./state.js";
import { createSettler, designSummary, resultPlan, seriesMessage } from "./view.js";

// The design's lines and the standard parts' lines, by the names the core gives them, with
// the ids of their elements; the figure whose value for people stands beside each.
const DESIGN_LINES = [
  ["r1", "r1", "R1"],
  ["r2", "r2", "R2"],
  ["c1", "c1", "C1"],
  ["c2", "c2", "C2"],
  ["passband", "passband", "passband_edge_hz"],
];
const PARTS_LINES = [
  ["r1", "r1-std", "R1"],
  ["r2", "r2-std", "R2"],
  ["c1", "c1-std", "C1"],
  ["c2", "c2-std", "C2"],
  ["cutoff", "fc-std", null],
];
const TOLERANCES = SETTINGS.filter((setting) => setting.kind === "tolerance");
const SERIES_SETTINGS = SETTINGS.filter((setting) => setting.kind === "series");
const PART_NAMES = { sr: "resistor", sc: "capacitor" };

// Timings of the latest updates in milliseconds, for the page's footer and for measuring:
// design (the core's work for one result: search, passband, deviation, lines, plot samples,
// standard parts with their range, curve and tolerance band) and redraw (from the keystroke's
// event to the plots drawn again).
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
  const bad = read.status !== "ok" && read.status !== "empty";
  element(field.id).setAttribute("aria-invalid", String(bad));
  element(`${field.id}-message`).textContent = bad ? read.message : "";
}

// Lines by name into their elements, each with its value for people beside it; "" where
// `group` is null or lacks them.
function showLines(list, group) {
  for (const [name, id, figure] of list) {
    element(id).textContent = group?.lines[name] ?? "";
    const people = element(`${id}-people`);
    if (people) people.textContent = (figure && group?.texts[figure]) ?? "";
  }
}

function showNote(text) {
  element("results-note").textContent = text;
}

// The tolerances in percent when both fields hold one, else null.
function tolerancesOf(reads) {
  const [resistor, capacitor] = TOLERANCES.map((setting) => reads[setting.param]);
  if (resistor.status !== "ok" || capacitor.status !== "ok") return null;
  return { resistor: resistor.value, capacitor: capacitor.value };
}

// Everything the core makes for a design that stands, as `plan` allows: the deviation, the
// plot samples, the standard parts, their spread, curve and tolerance band.
function computeResult(core, design, reads, texts, plan) {
  const bandHz = plan.deviation ? reads.band.value : NaN;
  const deviation = plan.deviation ? core.deviation(bandHz) : null;
  const range = plotRange(design.figures.cutoff_hz, bandHz);
  const samples = core.samples(range.lowHz, range.highHz);
  const parts = core.parts(texts.sr, texts.sc);
  const tolerances = plan.spread ? tolerancesOf(reads) : null;
  const spread = tolerances && core.spread(tolerances.resistor, tolerances.capacitor);
  let plotted = null;
  if (texts.parts !== "0" && parts) {
    plotted = {
      samples: core.partsSamples(),
      envelope: tolerances && core.envelope(tolerances.resistor, tolerances.capacitor),
    };
  }
  return { design, deviation, bandHz, samples, parts, spread, plotted };
}

function start(core) {
  const plots = createPlots(element("plots"), element("readout"), core);
  const results = element("results");
  let shown = null; // the result on the page: computeResult's, or null
  let pendingEventTime = null;
  let lastKey = null;
  let lastDesign = null;
  let designMs = 0; // the search's time for the last design made, 0 when it was kept
  let lastAnnounced = "";

  element("cutoff-gain").textContent = core.cutoffGainText;
  for (const { id } of SERIES_SETTINGS) {
    element(id).append(...core.seriesNames.map((name) => new Option(name, name)));
  }

  plots.onDrawn = () => {
    if (pendingEventTime == null) return;
    timings.redraw.push(performance.now() - pendingEventTime);
    pendingEventTime = null;
    showTimings();
  };

  function showTimings() {
    const design = timings.design.at(-1);
    const redraw = timings.redraw.at(-1);
    const parts = [];
    if (design !== undefined) parts.push(`designed in ${design.toFixed(1)} ms`);
    if (redraw !== undefined) {
      parts.push(`plot redrawn ${redraw.toFixed(0)} ms after the keystroke`);
    }
    element("timing").textContent = parts.join(", ");
  }

  // The design of the cutoff and R1 when both are numbers, else null. A keystroke elsewhere
  // keeps the core's current design.
  function designOf(reads) {
    if (reads.fc.status !== "ok" || reads.r1.status !== "ok") return null;
    const key = `${reads.fc.value} ${reads.r1.value}`;
    designMs = 0;
    if (key !== lastKey) {
      const began = performance.now();
      lastDesign = core.design(reads.fc.value, reads.r1.value);
      designMs = performance.now() - began;
      lastKey = key;
    }
    return lastDesign;
  }

  function showResult(result, texts) {
    showLines(DESIGN_LINES, result?.design);
    element("deviation").textContent = result?.deviation?.lines.deviation ?? "";
    element("deviation-band").textContent = result?.deviation
      ? core.engineering(result.bandHz, "Hz")
      : "the band";
    showLines(PARTS_LINES, result?.parts);
    element("fc-spread").textContent = result?.spread?.lines.spread ?? "";
    element("parts-head").textContent = `${texts.sr} · ${texts.sc}`;
    element("legend-parts").hidden = !result?.plotted?.samples;
    element("legend-envelope").hidden = !result?.plotted?.envelope;
    element("download-csv").disabled = !result;
  }

  function showSummary(result, texts) {
    const bandText = result?.deviation ? core.engineering(result.bandHz, "Hz") : "";
    const summary = result ? designSummary(result.design, bandText) : "";
    plots.describe(summary);
    const settings =
      `Standard parts: resistors ${texts.sr} ±${texts.tr} %, ` +
      `capacitors ${texts.sc} ±${texts.tc} %.`;
    element("design-summary").textContent = result ? `${summary} ${settings}` : "";
    return summary;
  }

  // Tells assistive technology what the page now shows, once the typing pauses.
  const announcer = createSettler(() => {
    // Without a design the note, a live region of its own, has said why.
    const text = shown ? shown.summary : "";
    if (text === lastAnnounced || text === "") {
      lastAnnounced = text;
      return;
    }
    lastAnnounced = text;
    element("announce").textContent = text;
  });

  // Shows what the fields give, messages and all.
  function render(reads, texts, design, plan, eventTime) {
    for (const input of [...FIELDS, ...TOLERANCES]) showFieldRead(input, reads[input.param]);
    results.classList.remove("stale");
    results.removeAttribute("aria-busy");
    showNote(plan.note);
    if (!plan.design) {
      shown = null;
      showResult(null, texts);
      showSummary(null, texts);
      plots.clear();
    } else {
      const began = performance.now();
      shown = { ...computeResult(core, design, reads, texts, plan), texts };
      timings.design.push(designMs + performance.now() - began);
      showResult(shown, texts);
      shown.summary = showSummary(shown, texts);
      pendingEventTime = eventTime;
      const f = design.figures;
      const marks = {
        cutoffHz: f.cutoff_hz,
        flatTopHz: f.flat_top_hz,
        edgeHz: f.passband_edge_hz,
        bandHz: shown.bandHz,
      };
      plots.show(shown.samples, marks, shown.plotted);
      showTimings();
    }
    announcer.schedule();
  }

  // The fields as they stand: a whole result shows at once; otherwise the last result stays,
  // out of date, until the fields settle.
  let latest = null;
  // A result shown after the pause is not timed as a keystroke's redraw.
  const settler = createSettler(() => latest && render(...latest.slice(0, 4), null));
  function update(eventTime, settle = false) {
    const texts = fieldTexts();
    storeInUrl(texts);
    const reads = readFields(core, texts);
    const design = designOf(reads);
    const plan = resultPlan(reads, design);
    latest = [reads, texts, design, plan, eventTime];
    if (plan.complete || settle) {
      settler.cancel();
      render(...latest);
      return;
    }
    results.classList.add("stale");
    results.setAttribute("aria-busy", "true");
    settler.schedule();
  }

  const initial = textsFromQuery(window.location.search);
  for (const input of [...FIELDS, ...SETTINGS]) {
    const control = element(input.id);
    setInputText(control, initial[input.param], input.initial);
    // Series and the switch change without typing: "change"; the fields as they are typed.
    const typed = control.tagName === "INPUT" && control.type === "text";
    control.addEventListener(typed ? "input" : "change", (e) => update(e.timeStamp));
    if (typed) control.addEventListener("blur", () => settler.now());
  }
  // A series that a link names but the selector does not offer is marked, not replaced in
  // silence; the mark goes when the user picks a series.
  for (const { id, param, initial: fallback } of SERIES_SETTINGS) {
    const message = element(`${id}-message`);
    const names = core.seriesNames;
    message.textContent = seriesMessage(initial[param], names, fallback, PART_NAMES[param]);
    element(id).addEventListener("change", () => (message.textContent = ""));
  }
  element("design-form").addEventListener("submit", (event) => {
    event.preventDefault();
    update(event.timeStamp, true);
  });
  element("download-csv").addEventListener("click", () => {
    if (!shown) return;
    const { samples, plotted, texts } = shown;
    const groups = { samples, parts: plotted?.samples, envelope: plotted?.envelope };
    downloadText(csvName(texts), responseCsv(core.csvColumns(), groups));
  });
  update(null, true);
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

if (document.readyState === "loading") {
  document.addEventListener("DOMContentLoaded", main);
} else {
  main();
}
