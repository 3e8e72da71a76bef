// The page: reads the fields as the user types, designs with Kestrane's core, shows the
// console's result lines with their values for people, and plots the response; chooses a set
// of standard parts (the best set or the nearest values) and shows what it does on the real
// circuit, what the parts' tolerances do, what an op-amp does, its step response, its
// schematic, and offers its netlist and bill of materials. The filter is the search's single
// stage or a cascade of any order (Butterworth, Bessel, Chebyshev, Linkwitz-Riley), its order
// typed or found from a specification, with a table of its stages. While a field is
// incomplete the last result stays, marked as out of date, until the user pauses, presses
// Enter or leaves the field (view.js).
import moduleBase64 from "kestrane:module";
import { decodeBase64, loadCore } from "./core.js";
import { csvName, downloadText, responseCsv } from "./csv.js";
import { createPlots } from "./plots.js";
import {
  cascadeSchematicSvgs,
  schematicDescription,
  schematicSvg,
  stageParts,
} from "./schematic.js";
import {
  FIELDS,
  FILTER_SETTINGS,
  FIRST_RIPPLE,
  OPAMP_SETTINGS,
  SETTINGS,
  readFields,
  storeInUrl,
  switchValue,
  textsFromQuery,
  useModuleDefaults,
} from "./state.js";
import { showStages } from "./stages.js";
import { createStepPlot } from "./stepplot.js";
import {
  choiceMessage,
  createSettler,
  designSummary,
  filterPlan,
  resultPlan,
  seriesMessage,
} from "./view.js";

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
  ["ripple", "ripple-std", null],
];
// For a cascade the same elements hold the cascade's lines: #fc-std its built cutoff, #q-std
// the largest Q error of any stage (each stage's own error stands in its row of the stages'
// table), #q-spread each second-order stage's Q range, #fc-spread and #yield the cascade's
// cutoff range and yield.
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
const CASCADE_LINES = [
  ["heading", "cascade-heading", null],
  ["ripple_note", "ripple-note", null],
  ["specification", "specification-line", null],
];
const TOLERANCES = SETTINGS.filter((setting) => setting.kind === "tolerance");
const SERIES_SETTINGS = SETTINGS.filter((setting) => setting.kind === "series");
const SWITCHES = SETTINGS.filter((setting) => setting.kind === "switch");
const PART_NAMES = { sr: "resistor", sc: "capacitor" };
const RESPONSE_TITLES = {
  search: "search, one stage",
  butterworth: "Butterworth",
  bessel: "Bessel",
  chebyshev: "Chebyshev",
  "linkwitz-riley": "Linkwitz–Riley",
};
// The settings a refused design names (the module's design.refused_fields), with the element
// that carries the refusal.
const REFUSED = [
  { bit: 1, id: "fc-khz", line: "cutoff_refusal" },
  { bit: 2, id: "r1-ohm", line: "r1_refusal" },
  { bit: 4, id: "order", line: "filter_refusal" },
  { bit: 8, id: "ripple-db", line: "filter_refusal" },
  { bit: 16, id: "ripple-edge", line: "filter_refusal" },
  { bit: 32, id: "spec", line: "filter_refusal" },
];
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

// Sets an input from its URL text: a switch by switchValue (a text that is no switch's value
// leaves the default), a choice by its value in either case (one that is not an option leaves
// the default); both marked by markLinkChoices.
function setInputText(input, text, initial) {
  if (input.type === "checkbox") {
    input.checked = (switchValue(text) ?? initial) === "1";
  } else if (input.tagName === "SELECT") {
    const lower = String(text).toLowerCase();
    const option = [...input.options].find((o) => o.value.toLowerCase() === lower);
    input.value = option ? option.value : initial;
  } else {
    input.value = text;
  }
}

function fieldTexts() {
  const texts = {};
  for (const input of [...FIELDS, ...SETTINGS]) texts[input.param] = inputText(element(input.id));
  return texts;
}

