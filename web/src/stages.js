// The table of a cascade's stages, one row a stage in signal order (tr[data-stage="k"]): its
// order, f0 and Q, its exact parts, the shown standard set with the f0 and Q it gives and their
// errors, and the ideal peak gain at its output. Every number is the module's (the `stages`
// group's arrays), written for people by the module (Core.engineering, Core.formatNumber); a
// value the module does not give (a first-order stage's Q, R2 and C2, or a standard set not
// chosen) shows as a dash.

const DASH = "–";

// The value of array `name` at stage `k` (from 0) when it is a finite number, else null.
function valueAt(arrays, name, k) {
  const value = arrays[name]?.[k];
  return Number.isFinite(value) ? value : null;
}

// A value for people with its unit, or a dash.
function people(core, value, unit) {
  return value === null ? DASH : core.engineering(value, unit);
}

// A number as the console writes it, or a dash.
function plain(core, value) {
  return value === null ? DASH : core.formatNumber(value);
}

// " (+0.23 %)" for an error in percent, as the console writes it, or "" when there is none.
function error(core, value) {
  return value === null ? "" : ` (${core.percentText(value)} %)`;
}

// "R1 10 kΩ, R2 10 kΩ, C1 57.5 nF, C2 10.4 nF": the parts named by `names` (R1, R2, C1, C2
// arrays), those the stage has; a dash when it has none.
function partsText(core, arrays, k, names) {
  const labels = ["R1", "R2", "C1", "C2"];
  const units = ["Ω", "Ω", "F", "F"];
  const parts = names
    .map((name, i) => [labels[i], valueAt(arrays, name, k), units[i]])
    .filter(([, value]) => value !== null)
    .map(([label, value, unit]) => `${label} ${core.engineering(value, unit)}`);
  return parts.length ? parts.join(", ") : DASH;
}

// The cells of stage `k` (from 0), as texts in the table's column order.
export function stageCells(core, arrays, k) {
  const at = (name) => valueAt(arrays, name, k);
  const exact = ["r1_ohm", "r2_ohm", "c1_farad", "c2_farad"];
  const standard = ["std_r1_ohm", "std_r2_ohm", "std_c1_farad", "std_c2_farad"];
  const peakHz = at("peak_hz");
  return [
    String(k + 1),
    plain(core, at("order")),
    people(core, at("f0_hz"), "Hz"),
    plain(core, at("q")),
    partsText(core, arrays, k, exact),
    partsText(core, arrays, k, standard),
    at("std_f0_hz") === null
      ? DASH
      : `${people(core, at("std_f0_hz"), "Hz")}${error(core, at("f0_error_percent"))}`,
    at("std_q") === null ? DASH : `${plain(core, at("std_q"))}${error(core, at("q_error_percent"))}`,
    at("peak_gain_db") === null
      ? DASH
      : `${plain(core, at("peak_gain_db"))} at ${peakHz === 0 ? "DC" : people(core, peakHz, "Hz")}`,
  ];
}

// Fills `table`'s body with a row for each stage of `stages` (the module's `stages` group, or
// null for none).
export function showStages(table, core, stages) {
  const body = table.tBodies[0];
  const arrays = stages?.arrays ?? {};
  const count = arrays.order?.length ?? 0;
  const rows = [];
  for (let k = 0; k < count; k++) {
    const row = document.createElement("tr");
    row.dataset.stage = String(k + 1);
    stageCells(core, arrays, k).forEach((text, i) => {
      const cell = document.createElement(i === 0 ? "th" : "td");
      if (i === 0) cell.scope = "row";
      cell.textContent = text;
      row.append(cell);
    });
    rows.push(row);
  }
  body.replaceChildren(...rows);
}
