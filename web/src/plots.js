// The response plots: gain in dB, phase and group delay against log frequency, drawn by uPlot,
// with the design's marks (cutoff, top of the flat band, passband edge, band, and a
// specification's passband and stopband edges) as lines and their names in rows above the gain
// plot, a readout of the point under the pointer, and keys that move that point. Beside the
// design's own curve, each plot may show the shown set of standard parts on the real circuit
// (dashed), the band their tolerances allow over the whole tolerance box (shaded), the set with
// the op-amp model, and each stage's own curve. Colours come from the style sheet's custom
// properties, so the plots follow the light and the dark scheme.
import uPlot from "uplot";

import { frequencySplits, rowCount, stackLabels } from "./layout.js";
import { themeColors } from "./theme.js";
import { throttle } from "./view.js";

// The most stages a cascade has, each with its own curve.
export const MOST_STAGES = 6;
// The curves of a plot in the order drawn, as uPlot numbers its series (0 is frequency): the
// tolerance band's upper and lower edges, the set's curve, the set with the op-amp, the
// design's own curve, and the stages' own curves on top.
const SERIES = { highest: 1, lowest: 2, parts: 3, opamp: 4, design: 5, stage: 6 };
const SERIES_COUNT = SERIES.stage + MOST_STAGES;
const NO_DATA = Array.from({ length: SERIES_COUNT }, () => []);
const ENVELOPE_ALPHA = 0.2;
const LABEL_ROW_PX = 18;
const RESERVED_LABEL_ROWS = 2;
const READOUT_INTERVAL_MS = 250;
// The plots' width on a printed A4 page, in CSS pixels, with the results above them.
const PRINT_WIDTH_PX = 540;
// The marks that can be shown, in the order their names claim the lowest row, with their dash
// patterns (the colour is the style sheet's --mark-KEY).
const MARK_DASHES = {
  cutoff: [],
  passband: [5, 3],
  stopband: [5, 3],
  edge: [6, 4],
  flatTop: [6, 4],
  band: [2, 3],
};
const MARK_KEYS = Object.keys(MARK_DASHES);
const STAGE_DASHES = [[], [8, 3], [3, 3], [10, 3, 2, 3], [1, 3], [6, 2, 2, 2]];

// "#rrggbb" at `alpha`, as a CSS colour.
function withAlpha(hex, alpha) {
  const channel = (at) => parseInt(hex.slice(at, at + 2), 16);
  return `rgba(${channel(1)}, ${channel(3)}, ${channel(5)}, ${alpha})`;
}

function finiteOrNull(value) {
  return Number.isFinite(value) ? value : null;
}

// The marks to draw, in MARK_KEYS order: those of `marks` (a list of { key, hz, label }, key
// one of MARK_KEYS) whose frequency is positive and finite, each with its dash pattern.
function markList(marks) {
  const usable = marks.filter((m) => m.hz > 0 && Number.isFinite(m.hz) && m.key in MARK_DASHES);
  usable.sort((a, b) => MARK_KEYS.indexOf(a.key) - MARK_KEYS.indexOf(b.key));
  return usable.map((mark) => ({ ...mark, dash: MARK_DASHES[mark.key] }));
}

// The module's texts for people, kept: the axes ask for the same few values at every redraw.
function peopleWriter(core) {
  const cache = new Map();
  return (value, unit) => {
    const key = `${value} ${unit}`;
    if (!cache.has(key)) {
      if (cache.size > 2000) cache.clear();
      cache.set(key, core.engineering(value, unit));
    }
    return cache.get(key);
  };
}