// A field's message and mark: `message` marks it as refused; `note` (what the module kept of
// it) stands beside it without marking it.
function showFieldMessage(id, message, note = "") {
  const field = element(id);
  if (field && id !== "spec") field.setAttribute("aria-invalid", String(Boolean(message)));
  const box = element(`${id}-message`);
  box.textContent = [note, message].filter(Boolean).join(" ");
  box.classList.toggle("note", !message && Boolean(note));
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
// curve, the stages' own curves, and the files. The module makes again only what a changed
// setting rests on, and gives back the same objects for what it kept.
function computeResult(core, design, reads, texts, plan, filter) {
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
  const cascade = filter.cascade ? core.group("cascade") : null;
  const parts = core.group("parts");
  const buildable = parts?.figures.buildable === 1;
  const result = {
    design,
    cascade,
    stages: cascade ? core.group("stages") : null,
    deviation: core.group("deviation"),
    bandHz,
    samples: core.group("samples")?.arrays,
    parts,
    buildable,
    plotted: null,
  };
  // A cascade has a circuit to build even before standard parts: its exact parts.
  result.hasCircuit = buildable || Boolean(cascade);
  if (!result.hasCircuit) return result;
  result.ranges = core.group("ranges");
  const partsShown = texts.parts !== "0";
  result.plotted = {
    samples: partsShown ? core.group("circuit")?.arrays : null,
    envelope: partsShown && result.ranges ? core.group("bands")?.arrays : null,
    opamp: partsShown && plan.opamp ? core.group("opamp_curve")?.arrays : null,
    stages: cascade && texts.st === "1" ? stageCurves(core, cascade) : null,
  };
  return result;
}

// Reads what the bench shows of `result` (computeResult's, whose settings the module still
// holds): the op-amp's figures (at each stage's output too), the attenuation, the step and the
// files. The page reads them after the plots are drawn: a cascade's op-amp figures take the
// longest of all.
function computeBench(core, result, plan) {
  if (!result.hasCircuit || !plan.opamp) return;
  result.opamp = core.group("opamp");
  result.stageOpamp = result.cascade ? core.group("stage_opamp") : null;
  result.amplitudeShown = plan.amplitude;
  result.attenuation = core.group("attenuation");
  result.step = core.group("step");
  result.stepCurves = core.group("step_curves");
  result.files = core.group("files")?.lines;
}

// The stages' own curves, only those of the cascade's stages: { stageK_gain_db, ... }.
function stageCurves(core, cascade) {
  const arrays = core.group("stage_curves")?.arrays;
  if (!arrays) return null;
  const count = cascade.figures.stage_count;
  return Object.fromEntries(
    Object.entries(arrays).filter(([name]) => Number(name.match(/^stage(\d+)_/)?.[1]) <= count),
  );
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
    shownStages: null, // the stages' table drawn, as the module gave its groups
    latest: null, // the last update's [reads, texts, design, plan, filter, eventTime]
    benchTimer: 0, // the bench's reading after the plots are drawn
    rememberedRipple: "", // a Chebyshev's ripple while another response is chosen
  };
}

