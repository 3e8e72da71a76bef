// The page: reads the fields as the user types, designs with Kestrane's core, shows the
// console's result lines with their values for people, and plots the response; chooses a set
// of standard parts (the best set or the nearest values) and shows what it does on the real
// circuit, what the parts' tolerances do, what an op-amp does, its step response, its
// schematic, and offers its netlist and bill of materials. While a field is incomplete the
// last result stays, marked as out of date, until the user pauses, presses Enter or leaves
// the field (view.js).
import moduleBase64 from "kestrane:module";
import { decodeBase64, loadCore } from "./core.js";
import { csvName, downloadText, responseCsv } from "./csv.js";
import { createPlots } from "./plots.js";
import { schematicDescription, schematicSvg } from "./schematic.js";
import {
  FIELDS,
  OPAMP_SETTINGS,
  SETTINGS,
  readFields,
  storeInUrl,
  textsFromQuery,
  useModuleDefaults,
} from "./state.js";
import { createStepPlot } from "./stepplot.js";
import { createSettler, designSummary, resultPlan, seriesMessage } from "./view.js";

// The design's lines and the set's lines, by the names the core gives them, with the ids of
// their elements; the figure whose value for people stands beside each.
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
  ["q", "q-std", null],
  ["natural", "f0-std", "natural_hz"],
];
const RANGES_LINES = [
  ["cutoff_range", "fc-spread", null],
  ["q_range", "q-spread", null],
  ["yield", "yield", null],
];
const OPAMP_LINES = [
  ["cutoff", "fc-opamp", "cutoff_hz"],
  ["gbw", "gbw-need", null],
  ["slew", "slew-need", "slew_v_per_us"],
  ["lowest", "stopband-floor-gain", null],
  ["limit", "stopband-floor-rise", null],
];
const STEP_LINES = [
  ["overshoot", "step-overshoot", null],
  ["rise", "step-rise", "rise_time_s"],
  ["settle", "step-settle", null],
];
const TOLERANCES = SETTINGS.filter((setting) => setting.kind === "tolerance");
const SERIES_SETTINGS = SETTINGS.filter((setting) => setting.kind === "series");
const PART_NAMES = { sr: "resistor", sc: "capacitor" };
const NO_SET = "No standard parts to build with: the warnings under Result say why.";

// Timings of the latest updates in milliseconds, for the page's footer and for measuring:
// design (the core's work for one result: search, passband, deviation, lines, plot samples,
// the set with its figures, ranges, yield, curves and band, the op-amp figures, curve and
// step response) and redraw (from the keystroke's event to the plots drawn again).
const timings = { design: [], redraw: [] };
window.kestraneTimings = timings;

function element(id) {
  return document.getElementById(id);
}

// The text of an input as the URL holds it: a switch is "1" or "0".
function inputText(input) {
  return input.type === "checkbox" ? (input.checked ? "1" : "0") : input.value;
}

// Sets an input from its URL text; a choice that is not an option takes the default.
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
    if (people) people.textContent = (group?.lines[name] && figure && group?.texts[figure]) || "";
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

// Gives the module every setting that stands, as `plan` allows, and reads what the page shows
// of the design: the deviation, the plotted samples, the set of standard parts, its ranges and
// yield, the op-amp figures, attenuation and step response, the set's curves, band and op-amp
// curve, and the files. The module makes again only what a changed setting rests on, and
// gives back the same objects for what it kept.
function computeResult(core, design, reads, texts, plan) {
  const bandHz = plan.deviation ? reads.band.value : NaN;
  core.setBand(plan.deviation ? bandHz : null);
  core.setParts(texts.pm, texts.sr, texts.sc);
  core.setTolerances(plan.spread ? tolerancesOf(reads) : null);
  const opamp = plan.opamp
    ? { gbwMhz: reads.gbw.value, a0Db: reads.a0.value, roOhm: reads.ro.value }
    : null;
  core.setOpamp(opamp);
  core.setAmplitude(plan.amplitude ? reads.vpk.value : NaN);
  core.setAttenuation(plan.attenuation ? reads.fa.value : null);
  const parts = core.group("parts");
  const buildable = parts?.figures.buildable === 1;
  const result = {
    design,
    deviation: core.group("deviation"),
    bandHz,
    samples: core.group("samples")?.arrays,
    parts,
    buildable,
    plotted: null,
  };
  if (!buildable) return result;
  result.ranges = core.group("ranges");
  if (plan.opamp) {
    result.opamp = core.group("opamp");
    result.amplitudeShown = plan.amplitude;
    result.attenuation = core.group("attenuation");
    result.step = core.group("step");
    result.stepCurves = core.group("step_curves");
    result.files = core.group("files")?.lines;
  }
  if (texts.parts !== "0") {
    result.plotted = {
      samples: core.group("circuit")?.arrays,
      envelope: result.ranges ? core.group("bands")?.arrays : null,
      opamp: plan.opamp ? core.group("opamp_curve")?.arrays : null,
    };
  }
  return result;
}

