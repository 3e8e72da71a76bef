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
    // The ways a set of standard parts is chosen: "best", "nearest".
    this.methods = this.table.methods;
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

  // The arrays of `group`, `count` values each, copied: { name: Float64Array }.
  #arrays(group, count) {
    const arrays = {};
    for (const { name, index } of this.#arrayGroups.get(group) ?? []) {
      const pointer = this.#x.kestrane_array(index);
      arrays[name] = new Float64Array(this.#x.memory.buffer, pointer, count).slice();
    }
    return arrays;
  }

  #group(group) {
    const { values, texts } = this.#figures(group);
    return { figures: values, texts, lines: this.#lines(group) };
  }

  // The longest number text a field of `kind` (one of table.field_kinds) takes.
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
  // "tolerance", and the op-amp settings "gbw", "gain_db", "output_ohm", "amplitude",
  // "frequency"): one number by the console's rules, with an optional SI prefix ("10k"), and
  // nothing after it. status is "ok" (value holds the number), "empty", "not_a_number",
  // "too_long" or, for a number the field does not take (a tolerance outside 0 to below
  // 100 %, a GBW of 0), "out_of_range"; message is the explanation, "" for ok and empty.
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

  // The current design's set of standard parts: method `method` (one of methods: "best",
  // "nearest"), resistors from the series named `resistorSeries`, capacitors from
  // `capacitorSeries` (names of seriesNames). Returns null without a current design or for a
  // name that is not in the table, else { figures, texts, lines } of the "parts" group:
  // figures buildable (1 when there is a circuit to build), R1, R2, C1, C2, cutoff_hz,
  // cutoff_error_percent, q, q_error_percent, natural_hz, warnings (their count); lines
  // heading, r1, r2, c1, c2, cutoff, q, natural (empty without a set) and warnings (one a
  // line, "\n" between them). The set becomes current and clears what was made from the last.
  parts(method, resistorSeries, capacitorSeries) {
    const made = this.#x.kestrane_parts(
      this.methods.indexOf(method),
      this.seriesNames.indexOf(resistorSeries),
      this.seriesNames.indexOf(capacitorSeries),
    );
    return made ? this.#group("parts") : null;
  }

  // What resistors within resistorPercent and capacitors within capacitorPercent do to the
  // current set over the whole tolerance box: { figures: { made, cutoff_low_hz,
  // cutoff_high_hz, q_low, q_high, yield_draws, yield_1_percent, yield_2_percent,
  // yield_5_percent }, texts, lines: { cutoff_range, q_range, yield } }, or null without a set
  // or for tolerances the ranges do not take.
  ranges(resistorPercent, capacitorPercent) {
    return this.#x.kestrane_ranges(resistorPercent, capacitorPercent)
      ? this.#group("ranges")
      : null;
  }

  // Takes the op-amp of GBW gbwMhz, open-loop gain a0Db and output resistance roOhm; false
  // (and no op-amp) when a value is refused. Clears the op-amp figures and the step.
  opamp(gbwMhz, a0Db, roOhm) {
    return this.#x.kestrane_opamp(gbwMhz, a0Db, roOhm) === 1;
  }

  // The current set's figures with the op-amp, the slew rate for an output of amplitudeV
  // volts: { figures: { cutoff_found, cutoff_hz, ideal_cutoff_hz, q, ideal_q, gbw_reached,
  // needed_gbw_hz, slew_found, slew_v_per_us, slew_at_hz, floor_gain, floor_rises,
  // floor_rise_hz }, texts, lines: { cutoff, gbw, slew, floor, rise } (the console's op-amp
  // lines) }, or null without a set or an op-amp.
  opampFigures(amplitudeV) {
    return this.#x.kestrane_opamp_figures(amplitudeV) ? this.#group("opamp") : null;
  }

  // The current set's attenuation with the op-amp at hz: { figures: { attenuation_db },
  // lines: { attenuation } }, or null without op-amp figures.
  attenuation(hz) {
    return this.#x.kestrane_attenuation(hz) ? this.#group("attenuation") : null;
  }

  // The current set's step response with the op-amp and the ideal op-amp: { figures: {
  // final_value, overshoot_percent, peak_time_s, rise_time_s, settling_1_percent_s,
  // settling_01_percent_s, span_s, ideal_... }, texts, lines: { overshoot, rise, settle },
  // arrays: { t_s, ideal, model } (`points` samples from 0 to the span) }, or null without a
  // set or an op-amp.
  step(points = 400) {
    const count = this.#x.kestrane_step(points);
    if (!count) return null;
    return { ...this.#group("step"), arrays: this.#arrays("step", count) };
  }

  // The files of the current set with the op-amp: { netlist, bom }, the SPICE netlist over the
  // last samples' range (empty without samples, op-amp figures and step) and the bill of
  // materials as CSV (empty without a set and an op-amp).
  files() {
    return this.#lines("files");
  }

  // The current design's response at `points` frequencies evenly spaced in log frequency from
  // lowHz to highHz: the "samples" arrays { hz, gain, phase_deg, group_delay_s }, empty
  // without a design or when the range is not 0 < lowHz < highHz.
  samples(lowHz, highHz, points = 1500) {
    return this.#arrays("samples", this.#x.kestrane_plot_samples(lowHz, highHz, points));
  }

  // The current design's response at the frequencies of `hzList` (each positive and finite,
  // at most max_plot_points), as samples() gives it.
  samplesAt(hzList) {
    const index = this.table.arrays.findIndex((a) => a.group === "samples" && a.name === "hz");
    const pointer = this.#x.kestrane_array(index);
    new Float64Array(this.#x.memory.buffer, pointer, hzList.length).set(hzList);
    return this.#arrays("samples", this.#x.kestrane_plot_at(hzList.length));
  }

  // The current set's real circuit at the frequencies of the last samples: the "circuit"
  // arrays { gain, phase_deg, group_delay_s }, empty without a set or samples.
  circuitSamples() {
    return this.#arrays("circuit", this.#x.kestrane_plot_circuit());
  }

  // The band of the current set's response over the whole tolerance box of the last ranges,
  // at the frequencies of the last samples: the "bands" arrays { gain_lowest, gain_highest,
  // phase_lowest_deg, phase_highest_deg, group_delay_lowest_s, group_delay_highest_s }, empty
  // without ranges or samples.
  bands() {
    return this.#arrays("bands", this.#x.kestrane_plot_bands());
  }

  // The current set with the op-amp at the frequencies of the last samples: the "opamp"
  // arrays { gain, phase_deg, group_delay_s }, empty without a set, an op-amp or samples.
  opampSamples() {
    return this.#arrays("opamp", this.#x.kestrane_plot_opamp());
  }

  // The table's arrays in CSV order, [{ group, name, csv, csv_db }]: the columns a download of
  // the plotted arrays holds (the step's arrays are not among them).
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
