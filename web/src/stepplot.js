// The step response plot: the shown set's output after a 1 V step at its input, with the ideal
// op-amp (dashed) and with the op-amp model, against time, drawn by uPlot in the style sheet's
// colours.
import uPlot from "uplot";

import { themeColors } from "./theme.js";

const NO_DATA = [[], [], []];

// Creates the plot inside `container` and returns its controller:
//   show(step)       plots step.arrays ({ t_s, ideal, model }) and says in the label what the
//                    figures are (`summary`)
//   clear()          empties the plot; its room stays
// `core` writes times for people (Core.engineering).
export function createStepPlot(container, core) {
  let colors = themeColors();
  const area = document.createElement("div");
  area.className = "plot-area";
  area.id = "plot-step";
  area.setAttribute("role", "img");
  area.setAttribute("aria-label", "Step response: no set to show.");
  container.append(area);
  const axis = {
    stroke: () => colors.axis,
    grid: { stroke: () => colors.grid, width: 1 },
    ticks: { stroke: () => colors.grid, width: 1 },
    font: "12px system-ui, sans-serif",
  };
  const options = {
    width: Math.max(container.clientWidth, 200),
    height: 200,
    legend: { show: false },
    cursor: { show: false },
    scales: {
      x: { time: false },
      y: { range: (u, min, max) => [Math.min(0, min), Math.max(1.1, max * 1.02)] },
    },
    axes: [
      { ...axis, values: (u, splits) => splits.map((v) => core.engineering(v, "s")) },
      { ...axis, size: 56, values: (u, splits) => splits.map((v) => `${Number(v.toFixed(3))} V`) },
    ],
    series: [
      {},
      { stroke: () => colors.parts, width: 1.5, dash: [6, 4], points: { show: false } },
      { stroke: () => colors.opamp, width: 2, points: { show: false } },
    ],
  };
  const plot = new uPlot(options, NO_DATA, area);
  // The size changes in the next frame, not inside the observer's callback (plots.js says why).
  let laidOutWidth = 0;
  let frame = 0;
  const resize = () => {
    frame = 0;
    const width = Math.max(container.clientWidth, 200);
    if (width === laidOutWidth || window.matchMedia("print").matches) return;
    laidOutWidth = width;
    plot.setSize({ width, height: width < 560 ? 170 : 200 });
  };
  new ResizeObserver(() => {
    if (frame === 0) frame = requestAnimationFrame(resize);
  }).observe(container);
  for (const query of ["(prefers-color-scheme: dark)", "print"]) {
    window.matchMedia(query).addEventListener("change", () => {
      colors = themeColors();
      plot.setData(plot.data);
    });
  }
  return {
    show(step, summary) {
      container.classList.remove("empty");
      const { t_s: t, ideal, model } = step.arrays;
      plot.setData([t, ideal, model]);
      area.dataset.points = String(t.length);
      area.setAttribute("aria-label", `Step response against time. ${summary}`);
    },
    clear() {
      container.classList.add("empty");
      plot.setData(NO_DATA);
      area.dataset.points = "0";
      area.setAttribute("aria-label", "Step response: no set to show.");
    },
  };
}
