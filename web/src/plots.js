// The response plots: gain in dB, phase and group delay against log frequency, drawn by uPlot,
// with the design's marks (cutoff, top of the flat band, passband edge, band) as lines and
// their names in rows above the gain plot, a readout of the point under the pointer, and keys
// that move that point. Beside the design's own curve, each plot may show the shown set of
// standard parts on the real circuit (dashed), the band their tolerances allow over the whole
// tolerance box (shaded), and the set with the op-amp model. Colours come from the
// style sheet's custom properties, so the plots follow the light and the dark scheme.
import uPlot from "uplot";

import { frequencySplits, rowCount, stackLabels } from "./layout.js";
import { themeColors } from "./theme.js";
import { throttle } from "./view.js";

// The curves of a plot in the order drawn, as uPlot numbers its series (0 is frequency): the
// tolerance band's upper and lower edges, the set's curve, the set with the op-amp, and the
// design's own curve on top.
const SERIES = { highest: 1, lowest: 2, parts: 3, opamp: 4, design: 5 };
const NO_DATA = [[], [], [], [], [], []];
const ENVELOPE_ALPHA = 0.2;
const LABEL_ROW_PX = 18;
const RESERVED_LABEL_ROWS = 2;
const READOUT_INTERVAL_MS = 250;
// The plots' width on a printed A4 page, in CSS pixels, with the results above them.
const PRINT_WIDTH_PX = 600;


// "#rrggbb" at `alpha`, as a CSS colour.
function withAlpha(hex, alpha) {
  const channel = (at) => parseInt(hex.slice(at, at + 2), 16);
  return `rgba(${channel(1)}, ${channel(3)}, ${channel(5)}, ${alpha})`;
}

function finiteOrNull(value) {
  return Number.isFinite(value) ? value : null;
}

// The design's marks, in the order their names claim the lowest row: { key, hz, label, dash }.
// `marks` holds frequencies in hertz (their magnitudes count): cutoffHz, flatTopHz, edgeHz,
// bandHz, any of which may be missing or not finite.
function markList(marks) {
  const list = [];
  const add = (key, hz, label, dash) => {
    if (Math.abs(hz) > 0 && Number.isFinite(hz)) list.push({ key, hz: Math.abs(hz), label, dash });
  };
  add("cutoff", marks.cutoffHz, "cutoff", []);
  add("edge", marks.edgeHz, "passband edge", [6, 4]);
  add("flatTop", marks.flatTopHz, "flat top", [6, 4]);
  add("band", marks.bandHz, "band", [2, 3]);
  return list;
}

const MARK_KEYS = ["cutoff", "edge", "flatTop", "band"];
const MARK_NAMES = { cutoff: "cutoff", edge: "passband edge", flatTop: "flat top", band: "band" };

