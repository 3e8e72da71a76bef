// The response plots: gain in dB, phase and group delay against log frequency, drawn by uPlot,
// with the design's marks (cutoff, top of the flat band, passband edge, band), a readout of
// the point under the pointer, and arrow keys that move that point. Beside the design's own
// curve, each plot may show the response of its standard parts (dashed) and the band their
// tolerances allow (shaded).
import uPlot from "uplot";

export const COLORS = {
  gain: "#1d5fb8",
  phase: "#b4481d",
  delay: "#2c7a4b",
  cutoff: "#c62828",
  flatTop: "#7b3fa0",
  edge: "#d97a00",
  band: "#1e88e5",
  bandFill: "rgba(30, 136, 229, 0.09)",
  grid: "rgba(30, 40, 60, 0.10)",
  axis: "#4a5568",
  parts: "#1c2430",
};

// The curves of a plot in the order drawn, as uPlot numbers its series (0 is frequency): the
// tolerance band's upper and lower edges, the standard parts' curve, and the design's own
// curve on top.
const SERIES = { highest: 1, lowest: 2, parts: 3, design: 4 };
const ENVELOPE_ALPHA = 0.2;

// The gain the design aims at the cutoff, and the same in decibels.
const CUTOFF_GAIN = 0.7071;
const CUTOFF_DB = 20 * Math.log10(CUTOFF_GAIN);

const SI_PREFIXES = [
  [1e9, "G"],
  [1e6, "M"],
  [1e3, "k"],
  [1, ""],
  [1e-3, "m"],
  [1e-6, "µ"],
  [1e-9, "n"],
  [1e-12, "p"],
];

// `value` with an SI prefix and `unit`, to `digits` significant digits ("1.5 kHz", "220 µs").
export function withPrefix(value, unit, digits = 4) {
  if (!Number.isFinite(value)) return "–";
  if (value === 0) return `0 ${unit}`;
  const magnitude = Math.abs(value);
  const [scale, prefix] = SI_PREFIXES.find(([s]) => magnitude >= s * 0.9995) ?? [1, ""];
  if (magnitude >= 1e12 || magnitude < 1e-12) {
    return `${value.toExponential(digits - 1)} ${unit}`;
  }
  return `${Number((value / scale).toPrecision(digits))} ${prefix}${unit}`;
}

// The frequencies to plot for a design: from three decades below the cutoff (two below the top
// of the flat band) to two decades above it, widened to show the band when it is within reach.
// Cutoffs that are not finite or not positive (a negative cutoff designs a mirrored filter)
// are taken by their magnitude, or as 1 kHz when that is 0 or infinite.
export function plotRange(cutoffHz, bandHz) {
  let centre = Math.abs(cutoffHz);
  if (!(centre > 0 && centre < Infinity)) centre = 1000;
  let lowHz = centre / 1000;
  let highHz = centre * 100;
  const band = Math.abs(bandHz);
  if (band > 0 && band < Infinity) {
    lowHz = Math.max(Math.min(lowHz, band / 3), centre * 1e-6);
    highHz = Math.min(Math.max(highHz, band * 3), centre * 1e4);
  }
  return { lowHz, highHz: Math.min(highHz, Number.MAX_VALUE) };
}

function finiteOrNull(value) {
  return Number.isFinite(value) ? value : null;
}

// "#rrggbb" at `alpha`, as a CSS colour.
function withAlpha(hex, alpha) {
  const channel = (at) => parseInt(hex.slice(at, at + 2), 16);
  return `rgba(${channel(1)}, ${channel(3)}, ${channel(5)}, ${alpha})`;
}

function frequencyTicks(u, splits) {
  return splits.map((hz) => {
    const exponent = Math.log10(hz);
    return Math.abs(exponent - Math.round(exponent)) < 1e-9 ? withPrefix(hz, "Hz", 3) : "";
  });
}

function axesFor(unitTicks) {
  const common = {
    stroke: COLORS.axis,
    grid: { stroke: COLORS.grid, width: 1 },
    ticks: { stroke: COLORS.grid, width: 1 },
    font: "12px system-ui, sans-serif",
  };
  return [
    { ...common, values: frequencyTicks },
    { ...common, size: 64, values: unitTicks },
  ];
}

const PLOTS = [
  {
    key: "gain",
    samplesKey: "gain",
    toPlot: (gain) => 20 * Math.log10(gain),
    title: "Gain, dB",
    color: COLORS.gain,
    ticks: (u, splits) => splits.map((v) => `${Number(v.toPrecision(4))}`),
    range: (u, min, max) => [Math.min(min, CUTOFF_DB - 3), Math.max(max, 3)],
  },
  {
    key: "phase",
    samplesKey: "phaseDeg",
    toPlot: (degrees) => degrees,
    title: "Phase, degrees",
    color: COLORS.phase,
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
    samplesKey: "groupDelayS",
    toPlot: (seconds) => seconds,
    title: "Group delay",
    color: COLORS.delay,
    ticks: (u, splits) => splits.map((v) => withPrefix(v, "s", 3)),
    range: (u, min, max) =>
      min === max ? [min - 1, max + 1] : [Math.min(0, min), Math.max(0, max) * 1.05],
  },
];

