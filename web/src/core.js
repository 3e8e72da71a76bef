// The page's interface to Kestrane's assembly, compiled to WebAssembly from the same sources as
// the console program (web/kestrane_wasm.cpp over session/). Every number and every text the
// page shows, plots or saves comes from here; nothing of the filter model is in JavaScript.
// The module holds the request's settings and makes each product when it is first read,
// keeping it until a setting it rests on changes: the page gives every setting on each
// keystroke and reads what it shows. The module describes itself in one name table; this file
// is the only one that turns names into the module's numbers. Figures, lines and arrays come
// back grouped by the product they are read from, as objects keyed by their names in the
// table, so that an entry added to the module's table reaches the page without a change here.

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

// The double-precision bits of a number, as sixteen hexadecimal digits.
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

const flag = (value) => (value ? 1 : 0);

export class Core {
  #x;
  #kinds;
  #units;
  #groups;
  #figureGroups;
  #lineGroups;
  #arrayGroups;
  #kept = new Map(); // group => { stamp, value }

  constructor(exports) {
    this.#x = exports;
    // The module's name table (catalogue_json in session/src/catalogue.cpp).
    this.table = JSON.parse(this.#text(exports.kestrane_interface()));
    this.#kinds = new Map(this.table.field_kinds.map((kind, i) => [kind.name, i]));
    this.#units = new Map(this.table.units.map((unit, i) => [unit, i]));
    this.#groups = new Map(this.table.groups.map((name, i) => [name, i]));
    this.#figureGroups = byGroup(this.table.figures);
    this.#lineGroups = byGroup(this.table.lines);
    this.#arrayGroups = byGroup(this.table.arrays);
    // The preferred-number series, smallest first: "E6", "E12", ..., "E192".
    this.seriesNames = this.table.series;
    // The ways a set of standard parts is chosen: "best", "nearest".
    this.methods = this.table.methods;
    // The responses of a filter of any order ("butterworth", "bessel", "chebyshev",
    // "linkwitz-riley") and the edges a Chebyshev's cutoff may name ("-3db", "ripple-edge").
    this.responses = this.table.responses;
    this.edges = this.table.edges;
    // The module's constants: the gain the design aims at the cutoff (0.7071) and in dB, the
    // curves' sizes, and the defaults of every setting (default_method, default_gbw_mhz, ...).
    this.constants = this.table.constants;
    this.cutoffGain = this.constants.cutoff_gain;
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

  // The arrays of `group`, copied: { name: Float64Array }.
  #arrays(group) {
    const x = this.#x;
    const arrays = {};
    for (const { name, index } of this.#arrayGroups.get(group) ?? []) {
      const length = x.kestrane_array_length(index);
      const pointer = x.kestrane_array(index);
      arrays[name] = length ? new Float64Array(x.memory.buffer, pointer, length).slice() : new Float64Array();
    }
    return arrays;
  }

  // The longest number text a field of `kind` (one of table.field_kinds) takes.
  numberChars(kind) {
    return this.table.field_kinds[this.#kinds.get(kind)].chars;
  }

  // `value` as the console prints it ("10253.1", "1e+006", "1.#INF").
  formatNumber(value) {
    return this.#text(this.#x.kestrane_format_number(value));
  }

  // An error in percent as the console's parts lines write it: "+0.07", "-1.22", "0.00".
  percentText(value) {
    return this.#text(this.#x.kestrane_percent_text(value));
  }

  // `value` for people with `unit` (one of table.units: "Hz", "s", "Ω", "F", ...), three
  // significant digits and an SI prefix: "16.1 µF"; "" for a unit the module does not know.
  engineering(value, unit) {
    const index = this.#units.get(unit);
    if (index === undefined) return "";
    return this.#text(this.#x.kestrane_engineering_text(value, index));
  }

  // A field's text read as a field of `kind` (one of table.field_kinds: "design" for the
  // cutoff and R1, "band", "tolerance", and the op-amp settings "gbw", "gain_db",
  // "output_ohm", "amplitude", "frequency"): one number by the console's rules, with an
  // optional SI prefix ("10k"), and nothing after it. status is "ok" (value holds the number),
  // "empty", "not_a_number", "too_long" or, for a number the field does not take,
  // "out_of_range"; message is the explanation, "" for ok and empty; note says what happened
  // to an ok read of 0 from a text that is not 0, else "". The filter's kinds are "order",
  // "ripple_db", "edge_khz" and "loss_db".
  readField(text, kind) {
    const x = this.#x;
    this.#putField(text);
    const status = this.table.field_statuses[x.kestrane_read_field(this.#kinds.get(kind))];
    const message = this.#text(x.kestrane_text_length());
    const value = status === "ok" ? x.kestrane_field_value() : undefined;
    return { status, value, message, note: this.#text(x.kestrane_field_note()) };
  }

  // --- Settings: each changes only what rests on it ---

  // The design from the cutoff in kHz and R1 in ohms as read; null for none.
  setDesign(fcKhz, r1Ohm) {
    if (fcKhz == null || r1Ohm == null) this.#x.kestrane_clear_design();
    else this.#x.kestrane_set_design(fcKhz, r1Ohm);
  }

  // The band in hertz as read; null for none.
  setBand(bandHz) {
    this.#x.kestrane_set_band(flag(bandHz != null), bandHz ?? 0);
  }

  // The method (one of methods) and the series (names of seriesNames); false, changing
  // nothing, for a name that is not in its table.
  setParts(method, resistorSeries, capacitorSeries) {
    return (
      this.#x.kestrane_set_parts(
        this.methods.indexOf(method),
        this.seriesNames.indexOf(resistorSeries),
        this.seriesNames.indexOf(capacitorSeries),
      ) === 1
    );
  }

  // The tolerances in percent, or null for none (no ranges, no yield).
  setTolerances(tolerances) {
    const has = tolerances != null;
    this.#x.kestrane_set_tolerances(flag(has), has ? tolerances.resistor : 0, has ? tolerances.capacitor : 0);
  }

  // The op-amp of GBW gbwMhz, A0 a0Db and Ro roOhm, or null for none; false (and no op-amp)
  // when a value is refused.
  setOpamp(opamp) {
    const has = opamp != null;
    return this.#x.kestrane_set_opamp(flag(has), opamp?.gbwMhz ?? 0, opamp?.a0Db ?? 0, opamp?.roOhm ?? 0) === 1;
  }

  // The peak of the input sine the slew rate is for, in volts (NaN for none: 1 V is used), and the
  // frequency of the attenuation figure in hertz (null for none).
  setAmplitude(amplitudeV) {
    this.#x.kestrane_set_amplitude(amplitudeV);
  }
  setAttenuation(hz) {
    this.#x.kestrane_set_attenuation(flag(hz != null), hz ?? 0);
  }

  // How many frequencies the curves have, and how many times the step curves.
  setPlotPoints(points) {
    this.#x.kestrane_set_plot_points(points);
  }
  setStepPoints(points) {
    this.#x.kestrane_set_step_points(points);
  }

  // The curves at the frequencies of `hzList` instead of the plotted range (each positive and
  // finite, at most max_plot_points; [] for the plotted range again); false, changing nothing,
  // otherwise.
  setFrequencies(hzList) {
    const x = this.#x;
    const count = hzList.length;
    if (count > this.constants.max_plot_points) return false;
    const pointer = x.kestrane_frequency_buffer(count);
    new Float64Array(x.memory.buffer, pointer, count).set(hzList);
    return x.kestrane_take_frequencies() === 1;
  }

  // The filter: a cascade { response, order, rippleDb (NaN for none), edge } of names in
  // responses and edges, or null for the search's single stage; false, changing nothing, for a
  // name that is not in its table.
  setCascade(cascade) {
    if (cascade == null) return this.#x.kestrane_set_cascade(0, 0, 0, NaN, 0) === 1;
    const { response, order, rippleDb, edge } = cascade;
    return (
      this.#x.kestrane_set_cascade(
        1,
        this.responses.indexOf(response),
        order,
        rippleDb,
        this.edges.indexOf(edge),
      ) === 1
    );
  }

  // The order from a specification { passbandHz, passbandLossDb, stopbandHz, stopbandLossDb },
  // or null for none; and compensation for the op-amp, on or off.
  setSpecification(spec) {
    const has = spec != null;
    this.#x.kestrane_set_specification(
      flag(has),
      spec?.passbandHz ?? 0,
      spec?.passbandLossDb ?? 0,
      spec?.stopbandHz ?? 0,
      spec?.stopbandLossDb ?? 0,
    );
  }
  // The same with the edges in kHz, as the page's fields hold them: { passbandKhz,
  // passbandLossDb, stopbandKhz, stopbandLossDb }, or null for none. The module takes each
  // edge in hertz as the command line does.
  setSpecificationKhz(spec) {
    const has = spec != null;
    this.#x.kestrane_set_specification_khz(
      flag(has),
      spec?.passbandKhz ?? 0,
      spec?.passbandLossDb ?? 0,
      spec?.stopbandKhz ?? 0,
      spec?.stopbandLossDb ?? 0,
    );
  }
  setCompensate(compensate) {
    this.#x.kestrane_set_compensate(flag(compensate));
  }

  // --- Products ---

  // What group `name` (one of table.groups) holds now: { figures, texts, lines, arrays } by
  // their names in the table, or null when its product is missing. The same object while the
  // module has not made the group again, so that a redraw can be skipped by comparing it.
  group(name) {
    const stamp = this.#x.kestrane_group_stamp(this.#groups.get(name));
    if (stamp === 0) {
      this.#kept.delete(name);
      return null;
    }
    const kept = this.#kept.get(name);
    if (kept && kept.stamp === stamp) return kept.value;
    const { values, texts } = this.#figures(name);
    const value = { figures: values, texts, lines: this.#lines(name), arrays: this.#arrays(name) };
    this.#kept.set(name, { stamp, value });
    return value;
  }

  // The table's arrays in CSV order, [{ group, name, csv }]: the columns a download of the
  // plotted arrays holds (the step's arrays are not among them).
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