// The warnings, one paragraph each, in their element, which is hidden when there are none.
function showWarnings(text) {
  const box = element("design-warning");
  const lines = text ? text.split("\n") : [];
  box.replaceChildren(
    ...lines.map((line) => {
      const paragraph = document.createElement("p");
      paragraph.textContent = line;
      return paragraph;
    }),
  );
  box.hidden = lines.length === 0;
}

// The page's state between keystrokes: what is shown and what was drawn, so that what the
// module kept is not drawn again.
function createPage(core) {
  return {
    core,
    plots: createPlots(element("plots"), element("readout"), core),
    stepPlot: createStepPlot(element("step-plot"), core),
    results: element("results"),
    shown: null, // the result on the page: computeResult's, or null
    pendingEventTime: null,
    lastDesign: null,
    designMs: 0, // the search's time for the last design made, 0 when it was kept
    lastAnnounced: "",
    shownStep: null, // the step curves drawn, as the module gave them
    shownMarkup: "", // the schematic drawn
    latest: null, // the last update's [reads, texts, design, plan, eventTime]
  };
}

// The choices the module offers: the series of standard parts, and the cutoff's gain.
function fillChoices(core) {
  element("cutoff-gain").textContent = core.cutoffGainText;
  for (const { id } of SERIES_SETTINGS) {
    element(id).append(...core.seriesNames.map((name) => new Option(name, name)));
  }
}

// The footer's timings of the last design and redraw.
function showTimings() {
  const design = timings.design.at(-1);
  const redraw = timings.redraw.at(-1);
  const parts = [];
  if (design !== undefined) parts.push(`designed in ${design.toFixed(1)} ms`);
  if (redraw !== undefined) parts.push(`plot redrawn ${redraw.toFixed(0)} ms after the keystroke`);
  element("timing").textContent = parts.join(", ");
}

// Times each redraw that follows a keystroke.
function timeRedraws(page) {
  page.plots.onDrawn = () => {
    if (page.pendingEventTime == null) return;
    timings.redraw.push(performance.now() - page.pendingEventTime);
    page.pendingEventTime = null;
    showTimings();
  };
}

// The design of the cutoff and R1 when both are numbers, else null: { designed, refusal,
// figures, texts, lines }. A keystroke elsewhere keeps the module's design and what was made
// from it.
function designOf(page, reads) {
  const { core } = page;
  if (reads.fc.status !== "ok" || reads.r1.status !== "ok") {
    core.setDesign(null, null);
    return null;
  }
  core.setDesign(reads.fc.value, reads.r1.value);
  const began = performance.now();
  const group = core.group("design");
  page.designMs = group === page.lastDesign?.group ? 0 : performance.now() - began;
  if (group !== page.lastDesign?.group) {
    const designed = group.figures.made === 1;
    page.lastDesign = { designed, refusal: group.lines.refusal, group, ...group };
  }
  return page.lastDesign;
}

// The op-amp's figures, the attenuation, and the step's figures and curves.
function showBench(page, result) {
  const opamp = result?.opamp ?? null;
  showLines(OPAMP_LINES, opamp);
  if (opamp && !result.amplitudeShown) {
    element("slew-need").textContent = "";
    element("slew-need-people").textContent = "";
  }
  element("atten").textContent = result?.attenuation?.lines.attenuation ?? "";
  const step = result?.step ?? null;
  const curves = step ? result.stepCurves : null;
  showLines(STEP_LINES, step);
  // Curves the module kept (the same object) stay drawn.
  if (curves !== page.shownStep) {
    if (curves) {
      const summary = [step.lines.overshoot, step.lines.rise, step.lines.settle].join(". ");
      page.stepPlot.show({ ...step, arrays: curves.arrays }, summary);
    } else {
      page.stepPlot.clear();
    }
    page.shownStep = curves;
  }
  element("legend-step").hidden = !step;
}