// The marks of a design, in the order they are drawn: { hz, label, color, dash }. `marks`
// holds absolute frequencies in hertz: cutoffHz, flatTopHz, edgeHz, bandHz (any may be
// missing).
function markList(marks) {
  const list = [];
  const add = (hz, label, color, dash) => {
    if (Math.abs(hz) > 0 && Number.isFinite(hz)) {
      list.push({ hz: Math.abs(hz), label, color, dash });
    }
  };
  add(marks.bandHz, "band", COLORS.band, [2, 3]);
  add(marks.flatTopHz, "flat top", COLORS.flatTop, [6, 4]);
  add(marks.edgeHz, "passband edge", COLORS.edge, [6, 4]);
  add(marks.cutoffHz, "cutoff", COLORS.cutoff, []);
  return list;
}

// Draws the marks on one plot: the band as a shaded stretch from the left edge, a vertical line
// at each mark, their names along the top of the first plot, and on the gain plot the cutoff
// gain as a dashed level with a dot where the design should pass through it.
function drawMarks(u, kind, state) {
  const { ctx } = u;
  const { left, top, width, height } = u.bbox;
  const ratio = uPlot.pxRatio;
  ctx.save();
  ctx.beginPath();
  ctx.rect(left, top, width, height);
  ctx.clip();
  const band = state.marks.find((m) => m.label === "band");
  if (band) {
    const x = u.valToPos(band.hz, "x", true);
    ctx.fillStyle = COLORS.bandFill;
    ctx.fillRect(left, top, Math.max(0, Math.min(x, left + width) - left), height);
  }
  ctx.lineWidth = 1.5 * ratio;
  for (const mark of state.marks) {
    const x = u.valToPos(mark.hz, "x", true);
    ctx.strokeStyle = mark.color;
    ctx.setLineDash(mark.dash.map((d) => d * ratio));
    ctx.beginPath();
    ctx.moveTo(x, top);
    ctx.lineTo(x, top + height);
    ctx.stroke();
  }
  if (kind.key === "gain") {
    const y = u.valToPos(CUTOFF_DB, "y", true);
    ctx.strokeStyle = COLORS.cutoff;
    ctx.setLineDash([3 * ratio, 3 * ratio]);
    ctx.lineWidth = ratio;
    ctx.beginPath();
    ctx.moveTo(left, y);
    ctx.lineTo(left + width, y);
    ctx.stroke();
    const cutoff = state.marks.find((m) => m.label === "cutoff");
    if (cutoff) {
      ctx.setLineDash([]);
      ctx.fillStyle = COLORS.cutoff;
      ctx.beginPath();
      ctx.arc(u.valToPos(cutoff.hz, "x", true), y, 4 * ratio, 0, 2 * Math.PI);
      ctx.fill();
    }
    // The names stand at the foot of the gain plot, clear of the flat passband, one row each.
    ctx.setLineDash([]);
    ctx.font = `${11 * ratio}px system-ui, sans-serif`;
    ctx.textBaseline = "bottom";
    state.marks.forEach((mark, row) => {
      const x = u.valToPos(mark.hz, "x", true);
      const textWidth = ctx.measureText(mark.label).width;
      const onRight = x + 4 * ratio + textWidth < left + width;
      ctx.textAlign = onRight ? "left" : "right";
      ctx.fillStyle = mark.color;
      const rowsUp = state.marks.length - 1 - row;
      const y = top + height - (4 + 14 * rowsUp) * ratio;
      ctx.fillText(mark.label, x + (onRight ? 4 : -4) * ratio, y);
    });
  }
  ctx.restore();
}

function emptyData() {
  return [[], [], [], [], []];
}