// Creates the three plots inside `container` and returns their controller:
//   show(samples, marks, parts)  plots the samples ({ hz, gain, phase_deg, group_delay_s })
//                                with the marks; parts, when given, holds the set's samples
//                                (same names, same frequencies), their band ({ gain_lowest,
//                                gain_highest, ... }) and the op-amp's samples (samples,
//                                envelope, opamp), any of which may be null
//   clear()                      empties the plots (no design); their room stays
//   describe(text)               the design's summary, which each plot's label carries
//   onDrawn                      called after every redraw
// `readout` shows the point under the pointer; `core` writes numbers for people
// (Core.engineering) and gives the gain at the cutoff (Core.cutoffGain).
export function createPlots(container, readout, core) {
  const state = { samples: null, marks: [], index: null, onDrawn: () => {}, summary: "" };
  const cutoffDb = core.constants.cutoff_gain_db;
  let colors = themeColors();
  const plots = [];
  const hint = readout.textContent;
  const engineeringCache = new Map();
  const people = (value, unit) => {
    const key = `${value} ${unit}`;
    if (!engineeringCache.has(key)) {
      if (engineeringCache.size > 2000) engineeringCache.clear();
      engineeringCache.set(key, core.engineering(value, unit));
    }
    return engineeringCache.get(key);
  };

  const KINDS = [
    {
      key: "gain",
      samplesKey: "gain_db",
      title: "Gain, dB",
      color: "gain",
      ticks: (u, splits) => splits.map((v) => `${Number(v.toPrecision(4))}`),
      range: (u, min, max) => [Math.min(min, cutoffDb - 3), Math.max(max, 3)],
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
        const step = max - min > 270 ? 90 : 45;
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

  const readoutText = (index) => {
    const s = state.samples;
    const gain = s.gain[index];
    return (
      `${people(s.hz[index], "Hz")}: gain ${Number(gain.toPrecision(4))} ` +
      `(${s.gain_db[index].toFixed(2)} dB), phase ${s.phase_deg[index].toFixed(1)}°, ` +
      `group delay ${people(s.group_delay_s[index], "s")}`
    );
  };
  // The readout is a polite live region: its text changes at most every READOUT_INTERVAL_MS.
  const writeReadout = throttle((text) => {
    readout.textContent = text;
  }, READOUT_INTERVAL_MS);
  const showReadout = (index) => {
    state.index = index;
    const s = state.samples;
    const valid = index != null && s && index < s.hz.length;
    for (const { area } of plots) {
      area.setAttribute("aria-valuenow", String(valid ? index : 0));
      area.setAttribute("aria-valuetext", valid ? people(s.hz[index], "Hz") : "no point");
    }
    writeReadout(valid ? readoutText(index) : hint);
  };

  const axesFor = (kind) => {
    const common = {
      stroke: () => colors.axis,
      grid: { stroke: () => colors.grid, width: 1 },
      ticks: { stroke: () => colors.grid, width: 1 },
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
        return splits.map((hz) => (labelled.has(hz) ? people(hz, "Hz") : ""));
      },
    };
    const yAxis = { ...common, size: 64, values: kind.ticks };
    if (kind.splits) yAxis.splits = kind.splits;
    return [xAxis, yAxis];
  };

  // The names of the marks above the gain plot, as elements so that they stay text.
  const labelStrip = document.createElement("div");
  labelStrip.className = "mark-labels";
  labelStrip.setAttribute("aria-hidden", "true");
  const labelElements = {};
  for (const key of MARK_KEYS) {
    const label = document.createElement("span");
    label.className = `mark-label ${key}`;
    label.id = `mark-label-${key}`;
    label.textContent = MARK_NAMES[key];
    label.hidden = true;
    labelStrip.append(label);
    labelElements[key] = label;
  }
  const labelWidths = {};

  // Places the names of the marks in rows over the gain plot's plotting area.
  const placeLabels = (u) => {
    const plotLeft = u.bbox.left / uPlot.pxRatio;
    const plotWidth = u.bbox.width / uPlot.pxRatio;
    const shown = state.marks.filter((mark) => {
      const x = u.valToPos(mark.hz, "x");
      return x >= 0 && x <= plotWidth;
    });
    for (const key of MARK_KEYS) labelElements[key].hidden = !shown.some((m) => m.key === key);
    for (const mark of shown) labelWidths[mark.key] ||= labelElements[mark.key].offsetWidth;
    const placed = stackLabels(
      shown.map((mark) => ({ x: u.valToPos(mark.hz, "x"), width: labelWidths[mark.key] })),
      plotWidth,
    );
    const rows = Math.max(RESERVED_LABEL_ROWS, rowCount(placed));
    labelStrip.style.height = `${rows * LABEL_ROW_PX}px`;
    shown.forEach((mark, i) => {
      const label = labelElements[mark.key];
      label.style.left = `${plotLeft + placed[i].left}px`;
      label.style.bottom = `${placed[i].row * LABEL_ROW_PX}px`;
      label.dataset.row = String(placed[i].row);
    });
  };

  // Draws the marks on one plot: the band as a shaded stretch from the left edge, a vertical
  // line at each mark, and on the gain plot the cutoff gain as a dashed level with a dot where
  // the design should pass through it.
  const drawMarks = (u, kind) => {
    const { ctx } = u;
    const { left, top, width, height } = u.bbox;
    const ratio = uPlot.pxRatio;
    ctx.save();
    ctx.beginPath();
    ctx.rect(left, top, width, height);
    ctx.clip();
    const band = state.marks.find((m) => m.key === "band");
    if (band) {
      const x = u.valToPos(band.hz, "x", true);
      ctx.fillStyle = colors.bandFill;
      ctx.fillRect(left, top, Math.max(0, Math.min(x, left + width) - left), height);
    }
    ctx.lineWidth = 1.5 * ratio;
    for (const mark of state.marks) {
      const x = u.valToPos(mark.hz, "x", true);
      ctx.strokeStyle = colors[mark.key];
      ctx.setLineDash(mark.dash.map((d) => d * ratio));
      ctx.beginPath();
      ctx.moveTo(x, top);
      ctx.lineTo(x, top + height);
      ctx.stroke();
    }
    if (kind.key === "gain") {
      const y = u.valToPos(cutoffDb, "y", true);
      ctx.strokeStyle = colors.cutoff;
      ctx.setLineDash([3 * ratio, 3 * ratio]);
      ctx.lineWidth = ratio;
      ctx.beginPath();
      ctx.moveTo(left, y);
      ctx.lineTo(left + width, y);
      ctx.stroke();
      const cutoff = state.marks.find((m) => m.key === "cutoff");
      if (cutoff) {
        ctx.setLineDash([]);
        ctx.fillStyle = colors.cutoff;
        ctx.beginPath();
        ctx.arc(u.valToPos(cutoff.hz, "x", true), y, 4 * ratio, 0, 2 * Math.PI);
        ctx.fill();
      }
    }
    ctx.restore();
  };

  const label = (kind) =>
    `${kind.title} against frequency. ${state.summary} ` +
    "Arrow and page keys move the readout along the curve, Home and End to its ends.";

  for (const kind of KINDS) {
    const figure = document.createElement("figure");
    figure.className = "plot";
    const caption = document.createElement("figcaption");
    caption.textContent = kind.title;
    caption.id = `plot-${kind.key}-caption`;
    figure.append(caption);
    if (kind.key === "gain") figure.append(labelStrip);
    // The plot itself is a slider along the frequency axis: the arrow keys move its point.
    const area = document.createElement("div");
    area.className = "plot-area";
    area.id = `plot-${kind.key}`;
    area.tabIndex = 0;
    area.setAttribute("role", "slider");
    area.setAttribute("aria-orientation", "horizontal");
    area.setAttribute("aria-valuemin", "0");
    area.setAttribute("aria-valuemax", "0");
    area.setAttribute("aria-valuenow", "0");
    area.setAttribute("aria-label", label(kind));
    figure.append(area);
    container.append(figure);
    const [xAxis, yAxis] = axesFor(kind);
    const options = {
      width: Math.max(container.clientWidth, 200),
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
      axes: [xAxis, yAxis],
      series: [
        {},
        { stroke: "transparent", width: 0, points: { show: false } },
        { stroke: "transparent", width: 0, points: { show: false } },
        { stroke: () => colors.parts, width: 1.5, dash: [6, 4], points: { show: false } },
        { stroke: () => colors.opamp, width: 1.5, dash: [2, 3], points: { show: false } },
        { stroke: () => colors[kind.color], width: 2, points: { show: false } },
      ],
      bands: [
        {
          series: [SERIES.highest, SERIES.lowest],
          fill: () => withAlpha(colors[kind.color], ENVELOPE_ALPHA),
        },
      ],
      cursor: {
        sync: { key: "kestrane-response", setSeries: false },
        drag: { x: false, y: false, setScale: false },
        // A point on the design's curve only.
        points: {
          size: (u, seriesIndex) => (seriesIndex === SERIES.design ? 8 : 0),
          fill: () => colors[kind.color],
        },
      },
      hooks: {
        draw: [
          (u) => {
            drawMarks(u, kind);
            if (kind.key === "gain") placeLabels(u);
            // Where the frequency axis ends, for the tests.
            area.dataset.axisMinHz = String(u.scales.x.min);
            area.dataset.axisMaxHz = String(u.scales.x.max);
          },
        ],
        setCursor: [(u) => showReadout(u.cursor.idx)],
      },
    };
    const plot = new uPlot(options, NO_DATA, area);
    plots.push({ kind, plot, area });
    area.addEventListener("keydown", (event) => moveByKey(event));
    area.addEventListener("focus", () => {
      if (state.index == null && state.samples) setIndex(Math.floor(state.samples.hz.length / 2));
    });
  }
  plots[plots.length - 1].plot.hooks.draw.push(() => state.onDrawn());

  // The plotted values of one quantity, or gaps when there is no list for these samples.
  const curve = (list, count) => {
    if (!list || list.length !== count) return new Array(count).fill(null);
    return Array.from(list, finiteOrNull);
  };
  // The band's arrays are named after the curve's: gain_db has gain_lowest_db and
  // gain_highest_db, phase_deg has phase_lowest_deg, group_delay_s group_delay_lowest_s.
  const dataFor = (kind, s, parts) => {
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
    return data;
  };

  // Puts the cursor of every plot on sample `index`.
  const setIndex = (index) => {
    const s = state.samples;
    if (!s || s.hz.length === 0) return;
    const i = Math.max(0, Math.min(s.hz.length - 1, index));
    for (const { plot } of plots) {
      const y = plot.data[SERIES.design][i];
      plot.setCursor({
        left: plot.valToPos(s.hz[i], "x"),
        top: y == null ? 0 : plot.valToPos(y, "y"),
      });
    }
    showReadout(i);
  };

  // Left and Down step back, Right and Up forward, a hundredth of the curve at a time (a tenth
  // with Shift); PageDown and PageUp a tenth; Home and End go to the ends. The page does not
  // scroll for these keys while a plot has the focus.
  const moveByKey = (event) => {
    const s = state.samples;
    if (!s || s.hz.length === 0) return;
    const n = s.hz.length;
    const small = Math.max(1, Math.round(n / (event.shiftKey ? 10 : 100)));
    const big = Math.max(1, Math.round(n / 10));
    const current = state.index ?? Math.floor(n / 2);
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
    setIndex(moves[event.key]);
  };

  // Follows the container's width; the height only steps down at phone width. A printed page
  // shows the plots scaled to its width (the style sheet's --print-zoom).
  let laidOutWidth = 0;
  const printing = window.matchMedia("print");
  const resize = () => {
    if (printing.matches) return; // the printed page scales the screen's plots
    const width = Math.max(container.clientWidth, 200);
    if (width === laidOutWidth) return;
    laidOutWidth = width;
    const height = width < 560 ? 170 : 210;
    for (const { plot } of plots) plot.setSize({ width, height });
    container.style.setProperty("--print-zoom", String(Math.min(1, PRINT_WIDTH_PX / width)));
  };
  new ResizeObserver(resize).observe(container);

  // A change of colour scheme, or printing (always in the light one), redraws the plots in
  // the scheme's colours.
  for (const query of ["(prefers-color-scheme: dark)", "print"]) {
    window.matchMedia(query).addEventListener("change", () => {
      colors = themeColors();
      for (const { plot } of plots) plot.setData(plot.data);
    });
  }

  const markDataset = (area, samples, parts) => {
    area.dataset.points = String(samples ? samples.hz.length : 0);
    area.dataset.parts = String(Boolean(parts?.samples));
    area.dataset.envelope = String(Boolean(parts?.envelope));
    area.dataset.opamp = String(Boolean(parts?.opamp));
    area.dataset.firstHz = samples?.hz.length ? String(samples.hz[0]) : "";
    area.dataset.lastHz = samples?.hz.length ? String(samples.hz.at(-1)) : "";
    area.setAttribute("aria-valuemax", String(samples ? Math.max(0, samples.hz.length - 1) : 0));
  };

  return {
    show(samples, marks, parts = null) {
      container.classList.remove("empty");
      state.samples = samples;
      state.marks = markList(marks);
      state.index = null;
      for (const { kind, plot, area } of plots) {
        plot.setData(dataFor(kind, samples, parts));
        markDataset(area, samples, parts);
      }
      showReadout(null);
    },
    clear() {
      container.classList.add("empty");
      state.samples = null;
      state.marks = [];
      for (const { plot, area } of plots) {
        plot.setData(NO_DATA);
        markDataset(area, null, null);
      }
      for (const key of MARK_KEYS) labelElements[key].hidden = true;
      showReadout(null);
    },
    describe(summary) {
      state.summary = summary;
      for (const { kind, area } of plots) area.setAttribute("aria-label", label(kind));
    },
    set onDrawn(callback) {
      state.onDrawn = callback;
    },
  };
}