// The three plots: what each draws and how its axis is ranged and labelled.
function plotKinds(people) {
  return [
    {
      key: "gain",
      samplesKey: "gain_db",
      title: "Gain, dB",
      color: "gain",
      ticks: (u, splits) => splits.map((v) => `${Number(v.toPrecision(4))}`),
      range: (u, min, max) => [Math.min(min, -6), Math.max(max, 3)],
    },
    {
      key: "phase",
      samplesKey: "phase_deg",
      title: "Phase, degrees",
      color: "phase",
      ticks: (u, splits) => splits.map((v) => `${v}°`),
      range: (u, min, max) => [
        Math.min(-180, Math.floor(min / 45) * 45),
        Math.max(0, Math.ceil(max / 45) * 45),
      ],
      splits: (u, axis, min, max) => {
        const step = max - min > 1000 ? 360 : max - min > 270 ? 90 : 45;
        const list = [];
        for (let v = min; v <= max; v += step) list.push(v);
        return list;
      },
    },
    {
      key: "delay",
      samplesKey: "group_delay_s",
      title: "Group delay",
      color: "delay",
      ticks: (u, splits) => splits.map((v) => people(v, "s")),
      range: (u, min, max) =>
        min === max ? [min - 1, max + 1] : [Math.min(0, min), Math.max(0, max) * 1.05],
    },
  ];
}

// The readout of the point under the pointer: a polite live region whose text changes at most
// every READOUT_INTERVAL_MS. show(index) puts sample `index` (or nothing) in it and on every
// plot's slider.
function createReadout(ctx, readout) {
  const hint = readout.textContent;
  const write = throttle((text) => {
    readout.textContent = text;
  }, READOUT_INTERVAL_MS);
  const text = (index) => {
    const s = ctx.state.samples;
    return (
      `${ctx.people(s.hz[index], "Hz")}: gain ${Number(s.gain[index].toPrecision(4))} ` +
      `(${s.gain_db[index].toFixed(2)} dB), phase ${s.phase_deg[index].toFixed(1)}°, ` +
      `group delay ${ctx.people(s.group_delay_s[index], "s")}`
    );
  };
  return (index) => {
    ctx.state.index = index;
    const s = ctx.state.samples;
    const valid = index != null && s && index < s.hz.length;
    for (const { area } of ctx.plots) {
      area.setAttribute("aria-valuenow", String(valid ? index : 0));
      area.setAttribute("aria-valuetext", valid ? ctx.people(s.hz[index], "Hz") : "no point");
    }
    write(valid ? text(index) : hint);
  };
}

// The axes of a plot of `kind`: log frequency with names at the decades, and the kind's own.
function axesFor(ctx, kind) {
  const common = {
    stroke: () => ctx.colors.axis,
    grid: { stroke: () => ctx.colors.grid, width: 1 },
    ticks: { stroke: () => ctx.colors.grid, width: 1 },
    font: "12px system-ui, sans-serif",
  };
  const xAxis = {
    ...common,
    splits: (u) => frequencySplits(u.scales.x.min, u.scales.x.max).map((split) => split.hz),
    values: (u, splits) => {
      const labelled = new Set(
        frequencySplits(u.scales.x.min, u.scales.x.max)
          .filter((split) => split.labelled)
          .map((split) => split.hz),
      );
      return splits.map((hz) => (labelled.has(hz) ? ctx.people(hz, "Hz") : ""));
    },
  };
  const yAxis = { ...common, size: 64, values: kind.ticks };
  if (kind.splits) yAxis.splits = kind.splits;
  return [xAxis, yAxis];
}