// Creates the three plots inside `container` and returns their controller:
//   show(samples, marks, parts)  plots the samples ({ hz, gain, phaseDeg, groupDelayS }) with
//                                the marks; parts, when given, holds the standard parts'
//                                samples (gain, phaseDeg, groupDelayS at the same frequencies)
//                                and their envelope ({ gain, phaseDeg, groupDelayS }, each
//                                { lowest, highest }), either of which may be null
//   clear()                      empties the plots (no design)
//   onDrawn                      called after every redraw
// `readout` is the element that shows the point under the pointer.
export function createPlots(container, readout) {
  const state = { samples: null, marks: [], index: null, onDrawn: () => {} };
  const plots = [];
  const hint = readout.textContent;

  const showReadout = (index) => {
    state.index = index;
    const s = state.samples;
    if (index == null || !s || index >= s.hz.length) {
      readout.textContent = hint;
      return;
    }
    const gain = s.gain[index];
    readout.textContent =
      `${withPrefix(s.hz[index], "Hz")}: gain ${Number(gain.toPrecision(4))} ` +
      `(${(20 * Math.log10(gain)).toFixed(2)} dB), phase ${s.phaseDeg[index].toFixed(1)}°, ` +
      `group delay ${withPrefix(s.groupDelayS[index], "s", 3)}`;
  };

  for (const kind of PLOTS) {
    const figure = document.createElement("figure");
    figure.className = "plot";
    figure.id = `plot-${kind.key}`;
    figure.tabIndex = 0;
    figure.setAttribute("role", "img");
    figure.setAttribute(
      "aria-label",
      `${kind.title} against frequency. Arrow keys move the readout along the curve.`,
    );
    const caption = document.createElement("figcaption");
    caption.textContent = kind.title;
    figure.append(caption);
    container.append(figure);
    const [xAxis, yAxis] = axesFor(kind.ticks);
    if (kind.splits) yAxis.splits = kind.splits;
    const options = {
      width: Math.max(container.clientWidth, 200),
      height: 200,
      legend: { show: false },
      scales: {
        x: { time: false, distr: 3, log: 10 },
        y: { range: kind.range },
      },
      axes: [xAxis, yAxis],
      series: [
        {},
        { stroke: "transparent", width: 0, points: { show: false } },
        { stroke: "transparent", width: 0, points: { show: false } },
        { stroke: COLORS.parts, width: 1.5, dash: [6, 4], points: { show: false } },
        { stroke: kind.color, width: 2, points: { show: false } },
      ],
      bands: [
        { series: [SERIES.highest, SERIES.lowest], fill: withAlpha(kind.color, ENVELOPE_ALPHA) },
      ],
      cursor: {
        sync: { key: "kestrane-response", setSeries: false },
        drag: { x: false, y: false, setScale: false },
        // A point on the design's curve only.
        points: {
          size: (u, seriesIndex) => (seriesIndex === SERIES.design ? 8 : 0),
          fill: kind.color,
        },
      },
      hooks: {
        draw: [(u) => drawMarks(u, kind, state)],
        setCursor: [(u) => showReadout(u.cursor.idx)],
      },
    };
    const plot = new uPlot(options, emptyData(), figure);
    plots.push({ kind, plot, figure });
    figure.addEventListener("keydown", (event) => moveByKey(event));
    figure.addEventListener("focus", () => {
      if (state.index == null && state.samples) setIndex(Math.floor(state.samples.hz.length / 2));
    });
  }
  plots[plots.length - 1].plot.hooks.draw.push(() => state.onDrawn());

  // The plotted values of one quantity (a list of gains, phases or delays), or gaps when there
  // is no list for these samples.
  const curve = (kind, list, count) => {
    if (!list || list.length !== count) return new Array(count).fill(null);
    return list.map((v) => finiteOrNull(kind.toPlot(v)));
  };
  const dataFor = (kind, s, parts) => {
    const count = s.hz.length;
    const key = kind.samplesKey;
    const data = [s.hz];
    data[SERIES.highest] = curve(kind, parts?.envelope?.[key].highest, count);
    data[SERIES.lowest] = curve(kind, parts?.envelope?.[key].lowest, count);
    data[SERIES.parts] = curve(kind, parts?.samples?.[key], count);
    data[SERIES.design] = curve(kind, s[key], count);
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

  const moveByKey = (event) => {
    const s = state.samples;
    if (!s || s.hz.length === 0) return;
    const n = s.hz.length;
    const step = Math.max(1, Math.round(n / (event.shiftKey ? 10 : 100)));
    const current = state.index ?? Math.floor(n / 2);
    const moves = {
      ArrowLeft: current - step,
      ArrowRight: current + step,
      Home: 0,
      End: n - 1,
    };
    if (!(event.key in moves)) return;
    event.preventDefault();
    setIndex(moves[event.key]);
  };

  // Follows the container's width; the height only steps down at phone width.
  let laidOutWidth = 0;
  const resize = () => {
    const width = Math.max(container.clientWidth, 200);
    if (width === laidOutWidth) return;
    laidOutWidth = width;
    const height = width < 560 ? 170 : 210;
    for (const { plot } of plots) plot.setSize({ width, height });
  };
  new ResizeObserver(resize).observe(container);

  return {
    show(samples, marks, parts = null) {
      container.hidden = false;
      state.samples = samples;
      state.marks = markList(marks);
      state.index = null;
      for (const { kind, plot, figure } of plots) {
        plot.setData(dataFor(kind, samples, parts));
        figure.dataset.points = String(samples.hz.length);
        figure.dataset.parts = String(Boolean(parts?.samples));
        figure.dataset.envelope = String(Boolean(parts?.envelope));
      }
      showReadout(null);
    },
    clear() {
      container.hidden = true;
      state.samples = null;
      state.marks = [];
      for (const { plot, figure } of plots) {
        plot.setData(emptyData());
        figure.dataset.points = "0";
        figure.dataset.parts = "false";
        figure.dataset.envelope = "false";
      }
      showReadout(null);
    },
    set onDrawn(callback) {
      state.onDrawn = callback;
    },
  };
}