// The schematic and the files.
function showCircuit(page, result) {
  const set = result?.buildable ? result.parts.texts : null;
  const drawing = element("schematic");
  const markup = set ? schematicSvg(set, schematicDescription(set)) : "";
  // The same drawing is not drawn again.
  if (markup !== page.shownMarkup || !set) {
    drawing.innerHTML = markup;
    if (result && !set) drawing.textContent = NO_SET;
    page.shownMarkup = markup;
  }
  element("bench-note").textContent = result && !set ? NO_SET : "";
  drawing.classList.toggle("empty", !set);
  element("download-spice").disabled = !result?.files?.netlist;
  element("download-bom").disabled = !result?.files?.bom;
}

// The design's and the set's lines, the warnings, the legend, and the bench and circuit.
function showResult(page, result, texts) {
  showLines(DESIGN_LINES, result?.design);
  element("deviation").textContent = result?.deviation?.lines.deviation ?? "";
  element("deviation-band").textContent = result?.deviation
    ? page.core.engineering(result.bandHz, "Hz")
    : "the band";
  showLines(PARTS_LINES, result?.buildable ? result.parts : null);
  showLines(RANGES_LINES, result?.ranges);
  showWarnings(result?.parts?.lines.warnings ?? "");
  const method = texts.pm === "nearest" ? "Nearest" : "Best set";
  element("parts-head").textContent = result?.buildable ? `${method} · ${texts.sr} · ${texts.sc}` : "";
  element("legend-parts").hidden = !result?.plotted?.samples;
  element("legend-envelope").hidden = !result?.plotted?.envelope;
  element("legend-opamp").hidden = !result?.plotted?.opamp;
  element("download-csv").disabled = !result;
  showBench(page, result);
  showCircuit(page, result);
}

// The one-sentence summary of the design, for the plots' labels and the printed page.
function showSummary(page, result, texts) {
  const bandText = result?.deviation ? page.core.engineering(result.bandHz, "Hz") : "";
  const summary = result ? designSummary(result.design, bandText) : "";
  page.plots.describe(summary);
  const method = texts.pm === "nearest" ? "nearest values" : "best set";
  const settings =
    `Standard parts, ${method}: resistors ${texts.sr} ±${texts.tr} %, ` +
    `capacitors ${texts.sc} ±${texts.tc} %.`;
  element("design-summary").textContent = result ? `${summary} ${settings}` : "";
  return summary;
}

// Tells assistive technology what the page now shows, once the typing pauses.
function createAnnouncer(page) {
  return createSettler(() => {
    // Without a design the note, a live region of its own, has said why.
    const text = page.shown ? page.shown.summary : "";
    if (text === page.lastAnnounced || text === "") {
      page.lastAnnounced = text;
      return;
    }
    page.lastAnnounced = text;
    element("announce").textContent = text;
  });
}

// The plots' marks for a design: its cutoff, the top of its flat band, its passband edge and
// the band.
function marksOf(design, bandHz) {
  const f = design.figures;
  return {
    list: [
      { key: "cutoff", hz: f.cutoff_hz, label: "cutoff" },
      { key: "edge", hz: f.passband_edge_hz, label: "passband edge" },
      { key: "flatTop", hz: f.flat_top_hz, label: "flat top" },
      { key: "band", hz: bandHz, label: "band" },
    ],
    levelDb: design.levelDb,
  };
}

// Marks every field as its read says, and takes the out-of-date marks away.
function markFields(page, reads) {
  for (const input of [...FIELDS, ...TOLERANCES, ...OPAMP_SETTINGS]) {
    showFieldRead(input, reads[input.param]);
  }
  page.results.classList.remove("stale");
  page.results.removeAttribute("aria-busy");
  document.body.classList.remove("stale");
}

// Marks the result out of date while a field is incomplete.
function markStale(page) {
  page.results.classList.add("stale");
  page.results.setAttribute("aria-busy", "true");
  document.body.classList.add("stale");
}

// Shows what the fields give, messages and all.
function render(page, reads, texts, design, plan, eventTime) {
  markFields(page, reads);
  showNote(plan.note);
  if (!plan.design) {
    page.shown = null;
    showResult(page, null, texts);
    showSummary(page, null, texts);
    page.plots.clear();
  } else {
    const began = performance.now();
    page.shown = { ...computeResult(page.core, design, reads, texts, plan), texts };
    timings.design.push(page.designMs + performance.now() - began);
    showResult(page, page.shown, texts);
    page.shown.summary = showSummary(page, page.shown, texts);
    page.pendingEventTime = eventTime;
    const levelDb = page.core.constants.cutoff_gain_db;
    const marks = marksOf({ ...design, levelDb }, page.shown.bandHz);
    page.plots.show(page.shown.samples, marks, page.shown.plotted);
    showTimings();
  }
  page.announcer.schedule();
}

