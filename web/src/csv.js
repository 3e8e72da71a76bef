// The plotted response as CSV, and saving a text as a file from the page.

// The `comments` first, each on a line of its own after "# " (what the response is of: the
// design, the shown set with its figures, the op-amp), then one header line, then one line
// per plotted frequency. `columns` are the module's arrays in CSV order (Core.csvColumns:
// { group, name, csv }); `groups` holds the arrays shown, by group: samples (frequency in
// hertz, gain and in dB, phase in degrees, group delay in seconds), and, when the plots show
// them, circuit (the shown set's gain, phase and group delay on the real circuit), bands
// (their lowest and highest over the tolerance box) and opamp_curve (the set with the op-amp
// model), and stage_curves (each stage's own curves). A group that is missing or null has no
// columns, nor has an array that is not one value a frequency. Every value is the module's, in the
// shortest form that reads back to the same double; values that are not finite are written as
// empty fields.
export function responseCsv(columns, groups, comments = []) {
  const field = (value) => (Number.isFinite(value) ? String(value) : "");
  const count = groups.samples.hz.length;
  const table = [];
  for (const column of columns) {
    const values = groups[column.group]?.[column.name];
    if (values && values.length === count) table.push([column.csv, values]);
  }
  const lines = comments.map((comment) => `# ${comment}`);
  lines.push(table.map(([name]) => name).join(","));
  for (let i = 0; i < count; i++) {
    lines.push(table.map(([, values]) => field(values[i])).join(","));
  }
  return lines.join("\n") + "\n";
}

// Offers `text` to the user as a download named `filename`.
export function downloadText(filename, text, type = "text/csv") {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const link = document.createElement("a");
  link.href = url;
  link.download = filename;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

// A file name for a design's file from its field texts and `ending` (".csv" for the response,
// ".cir" for the netlist, "-bom.csv" for the bill of materials), with a cascade's response
// first: letters, digits, point, plus and minus kept, anything else made a dash.
export function csvName(texts, ending = ".csv") {
  const part = (text) => String(text).trim().replace(/[^0-9A-Za-z.+-]/g, "-") || "none";
  const filter = texts.resp && texts.resp !== "search" ? `${part(texts.resp)}-` : "";
  return `kestrane-${filter}fc${part(texts.fc)}kHz-r1${part(texts.r1)}ohm${ending}`;
}