// The names of the marks above the gain plot, as elements so that they stay text; place(u)
// puts those of the marks in force in rows over the plotting area, hide() takes them away.
function createLabelStrip(ctx) {
  const strip = document.createElement("div");
  strip.className = "mark-labels";
  strip.setAttribute("aria-hidden", "true");
  const elements = {};
  const widths = new Map(); // "key text" => width in pixels
  for (const key of MARK_KEYS) {
    const label = document.createElement("span");
    label.className = `mark-label ${key}`;
    label.id = `mark-label-${key}`;
    label.hidden = true;
    strip.append(label);
    elements[key] = label;
  }
  const place = (u) => {
    const plotLeft = u.bbox.left / uPlot.pxRatio;
    const plotWidth = u.bbox.width / uPlot.pxRatio;
    const shown = ctx.state.marks.filter((mark) => {
      const x = u.valToPos(mark.hz, "x");
      return x >= 0 && x <= plotWidth;
    });
    for (const key of MARK_KEYS) elements[key].hidden = !shown.some((m) => m.key === key);
    const width = (mark) => {
      const label = elements[mark.key];
      if (label.textContent !== mark.label) label.textContent = mark.label;
      const id = `${mark.key} ${mark.label}`;
      if (!widths.has(id)) widths.set(id, label.offsetWidth);
      return widths.get(id);
    };
    const placed = stackLabels(
      shown.map((mark) => ({ x: u.valToPos(mark.hz, "x"), width: width(mark) })),
      plotWidth,
    );
    const rows = Math.max(RESERVED_LABEL_ROWS, rowCount(placed));
    strip.style.height = `${rows * LABEL_ROW_PX}px`;
    shown.forEach((mark, i) => {
      const label = elements[mark.key];
      label.style.left = `${plotLeft + placed[i].left}px`;
      label.style.bottom = `${placed[i].row * LABEL_ROW_PX}px`;
      label.dataset.row = String(placed[i].row);
    });
  };
  const hide = () => {
    for (const key of MARK_KEYS) elements[key].hidden = true;
  };
  return { strip, place, hide };
}

// Draws the marks on one plot: the band as a shaded stretch from the left edge, a vertical
// line at each mark, and on the gain plot the cutoff's level as a dashed line with a dot where
// the design should pass through it.
function drawMarks(ctx, u, kind) {
  const { state, colors } = ctx;
  const { ctx: canvas } = u;
  const { left, top, width, height } = u.bbox;
  const ratio = uPlot.pxRatio;
  canvas.save();
  canvas.beginPath();
  canvas.rect(left, top, width, height);
  canvas.clip();
  const band = state.marks.find((m) => m.key === "band");
  if (band) {
    const x = u.valToPos(band.hz, "x", true);
    canvas.fillStyle = colors.bandFill;
    canvas.fillRect(left, top, Math.max(0, Math.min(x, left + width) - left), height);
  }
  canvas.lineWidth = 1.5 * ratio;
  for (const mark of state.marks) {
    const x = u.valToPos(mark.hz, "x", true);
    canvas.strokeStyle = colors[mark.key];
    canvas.setLineDash(mark.dash.map((d) => d * ratio));
    canvas.beginPath();
    canvas.moveTo(x, top);
    canvas.lineTo(x, top + height);
    canvas.stroke();
  }
  if (kind.key === "gain" && Number.isFinite(state.levelDb)) {
    const y = u.valToPos(state.levelDb, "y", true);
    canvas.strokeStyle = colors.cutoff;
    canvas.setLineDash([3 * ratio, 3 * ratio]);
    canvas.lineWidth = ratio;
    canvas.beginPath();
    canvas.moveTo(left, y);
    canvas.lineTo(left + width, y);
    canvas.stroke();
    const cutoff = state.marks.find((m) => m.key === "cutoff");
    if (cutoff) {
      canvas.setLineDash([]);
      canvas.fillStyle = colors.cutoff;
      canvas.beginPath();
      canvas.arc(u.valToPos(cutoff.hz, "x", true), y, 4 * ratio, 0, 2 * Math.PI);
      canvas.fill();
    }
  }
  canvas.restore();
}

// The label a plot of `kind` is read out with.
function plotLabel(ctx, kind) {
  return (
    `${kind.title} against frequency. ${ctx.state.summary} ` +
    "Arrow and page keys move the readout along the curve, Home and End to its ends."
  );
}