// The fields as they stand: a whole result shows at once; otherwise the last result stays,
// out of date, until the fields settle (`settle` true: at once).
function update(page, eventTime, settle = false) {
  const texts = fieldTexts();
  storeInUrl(texts);
  const reads = readFields(page.core, texts);
  const design = designOf(page, reads);
  const plan = resultPlan(reads, design);
  page.latest = [reads, texts, design, plan, eventTime];
  if (plan.complete || settle) {
    page.settler.cancel();
    render(page, ...page.latest);
    return;
  }
  markStale(page);
  page.settler.schedule();
}

// Fills the fields from the link and listens to them: choices and the switch change without
// typing ("change"), fields as they are typed, and leaving a field settles it.
function bindFields(page, initial) {
  for (const input of [...FIELDS, ...SETTINGS]) {
    const control = element(input.id);
    setInputText(control, initial[input.param], input.initial);
    const typed = control.tagName === "INPUT" && control.type === "text";
    control.addEventListener(typed ? "input" : "change", (e) => update(page, e.timeStamp));
    if (typed) control.addEventListener("blur", () => page.settler.now());
  }
  element("design-form").addEventListener("submit", (event) => {
    event.preventDefault();
    update(page, event.timeStamp, true);
  });
}

// A series that a link names but the selector does not offer is marked, not replaced in
// silence; the mark goes when the user picks a series.
function markLinkSeries(core, initial) {
  for (const { id, param, initial: fallback } of SERIES_SETTINGS) {
    const message = element(`${id}-message`);
    message.textContent = seriesMessage(initial[param], core.seriesNames, fallback, PART_NAMES[param]);
    element(id).addEventListener("change", () => (message.textContent = ""));
  }
}

// The download buttons: the plotted response as CSV, the netlist and the bill of materials.
function bindDownloads(page) {
  element("download-csv").addEventListener("click", () => {
    const { shown } = page;
    if (!shown) return;
    const { samples, plotted, texts } = shown;
    const groups = {
      samples,
      circuit: plotted?.samples,
      bands: plotted?.envelope,
      opamp_curve: plotted?.opamp,
    };
    const csv = responseCsv(page.core.csvColumns(), groups, csvComments(shown));
    downloadText(csvName(texts), csv);
  });
  element("download-spice").addEventListener("click", () => {
    const { shown } = page;
    if (shown?.files?.netlist) {
      downloadText(csvName(shown.texts, ".cir"), shown.files.netlist, "text/plain");
    }
  });
  element("download-bom").addEventListener("click", () => {
    const { shown } = page;
    if (shown?.files?.bom) downloadText(csvName(shown.texts, "-bom.csv"), shown.files.bom);
  });
}

function start(core) {
  const page = createPage(core);
  fillChoices(core);
  timeRedraws(page);
  page.announcer = createAnnouncer(page);
  // A result shown after the pause is not timed as a keystroke's redraw.
  page.settler = createSettler(() => page.latest && render(page, ...page.latest.slice(0, 4), null));
  const initial = textsFromQuery(window.location.search);
  bindFields(page, initial);
  markLinkSeries(core, initial);
  bindDownloads(page);
  update(page, null, true);
  document.body.dataset.ready = "true";
}

// What a downloaded response is of, for its header comment: the design, the shown set with
// its figures on the real circuit, and the op-amp of its curve.
function csvComments(result) {
  const comments = [`Kestrane response. ${result.summary}`];
  const parts = result.buildable ? result.parts.lines : null;
  if (parts) {
    comments.push(`${parts.heading} ${[parts.r1, parts.r2, parts.c1, parts.c2].join("; ")}`);
    comments.push([parts.cutoff, parts.q, parts.natural].join("; "));
  }
  if (result.plotted?.opamp) {
    const t = result.texts;
    comments.push(`Op-amp: GBW ${t.gbw} MHz, A0 ${t.a0} dB, Ro ${t.ro} ohm`);
  }
  return comments;
}

async function main() {
  try {
    const core = await loadCore(decodeBase64(moduleBase64));
    useModuleDefaults(core.constants);
    start(core);
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
