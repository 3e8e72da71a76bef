// The plots' geometry as pure functions: where the grid lines of the log frequency axis go, and
// where the names of the design's marks stand so that none covers another. No drawing and no page here, so that node's test runner checks them directly.

// 10^exponent, exact for the decades a double holds exactly and the nearest double otherwise.
function decade(exponent) {
  return Number(`1e${exponent}`);
}

// The grid lines of a log frequency axis from lowHz to highHz (0 < lowHz < highHz, finite):
// every 1 to 9 times a power of ten inside the range, smallest first, each { hz, labelled },
// labelled at the powers of ten. A range that holds fewer than two powers of ten also labels
// the 2 and 5 multiples, so that every axis names at least two frequencies where it can.
export function frequencySplits(lowHz, highHz) {
  const splits = [];
  const first = Math.floor(Math.log10(lowHz));
  const last = Math.ceil(Math.log10(highHz));
  for (let exponent = first; exponent <= last; exponent++) {
    const power = decade(exponent);
    for (let multiple = 1; multiple <= 9; multiple++) {
      const hz = exponent < 0 ? multiple / decade(-exponent) : multiple * power;
      if (hz >= lowHz * (1 - 1e-12) && hz <= highHz * (1 + 1e-12)) {
        splits.push({ hz, labelled: multiple === 1, multiple });
      }
    }
  }
  if (splits.filter((split) => split.labelled).length < 2) {
    for (const split of splits) split.labelled ||= split.multiple === 2 || split.multiple === 5;
  }
  return splits.map(({ hz, labelled }) => ({ hz, labelled }));
}

// Places the names of marks in rows above a plot `width` pixels wide, so that no two overlap.
// `labels` is a list of { x, width } in the order of their claim to the lowest row: x is the
// mark's position and width the name's, in pixels. Each name stands just right of its mark
// (`pad` pixels from it) or, when that is taken or runs past the plot, just left of it, in the
// lowest row where it keeps `gap` pixels from every name already there; a name wider than the
// plot starts at its left edge. Returns, in the same order, { left, row } (row 0 is the
// lowest).
export function stackLabels(labels, width, { pad = 4, gap = 6 } = {}) {
  const rows = [];
  return labels.map((label) => {
    const right = Math.min(label.x + pad, Math.max(0, width - label.width));
    const left = Math.max(0, Math.min(label.x - pad - label.width, width - label.width));
    const candidates = label.x + pad + label.width <= width ? [right, left] : [left, right];
    for (let row = 0; ; row++) {
      rows[row] ??= [];
      const free = (start) =>
        rows[row].every((box) => start + label.width + gap <= box.left || start >= box.right + gap);
      const start = candidates.find(free);
      if (start !== undefined) {
        rows[row].push({ left: start, right: start + label.width });
        return { left: start, row };
      }
    }
  });
}

// The number of rows stackLabels used for `placed` (0 for none).
export function rowCount(placed) {
  return placed.reduce((rows, { row }) => Math.max(rows, row + 1), 0);
}