// The figure of one plot: its caption, the marks' names over the gain plot, and the plotting
// area, a slider along the frequency axis (the arrow keys move its point). The gain plot's
// caption stands above the readout, which stays in view over the plots as they scroll: so the
// readout never covers it.
function plotFigure(ctx, kind, labels) {
  const figure = document.createElement("figure");
  figure.className = "plot";
  const first = kind.key === "gain";
  const caption = document.createElement(first ? "p" : "figcaption");
  caption.className = "plot-caption";
  caption.textContent = kind.title;
  caption.id = `plot-${kind.key}-caption`;
  if (first) {
    ctx.readout.before(caption);
    figure.setAttribute("aria-labelledby", caption.id);
    figure.append(labels.strip);
  } else {
    figure.append(caption);
  }
  const area = document.createElement("div");
  area.className = "plot-area";
  area.id = `plot-${kind.key}`;
  area.tabIndex = 0;
  area.setAttribute("role", "slider");
  area.setAttribute("aria-orientation", "horizontal");
  area.setAttribute("aria-valuemin", "0");
  area.setAttribute("aria-valuemax", "0");
  area.setAttribute("aria-valuenow", "0");
  area.setAttribute("aria-label", plotLabel(ctx, kind));
  figure.append(area);
  return { figure, area, caption };
}

// uPlot's series for a plot of `kind`, in SERIES order.
function seriesFor(ctx, kind) {
  const hiddenLine = { stroke: "transparent", width: 0, points: { show: false } };
  const line = (color, width, dash) => ({ stroke: color, width, dash, points: { show: false } });
  const series = [
    {},
    hiddenLine,
    { ...hiddenLine },
    line(() => ctx.colors.parts, 1.5, [6, 4]),
    line(() => ctx.colors.opamp, 1.5, [2, 3]),
    line(() => ctx.colors[kind.color], 2, undefined),
  ];
  for (let k = 0; k < MOST_STAGES; k++) {
    series.push(line(() => ctx.colors.stages[k], 1.25, STAGE_DASHES[k]));
  }
  return series;
}

// uPlot's options for a plot of `kind` drawn into `area`.
function plotOptions(ctx, kind, area, labels) {
  return {
    width: Math.max(ctx.container.clientWidth, 200),
    height: 200,
    legend: { show: false },
    scales: {
      x: {
        time: false,
        distr: 3,
        log: 10,
        // The axis ends where the data ends.
        range: (u, min, max) => (min > 0 && max > min ? [min, max] : [1, 1000]),
      },
      y: { range: kind.range },
    },
    axes: axesFor(ctx, kind),
    series: seriesFor(ctx, kind),
    bands: [
      {
        series: [SERIES.highest, SERIES.lowest],
        fill: () => withAlpha(ctx.colors[kind.color], ENVELOPE_ALPHA),
      },
    ],
    cursor: {
      sync: { key: "kestrane-response", setSeries: false },
      drag: { x: false, y: false, setScale: false },
      // A point on the design's curve only.
      points: {
        size: (u, seriesIndex) => (seriesIndex === SERIES.design ? 8 : 0),
        fill: () => ctx.colors[kind.color],
      },
    },
    hooks: {
      draw: [
        (u) => {
          drawMarks(ctx, u, kind);
          if (kind.key === "gain") labels.place(u);
          // Where the frequency axis ends, for the tests.
          area.dataset.axisMinHz = String(u.scales.x.min);
          area.dataset.axisMaxHz = String(u.scales.x.max);
        },
      ],
      setCursor: [(u) => ctx.showReadout(u.cursor.idx)],
    },
  };
}

// The plotted values of one quantity, or gaps when there is no list for these samples.
function curve(list, count) {
  if (!list || list.length !== count) return new Array(count).fill(null);
  return Array.from(list, finiteOrNull);
}