// The choices the module offers: the responses, the series of standard parts, and the
// cutoff's gain.
function fillChoices(core) {
  element("cutoff-gain").textContent = core.cutoffGainText;
  const responses = ["search", ...core.responses];
  element("response").append(
    ...responses.map((name) => new Option(RESPONSE_TITLES[name] ?? name, name)),
  );
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

// Gives the module the filter: the search, or a cascade with its specification and
// compensation.
function setFilter(core, filter, texts) {
  core.setCascade(filter.cascade ? filter.request : null);
  core.setSpecificationKhz(filter.cascade ? filter.specification : null);
  core.setCompensate(filter.cascade && texts.comp === "1");
}

// The design of the cutoff and R1 when both are numbers (R1 alone with a specification, which
// sets the cutoff), else null: { designed, refusal, figures, texts, lines }. A keystroke
// elsewhere keeps the module's design and what was made from it.
function designOf(page, reads, filter) {
  const { core } = page;
  const cutoff = filter.specification ? (reads.fc.status === "ok" ? reads.fc.value : 1) : null;
  const fcKhz = cutoff ?? (reads.fc.status === "ok" ? reads.fc.value : null);
  if (fcKhz == null || reads.r1.status !== "ok" || !filter.ready) {
    core.setDesign(null, null);
    return null;
  }
  core.setDesign(fcKhz, reads.r1.value);
  const began = performance.now();
  const group = core.group("design");
  page.designMs = group === page.lastDesign?.group ? 0 : performance.now() - began;
  if (group !== page.lastDesign?.group) {
    const designed = group.figures.made === 1;
    page.lastDesign = { designed, refusal: group.lines.refusal, group, ...group };
  }
  return page.lastDesign;
}

// The op-amp's figures, the attenuation, compensation, and the step's figures and curves.
function showBench(page, result) {
  const opamp = result?.opamp ?? null;
  showLines(OPAMP_LINES, opamp);
  if (opamp && !result.amplitudeShown) {
    element("slew-need").textContent = "";
    element("slew-need-people").textContent = "";
  }
  element("atten").textContent = result?.attenuation?.lines.attenuation ?? "";
  element("compensation-line").textContent = result?.cascade?.lines.compensation ?? "";
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

// The schematic's markup: the search's set, or every stage of a cascade.
function schematicMarkup(page, result) {
  if (result?.cascade && result.stages) {
    const stages = stageParts(page.core, result.stages.arrays);
    return stages.length ? cascadeSchematicSvgs(stages) : "";
  }
  const set = result?.buildable ? result.parts.texts : null;
  return set ? schematicSvg(set, schematicDescription(set)) : "";
}

// The schematic.
function showCircuit(page, result) {
  const drawing = element("schematic");
  const markup = schematicMarkup(page, result);
  // The same drawing is not drawn again.
  if (markup !== page.shownMarkup || !markup) {
    drawing.innerHTML = markup;
    if (result && !markup) drawing.textContent = NO_SET;
    page.shownMarkup = markup;
  }
  element("bench-note").textContent = result && !markup ? NO_SET : "";
  drawing.classList.toggle("empty", !markup);
  drawing.classList.toggle("cascade", Boolean(result?.cascade));
}

// The download buttons of the files, and why the netlist holds no circuit when it holds none.
function showFiles(result) {
  element("download-spice").disabled = !result?.files?.netlist || !!result.files.netlist_refusal;
  element("spice-note").textContent = result?.files?.netlist_refusal ?? "";
  element("download-bom").disabled = !result?.files?.bom;
}

// The cascade's heading, notes and table of stages, shown only for a cascade.
function showCascade(page, result) {
  element("cascade-result").hidden = !result?.cascade;
  page.results.classList.toggle("is-cascade", Boolean(result?.cascade));
  showLines(CASCADE_LINES, result?.cascade ?? null);
  const groups = result?.stages ? [result.stages, result.stageOpamp] : null;
  if (groups?.[0] !== page.shownStages?.[0] || groups?.[1] !== page.shownStages?.[1]) {
    showStages(element("stages"), page.core, result?.stages ?? null);
    page.shownStages = groups;
  }
}

// The design's and the set's lines, the warnings, the legend, and the bench and circuit.
function showResult(page, result, texts) {
  const cascade = result?.cascade ?? null;
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
  showCascade(page, result);
  showLegend(result);
  element("download-csv").disabled = !result;
  showCircuit(page, result);
}

// What the bench shows, once its groups are read: its figures, the files, and the marks of
// the amplitude and the attenuation's frequency when their figures leave the double range.
function showBenchResult(page, result, reads) {
  showBench(page, result);
  showFiles(result);
  showFieldMessage("vin-peak", bad(reads.vpk) || result?.opamp?.lines.slew_refusal || "");
  showFieldMessage("atten-hz", bad(reads.fa) || result?.attenuation?.lines.refusal || "");
}

// The legend names the curves and marks the plots show.
function showLegend(result) {
  const cascade = result?.cascade ?? null;
  element("legend-design-name").textContent = cascade ? "ideal cascade" : "search";
  element("legend-cutoff").textContent = cascade?.lines.cutoff_meaning ?? "";
  element("legend-cutoff").hidden = !cascade;
  document.querySelector(".search-cutoff").hidden = !!cascade;
  for (const item of document.querySelectorAll(".marks .search-only")) item.hidden = !!cascade;
  element("legend-specification").hidden = !cascade?.lines.passband_mark;
  element("legend-parts").hidden = !result?.plotted?.samples;
  element("legend-envelope").hidden = !result?.plotted?.envelope;
  element("legend-opamp").hidden = !result?.plotted?.opamp;
  element("legend-stages").hidden = !result?.plotted?.stages;
}

// The one-sentence summary of the design, for the plots' labels and the printed page: the
// settings that were used, and no text a field holds that was not.
function showSummary(page, result, texts, reads) {
  const bandText = result?.deviation ? page.core.engineering(result.bandHz, "Hz") : "";
  const heading = result?.cascade?.lines.heading ?? "";
  const summary = result ? designSummary(result.design, bandText, heading) : "";
  page.plots.describe(summary);
  const method = texts.pm === "nearest" ? "nearest values" : "best set";
  const tolerance = (param) => (reads[param].status === "ok" ? ` ±${texts[param]} %` : "");
  const settings =
    `Standard parts, ${method}: resistors ${texts.sr}${tolerance("tr")}, ` +
    `capacitors ${texts.sc}${tolerance("tc")}.`;
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
// the band; a cascade's cutoff, the specification's edges with the loss there, and the band.
function marksOf(core, result) {
  const f = result.design.figures;
  const band = { key: "band", hz: result.bandHz, label: "band" };
  const cascade = result.cascade;
  if (cascade) {
    const c = cascade.figures;
    return {
      list: [
        { key: "cutoff", hz: f.cutoff_hz, label: "cutoff" },
        { key: "passband", hz: c.passband_hz, label: cascade.lines.passband_mark },
        { key: "stopband", hz: c.stopband_hz, label: cascade.lines.stopband_mark },
        band,
      ],
      levelDb: c.cutoff_level_db,
    };
  }
  return {
    list: [
      { key: "cutoff", hz: f.cutoff_hz, label: "cutoff" },
      { key: "edge", hz: f.passband_edge_hz, label: "passband edge" },
      { key: "flatTop", hz: f.flat_top_hz, label: "flat top" },
      band,
    ],
    levelDb: core.constants.cutoff_gain_db,
  };
}

// The filter's fields shown for the response: the order and the specification for a cascade,
// the ripple and its edge for a Chebyshev (or while they hold what a link gave another
// response, so that the mark beside them shows).
function showFilterFields(texts) {
  const cascade = texts.resp !== "search";
  const chebyshev = texts.resp === "chebyshev";
  for (const item of document.querySelectorAll(".cascade-only")) item.hidden = !cascade;
  element("ripple-db").closest(".field").hidden = !(chebyshev || (cascade && texts.rip !== ""));
  element("ripple-edge").closest(".field").hidden = !(chebyshev || (cascade && texts.re === "1"));
}

// The specification's outcome beside its fields: the order it needs, with the cutoff it sets.
function showSpecification(page, design, filter) {
  const cascade = filter.specification && design?.designed ? page.core.group("cascade") : null;
  const order = element("order");
  order.disabled = Boolean(filter.specification);
  const text = cascade
    ? `Order ${cascade.figures.needed_order} from the specification, cutoff ` +
      `${cascade.texts.cutoff_hz} (${cascade.lines.cutoff_meaning}); the order and cutoff ` +
      "fields are not used."
    : "";
  element("spec-result").textContent = text;
}

// Marks every field as its read says, and what the design refuses or kept of it; takes the
// out-of-date marks away.
function markFields(page, reads, design, filter) {
  const lines = design?.lines ?? {};
  const refused = design && !design.designed ? design.figures.refused_fields : 0;
  const refusal = (id) => {
    const entry = REFUSED.find((r) => r.id === id);
    return entry && refused & entry.bit ? lines[entry.line] : "";
  };
  for (const input of [...FIELDS, ...TOLERANCES, ...OPAMP_SETTINGS, ...FILTER_SETTINGS]) {
    const read = reads[input.param];
    const bad = read.status !== "ok" && read.status !== "empty";
    const missing = read.status === "empty" && input.kind === "tolerance";
    const message = bad
      ? read.message
      : missing
        ? "Type a tolerance, from 0 to below 100 %."
        : refusal(input.id);
    const stored = { "fc-khz": lines.cutoff_stored, "r1-ohm": lines.r1_stored }[input.id];
    showFieldMessage(input.id, message, [read.note, stored].filter(Boolean).join(" "));
  }
  showFieldMessage("ripple-edge", refusal("ripple-edge"));
  showFieldMessage("spec", refusal("spec"));
  showSpecification(page, design, filter);
  page.results.classList.remove("stale");
  page.results.removeAttribute("aria-busy");
  document.body.classList.remove("stale");
}

// The message of a read that is neither ok nor empty, else "".
function bad(read) {
  return read.status !== "ok" && read.status !== "empty" ? read.message : "";
}

// Marks the result out of date while a field is incomplete.
function markStale(page) {
  page.results.classList.add("stale");
  page.results.setAttribute("aria-busy", "true");
  document.body.classList.add("stale");
}

// Shows what the fields give, messages and all.
function render(page, reads, texts, design, plan, filter, eventTime) {
  clearTimeout(page.benchTimer);
  showNote(plan.note);
  markFields(page, reads, design, filter);
  if (!plan.design) {
    page.shown = null;
    showResult(page, null, texts);
    showBenchResult(page, null, reads);
    showSummary(page, null, texts, reads);
    page.plots.clear();
  } else {
    const began = performance.now();
    const shown = { ...computeResult(page.core, design, reads, texts, plan, filter), texts };
    page.shown = shown;
    timings.design.push(page.designMs + performance.now() - began);
    showResult(page, shown, texts);
    shown.summary = showSummary(page, shown, texts, reads);
    page.pendingEventTime = eventTime;
    page.plots.show(shown.samples, marksOf(page.core, shown), shown.plotted);
    showTimings();
    // The bench follows the drawn plots; a keystroke before then reads it afresh.
    page.benchTimer = setTimeout(() => {
      computeBench(page.core, shown, plan);
      showBenchResult(page, shown, reads);
    }, 0);
  }
  page.announcer.schedule();
}

// The fields as they stand: a whole result shows at once; otherwise the last result stays,
// out of date, until the fields settle (`settle` true: at once).
function update(page, eventTime, settle = false) {
  clearTimeout(page.benchTimer); // the module's settings change: the bench is read afresh
  const texts = fieldTexts();
  storeInUrl(texts);
  showFilterFields(texts);
  const reads = readFields(page.core, texts);
  const filter = filterPlan(texts, reads);
  setFilter(page.core, filter, texts);
  const design = designOf(page, reads, filter);
  const plan = resultPlan(reads, design, filter);
  page.latest = [reads, texts, design, plan, filter, eventTime];
  if (plan.complete || settle) {
    page.settler.cancel();
    render(page, ...page.latest);
    return;
  }
  markStale(page);
  page.settler.schedule();
}

// A change of response keeps a Chebyshev's ripple aside while another response is chosen, and
// gives a Chebyshev a ripple to start with.
function switchResponse(page) {
  const ripple = element("ripple-db");
  const edge = element("ripple-edge");
  if (element("response").value === "chebyshev") {
    ripple.value ||= page.rememberedRipple || FIRST_RIPPLE;
  } else if (ripple.value !== "" || edge.checked) {
    page.rememberedRipple = ripple.value;
    ripple.value = "";
    edge.checked = false;
  }
}

// Fills the fields from the link and listens to them: choices and the switches change without
// typing ("change"), fields as they are typed, and leaving a field settles it.
function bindFields(page, initial) {
  for (const input of [...FIELDS, ...SETTINGS]) {
    const control = element(input.id);
    setInputText(control, initial[input.param], input.initial);
    const typed = control.tagName === "INPUT" && control.type === "text";
    control.addEventListener(typed ? "input" : "change", (e) => {
      if (input.id === "response") switchResponse(page);
      update(page, e.timeStamp);
    });
    if (typed) control.addEventListener("blur", () => page.settler.now());
  }
  element("design-form").addEventListener("submit", (event) => {
    event.preventDefault();
    update(page, event.timeStamp, true);
  });
}

// A series, method or response that a link names but its selector does not offer, and a
// switch's text that is neither on nor off, are marked, not replaced in silence; the mark goes
// when the user changes the control.
function markLinkChoices(core, initial) {
  const marks = [
    ...SERIES_SETTINGS.map(({ id, param, initial: fallback }) => [
      id,
      seriesMessage(initial[param], core.seriesNames, fallback, PART_NAMES[param]),
    ]),
    ["parts-method", choiceMessage(initial.pm, core.methods, "best", "set of parts")],
    ["response", choiceMessage(initial.resp, ["search", ...core.responses], "search", "response")],
    ...SWITCHES.map(({ id, param, initial: fallback }) => [
      id,
      switchValue(initial[param]) === null
        ? `The link's "${initial[param].slice(0, 24)}" is not on (1) or off (0); ` +
          `${fallback === "1" ? "on" : "off"} is used.`
        : "",
    ]),
  ];
  for (const [id, text] of marks) {
    const message = element(`${id}-message`);
    if (!message || !text) continue;
    message.textContent = text;
    element(id).addEventListener("change", () => (message.textContent = ""), { once: true });
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
      stage_curves: plotted?.stages,
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
  page.settler = createSettler(() => page.latest && render(page, ...page.latest.slice(0, 5), null));
  const initial = textsFromQuery(window.location.search);
  bindFields(page, initial);
  markLinkChoices(core, initial);
  bindDownloads(page);
  update(page, null, true);
  document.body.dataset.ready = "true";
}

// What a downloaded response is of, for its header comment: the design, the shown set with
// its figures on the real circuit, and the op-amp of its curve.
function csvComments(result) {
  const comments = [`Kestrane response. ${result.summary}`];
  const parts = result.buildable ? result.parts.lines : null;
  if (parts && !result.cascade) {
    comments.push(`${parts.heading} ${[parts.r1, parts.r2, parts.c1, parts.c2].join("; ")}`);
    comments.push([parts.cutoff, parts.q, parts.natural].join("; "));
  } else if (parts) {
    comments.push([parts.heading, parts.cutoff, parts.q].filter(Boolean).join(" "));
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
