// The plot colours of the scheme in force: the style sheet's --plot-* and --mark-* properties.
export function themeColors() {
  const style = getComputedStyle(document.documentElement);
  const read = (name) => style.getPropertyValue(name).trim();
  return {
    gain: read("--plot-gain"),
    phase: read("--plot-phase"),
    delay: read("--plot-delay"),
    parts: read("--plot-parts"),
    opamp: read("--plot-opamp"),
    grid: read("--plot-grid"),
    axis: read("--plot-axis"),
    bandFill: read("--plot-band-fill"),
    cutoff: read("--mark-cutoff"),
    flatTop: read("--mark-flat-top"),
    edge: read("--mark-edge"),
    band: read("--mark-band"),
    passband: read("--mark-passband"),
    stopband: read("--mark-stopband"),
    stages: [1, 2, 3, 4, 5, 6].map((k) => read(`--plot-stage${k}`)),
  };
}