// The data of a plot of `kind`: the samples' frequencies and curve, and the curves of `parts`.
// The band's arrays are named after the curve's: gain_db has gain_lowest_db and
// gain_highest_db, phase_deg has phase_lowest_deg, group_delay_s group_delay_lowest_s; a
// stage's are stageK_gain_db, stageK_phase_deg and stageK_group_delay_s.
function dataFor(kind, s, parts) {
  const count = s.hz.length;
  const key = kind.samplesKey;
  const lowestKey = key.replace(/_(db|deg|s)$/, "_lowest_$1");
  const highestKey = lowestKey.replace("lowest", "highest");
  const data = [s.hz];
  data[SERIES.highest] = curve(parts?.envelope?.[highestKey], count);
  data[SERIES.lowest] = curve(parts?.envelope?.[lowestKey], count);
  data[SERIES.parts] = curve(parts?.samples?.[key], count);
  data[SERIES.opamp] = curve(parts?.opamp?.[key], count);
  data[SERIES.design] = curve(s[key], count);
  for (let k = 0; k < MOST_STAGES; k++) {
    data[SERIES.stage + k] = curve(parts?.stages?.[`stage${k + 1}_${key}`], count);
  }
  return data;
}

// Puts the cursor of every plot on sample `index`.
function setIndex(ctx, index) {
  const s = ctx.state.samples;
  if (!s || s.hz.length === 0) return;
  const i = Math.max(0, Math.min(s.hz.length - 1, index));
  for (const { plot } of ctx.plots) {
    const y = plot.data[SERIES.design][i];
    plot.setCursor({
      left: plot.valToPos(s.hz[i], "x"),
      top: y == null ? 0 : plot.valToPos(y, "y"),
    });
  }
  ctx.showReadout(i);
}

// Left and Down step back, Right and Up forward, a hundredth of the curve at a time (a tenth
// with Shift); PageDown and PageUp a tenth; Home and End go to the ends. The page does not
// scroll for these keys while a plot has the focus.
function moveByKey(ctx, event) {
  const s = ctx.state.samples;
  if (!s || s.hz.length === 0) return;
  const n = s.hz.length;
  const small = Math.max(1, Math.round(n / (event.shiftKey ? 10 : 100)));
  const big = Math.max(1, Math.round(n / 10));
  const current = ctx.state.index ?? Math.floor(n / 2);
  const moves = {
    ArrowLeft: current - small,
    ArrowDown: current - small,
    ArrowRight: current + small,
    ArrowUp: current + small,
    PageDown: current - big,
    PageUp: current + big,
    Home: 0,
    End: n - 1,
  };
  if (!(event.key in moves)) return;
  event.preventDefault();
  setIndex(ctx, moves[event.key]);
}

// Creates the plot of `kind` with its figure, and its keys.
function createPlot(ctx, kind, labels) {
  const { figure, area } = plotFigure(ctx, kind, labels);
  ctx.container.append(figure);
  const plot = new uPlot(plotOptions(ctx, kind, area, labels), NO_DATA, area);
  area.addEventListener("keydown", (event) => moveByKey(ctx, event));
  area.addEventListener("focus", () => {
    const s = ctx.state.samples;
    if (ctx.state.index == null && s) setIndex(ctx, Math.floor(s.hz.length / 2));
  });
  return { kind, plot, area };
}

// Follows the container's width; the height only steps down at phone width. A printed page
// shows the plots scaled to its width (the style sheet's --print-zoom). The sizes change in
// the next frame, not inside the observer's callback, so that the observer is not told of its
// own change (which browsers report as a loop with undelivered notifications).
function followWidth(ctx) {
  let laidOutWidth = 0;
  let frame = 0;
  const printing = window.matchMedia("print");
  const resize = () => {
    frame = 0;
    if (printing.matches) return; // the printed page scales the screen's plots
    const width = Math.max(ctx.container.clientWidth, 200);
    if (width === laidOutWidth) return;
    laidOutWidth = width;
    const height = width < 560 ? 170 : 210;
    for (const { plot } of ctx.plots) plot.setSize({ width, height });
    ctx.container.style.setProperty("--print-zoom", String(Math.min(1, PRINT_WIDTH_PX / width)));
  };
  new ResizeObserver(() => {
    if (frame === 0) frame = requestAnimationFrame(resize);
  }).observe(ctx.container);
}

