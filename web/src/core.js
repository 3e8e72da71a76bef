// The page's interface to Kestrane's design core and console texts, compiled to WebAssembly
// from the same sources as the console program (web/kestrane_wasm.cpp). Every number and every
// text the page shows as a result comes from here; nothing of the filter model is in
// JavaScript. The module describes itself in one name table; this file is the only one that
// turns names into the module's numbers. Figures, lines and arrays come back grouped by the
// step that makes them, as objects keyed by their names in the table, so that an entry added
// to the module's table reaches the page without a change here.

const encoder = new TextEncoder();
const decoder = new TextDecoder();

// The bytes of base64 `text` (the module as the page embeds it).
export function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// Instantiates the module from its bytes; it needs no imports.
export async function loadCore(bytes) {
  const { instance } = await WebAssembly.instantiate(bytes, {});
  instance.exports._initialize();
  return new Core(instance.exports);
}

// The single-precision bits of `value` (a number that is a single-precision value), as eight
// hexadecimal digits; and the double-precision bits of a number as sixteen.
export function singleBits(value) {
  const view = new DataView(new ArrayBuffer(4));
  view.setFloat32(0, value);
  return view.getUint32(0).toString(16).padStart(8, "0");
}
export function doubleBits(value) {
  const view = new DataView(new ArrayBuffer(8));
  view.setFloat64(0, value);
  return view.getBigUint64(0).toString(16).padStart(16, "0");
}

// The entries of `list` (table entries with a group) by group, each with its number:
// Map(group => [{ ...entry, index }]).
function byGroup(list) {
  const groups = new Map();
  list.forEach((entry, index) => {
    if (!groups.has(entry.group)) groups.set(entry.group, []);
    groups.get(entry.group).push({ ...entry, index });
  });
  return groups;
}

export class Core {
  #x;
  #kinds;
  #units;
  #figureGroups;
  #lineGroups;
  #arrayGroups;

  constructor(exports) {
    this.#x = exports;
    // The module's name table (kestrane_interface in web/kestrane_wasm.cpp).
    this.table = JSON.parse(this.#text(exports.kestrane_interface()));
    this.#kinds = new Map(this.table.field_kinds.map((kind, i) => [kind.name, i]));
    this.#units = new Map(this.table.units.map((unit, i) => [unit, i]));
    this.#figureGroups = byGroup(this.table.figures);
    this.#lineGroups = byGroup(this.table.lines);
    this.#arrayGroups = byGroup(this.table.arrays);
    // The preferred-number series, smallest first: "E6", "E12", ..., "E192".
    this.seriesNames = this.table.series;
    // The gain the design aims at the cutoff (0.7071), and its text as the console writes it.
    this.cutoffGain = this.table.constants.cutoff_gain;
    this.cutoffGainText = this.formatNumber(this.cutoffGain);
  }

  #text(length) {
    const x = this.#x;
    return decoder.decode(new Uint8Array(x.memory.buffer, x.kestrane_text_buffer(), length));
  }

