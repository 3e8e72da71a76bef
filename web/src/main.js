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

function start(core) {
  const plots = createPlots(element("plots"), element("readout"), core);
  const stepPlot = createStepPlot(element("step-plot"), core);
  const results = element("results");
  let shown = null; // the result on the page: computeResult's, or null
  let pendingEventTime = null;
  let lastDesign = null;
  let designMs = 0; // the search's time for the last design made, 0 when it was kept
  let lastAnnounced = "";
  let shownStep = null; // the step curves drawn, as the module gave them
  let shownMarkup = ""; // the schematic drawn

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

  // The design of the cutoff and R1 when both are numbers, else null: { designed, refusal,
  // figures, texts, lines }. A keystroke elsewhere keeps the module's design and what was made
  // from it.
  function designOf(reads) {
    if (reads.fc.status !== "ok" || reads.r1.status !== "ok") {
      core.setDesign(null, null);
      return null;
    }
    core.setDesign(reads.fc.value, reads.r1.value);
    const began = performance.now();
    const group = core.group("design");
    designMs = group === lastDesign?.group ? 0 : performance.now() - began;
    if (group !== lastDesign?.group) {
      const designed = group.figures.made === 1;
      lastDesign = { designed, refusal: group.lines.refusal, group, ...group };
    }
    return lastDesign;
  }

  function showBench(result) {
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
    if (curves !== shownStep) {
      if (curves) {
        const summary = [step.lines.overshoot, step.lines.rise, step.lines.settle].join(". ");
        stepPlot.show({ ...step, arrays: curves.arrays }, summary);
      } else {
        stepPlot.clear();
      }
      shownStep = curves;
    }
    element("legend-step").hidden = !step;
  }

  function showCircuit(result) {
    const set = result?.buildable ? result.parts.texts : null;
    const drawing = element("schematic");
    const markup = set ? schematicSvg(set, schematicDescription(set)) : "";
    // The same drawing is not drawn again.
    if (markup !== shownMarkup || !set) {
      drawing.innerHTML = markup;
      if (result && !set) drawing.textContent = NO_SET;
      shownMarkup = markup;
    }
    element("bench-note").textContent = result && !set ? NO_SET : "";
    drawing.classList.toggle("empty", !set);
    element("download-spice").disabled = !result?.files?.netlist;
    element("download-bom").disabled = !result?.files?.bom;
  }

  function showResult(result, texts) {
    showLines(DESIGN_LINES, result?.design);
    element("deviation").textContent = result?.deviation?.lines.deviation ?? "";
    element("deviation-band").textContent = result?.deviation
      ? core.engineering(result.bandHz, "Hz")
      : "the band";
    showLines(PARTS_LINES, result?.buildable ? result.parts : null);
    showLines(RANGES_LINES, result?.ranges);
    showWarnings(result?.parts?.lines.warnings ?? "");
    const method = texts.pm === "nearest" ? "Nearest" : "Best set";
    element("parts-head").textContent = result?.buildable
      ? `${method} · ${texts.sr} · ${texts.sc}`
      : "";
    element("legend-parts").hidden = !result?.plotted?.samples;
    element("legend-envelope").hidden = !result?.plotted?.envelope;
    element("legend-opamp").hidden = !result?.plotted?.opamp;
    element("download-csv").disabled = !result;
    showBench(result);
    showCircuit(result);
  }

  function showSummary(result, texts) {
    const bandText = result?.deviation ? core.engineering(result.bandHz, "Hz") : "";
    const summary = result ? designSummary(result.design, bandText) : "";
    plots.describe(summary);
    const method = texts.pm === "nearest" ? "nearest values" : "best set";
    const settings =
      `Standard parts, ${method}: resistors ${texts.sr} ±${texts.tr} %, ` +
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
    for (const input of [...FIELDS, ...TOLERANCES, ...OPAMP_SETTINGS]) {
      showFieldRead(input, reads[input.param]);
    }
    results.classList.remove("stale");
    results.removeAttribute("aria-busy");
    document.body.classList.remove("stale");
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
    document.body.classList.add("stale");
    settler.schedule();
  }

  const initial = textsFromQuery(window.location.search);
  for (const input of [...FIELDS, ...SETTINGS]) {
    const control = element(input.id);
    setInputText(control, initial[input.param], input.initial);
    // Choices and the switch change without typing: "change"; the fields as they are typed.
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
    const groups = {
      samples,
      circuit: plotted?.samples,
      bands: plotted?.envelope,
      opamp_curve: plotted?.opamp,
    };
    downloadText(csvName(texts), responseCsv(core.csvColumns(), groups, csvComments(shown)));
  });
  element("download-spice").addEventListener("click", () => {
    if (shown?.files?.netlist) {
      downloadText(csvName(shown.texts, ".cir"), shown.files.netlist, "text/plain");
    }
  });
  element("download-bom").addEventListener("click", () => {
    if (shown?.files?.bom) downloadText(csvName(shown.texts, "-bom.csv"), shown.files.bom);
  });
  update(null, true);
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