// A change of colour scheme, or printing (always in the light one), redraws the plots in the
// scheme's colours.
function followScheme(ctx) {
  for (const query of ["(prefers-color-scheme: dark)", "print"]) {
    window.matchMedia(query).addEventListener("change", () => {
      ctx.colors = themeColors();
      for (const { plot } of ctx.plots) plot.setData(plot.data);
    });
  }
}

// What a plot shows, for the tests: its points and which curves it holds.
function markDataset(area, samples, parts) {
  area.dataset.points = String(samples ? samples.hz.length : 0);
  area.dataset.parts = String(Boolean(parts?.samples));
  area.dataset.envelope = String(Boolean(parts?.envelope));
  area.dataset.opamp = String(Boolean(parts?.opamp));
  const stages = parts?.stages ? Object.keys(parts.stages).length / 3 : 0;
  area.dataset.stages = String(stages);
  area.dataset.firstHz = samples?.hz.length ? String(samples.hz[0]) : "";
  area.dataset.lastHz = samples?.hz.length ? String(samples.hz.at(-1)) : "";
  area.setAttribute("aria-valuemax", String(samples ? Math.max(0, samples.hz.length - 1) : 0));
}

// Creates the three plots inside `container` and returns their controller:
//   show(samples, marks, parts)  plots the samples ({ hz, gain, gain_db, phase_deg,
//                                group_delay_s }) with the marks ({ list: [{ key, hz, label }],
//                                levelDb: the gain plot's cutoff level, NaN for none});
//                                parts, when given, holds the set's samples (same names, same
//                                frequencies), their band ({ gain_lowest_db, gain_highest_db,
//                                ... }), the op-amp's samples and the stages' own curves
//                                (samples, envelope, opamp, stages), any of which may be null
//   clear()                      empties the plots (no design); their room stays
//   describe(text)               the design's summary, which each plot's label carries
//   onDrawn                      called after every redraw
// `readout` shows the point under the pointer; `core` writes numbers for people
// (Core.engineering).
export function createPlots(container, readout, core) {
  const ctx = {
    container,
    state: { samples: null, marks: [], levelDb: NaN, index: null, onDrawn: () => {}, summary: "" },
    colors: themeColors(),
    people: peopleWriter(core),
    plots: [],
    readout,
  };
  ctx.showReadout = createReadout(ctx, readout);
  const labels = createLabelStrip(ctx);
  for (const kind of plotKinds(ctx.people)) ctx.plots.push(createPlot(ctx, kind, labels));
  ctx.plots.at(-1).plot.hooks.draw.push(() => ctx.state.onDrawn());
  followWidth(ctx);
  followScheme(ctx);
  return {
    show(samples, marks, parts = null) {
      container.classList.remove("empty");
      ctx.state.samples = samples;
      ctx.state.marks = markList(marks.list);
      ctx.state.levelDb = marks.levelDb;
      ctx.state.index = null;
      for (const { kind, plot, area } of ctx.plots) {
        plot.setData(dataFor(kind, samples, parts));
        markDataset(area, samples, parts);
      }
      ctx.showReadout(null);
    },
    clear() {
      container.classList.add("empty");
      ctx.state.samples = null;
      ctx.state.marks = [];
      for (const { plot, area } of ctx.plots) {
        plot.setData(NO_DATA);
        markDataset(area, null, null);
      }
      labels.hide();
      ctx.showReadout(null);
    },
    describe(summary) {
      ctx.state.summary = summary;
      for (const { kind, area } of ctx.plots) area.setAttribute("aria-label", plotLabel(ctx, kind));
    },
    set onDrawn(callback) {
      ctx.state.onDrawn = callback;
    },
  };
}