  #putField(text) {
    const x = this.#x;
    const bytes = encoder.encode(text);
    const pointer = x.kestrane_field_buffer(bytes.length);
    new Uint8Array(x.memory.buffer, pointer, bytes.length).set(bytes);
  }

  // The figures of `group`: { values: { name: number }, texts: { name: "16.1 µF" } } (texts
  // for the figures the table marks for_people).
  #figures(group) {
    const x = this.#x;
    const values = {};
    const texts = {};
    for (const { name, index, for_people: forPeople } of this.#figureGroups.get(group) ?? []) {
      values[name] = x.kestrane_figure(index);
      if (forPeople) texts[name] = this.#text(x.kestrane_figure_text(index));
    }
    return { values, texts };
  }

  // The lines of `group`: { name: text }.
  #lines(group) {
    const lines = {};
    for (const { name, index } of this.#lineGroups.get(group) ?? []) {
      lines[name] = this.#text(this.#x.kestrane_line(index));
    }
    return lines;
  }

  // The arrays of `group`, `count` values each, copied: { name: [numbers] }.
  #arrays(group, count) {
    const arrays = {};
    for (const { name, index } of this.#arrayGroups.get(group) ?? []) {
      const pointer = this.#x.kestrane_array(index);
      arrays[name] = Array.from(new Float64Array(this.#x.memory.buffer, pointer, count));
    }
    return arrays;
  }

  #group(group) {
    const { values, texts } = this.#figures(group);
    return { figures: values, texts, lines: this.#lines(group) };
  }

  // The longest number text a field of `kind` ("design", "band", "tolerance") takes.
  numberChars(kind) {
    return this.table.field_kinds[this.#kinds.get(kind)].chars;
  }

  // `value` as the console prints it ("10253.1", "1e+006", "1.#INF").
  formatNumber(value) {
    return this.#text(this.#x.kestrane_format_number(value));
  }

  // `value` for people with `unit` (one of table.units: "Hz", "s", "Ω", "F", ...), three
  // significant digits and an SI prefix: "16.1 µF"; "" for a unit the module does not know.
  engineering(value, unit) {
    const index = this.#units.get(unit);
    if (index === undefined) return "";
    return this.#text(this.#x.kestrane_engineering_text(value, index));
  }

  // A field's text read as a field of `kind` ("design" for the cutoff and R1, "band",
  // "tolerance"): one number by the console's rules, with an optional SI prefix ("10k"), and
  // nothing after it. status is "ok" (value holds the number), "empty", "not_a_number",
  // "too_long" or, for a tolerance outside 0 to below 100 %, "out_of_range"; message is the
  // explanation, "" for ok and empty.
  readField(text, kind) {
    const x = this.#x;
    this.#putField(text);
    const status = this.table.field_statuses[x.kestrane_read_field(this.#kinds.get(kind))];
    const message = this.#text(x.kestrane_text_length());
    return { status, value: status === "ok" ? x.kestrane_field_value() : undefined, message };
  }

  // Designs from the cutoff in kHz and R1 in ohms as read (stored in single precision with the
  // console's clamps). Returns { designed: false, refusal } when the console would refuse
  // them, else { designed: true, figures, texts, lines } of the "design" group: figures R1, R2
  // (ohms), C1, C2 (farads), cutoff_hz, flat_top_hz, passband_edge_hz; lines r1, r2, c1, c2,
  // passband. The design becomes current and clears what was made from the last one.
  design(fcKhz, r1Ohm) {
    const x = this.#x;
    if (!x.kestrane_design(fcKhz, r1Ohm)) {
      return { designed: false, refusal: this.#text(x.kestrane_text_length()) };
    }
    return { designed: true, ...this.#group("design") };
  }

  // Half the current design's phase deviation over 0 to `bandHz` (as read), the figure the
  // console prints: { figures: { half_deviation_rad }, lines: { deviation } }, or null
  // without a design.
  deviation(bandHz) {
    return this.#x.kestrane_deviation(bandHz) ? this.#group("deviation") : null;
  }

  // The current design rounded to standard parts: resistors to the series named
  // `resistorSeries`, capacitors to `capacitorSeries` (names of seriesNames). Returns null
  // without a current design or for a name that is not a series, else { figures, texts,
  // lines } of the "parts" group: figures R1, R2, C1, C2, cutoff_found (1 or 0), cutoff_hz,
  // cutoff_error_percent; lines r1, r2, c1, c2, cutoff.
  parts(resistorSeries, capacitorSeries) {
    const made = this.#x.kestrane_parts(
      this.seriesNames.indexOf(resistorSeries),
      this.seriesNames.indexOf(capacitorSeries),
    );
    return made ? this.#group("parts") : null;
  }

  // The range of the current parts' achieved cutoff with resistors within resistorPercent and
  // capacitors within capacitorPercent: { figures: { found, lowest_hz, highest_hz }, texts,
  // lines: { spread } }, or null without parts.
  spread(resistorPercent, capacitorPercent) {
    return this.#x.kestrane_spread(resistorPercent, capacitorPercent)
      ? this.#group("spread")
      : null;
  }

  // The current design's response at `points` frequencies evenly spaced in log frequency from
  // lowHz to highHz: the "samples" arrays { hz, gain, phase_deg, group_delay_s }, empty
  // without a design or when the range is not 0 < lowHz < highHz.
  samples(lowHz, highHz, points = 1500) {
    return this.#arrays("samples", this.#x.kestrane_plot_samples(lowHz, highHz, points));
  }

  // The current parts' response at the frequencies of the last samples: the "parts" arrays
  // { gain, phase_deg, group_delay_s }, empty without parts or samples.
  partsSamples() {
    return this.#arrays("parts", this.#x.kestrane_plot_parts());
  }

  // The envelope of the current parts' response over their tolerances at the frequencies of
  // the last samples: the "envelope" arrays { gain_lowest, gain_highest, phase_lowest_deg,
  // phase_highest_deg, group_delay_lowest_s, group_delay_highest_s }, empty without parts or
  // samples.
  envelope(resistorPercent, capacitorPercent) {
    const count = this.#x.kestrane_plot_envelope(resistorPercent, capacitorPercent);
    return this.#arrays("envelope", count);
  }

  // The table's arrays in CSV order, [{ group, name, csv, csv_db }]: the columns a download of
  // the plotted arrays holds.
  csvColumns() {
    return this.table.arrays.filter((entry) => entry.csv !== "");
  }

  // The core's amplitude and phase (radians) of the current design at whole hertz.
  magnitudeAt(hertz) {
    return this.#x.kestrane_magnitude_at(hertz);
  }
  phaseAt(hertz) {
    return this.#x.kestrane_phase_at(hertz);
  }
}
