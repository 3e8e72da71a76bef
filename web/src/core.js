// The page's interface to Kestrane's design core and console texts, compiled to WebAssembly
// from the same sources as the console program (web/kestrane_wasm.cpp). Every number and every
// text the page shows as a result comes from here; nothing of the filter model is in
// JavaScript.

const FIELD_STATUSES = ["ok", "empty", "not_a_number", "too_long", "out_of_range"];
const RESULT_LINES = ["r1", "r2", "c1", "c2", "passband", "deviation"];
const PARTS_LINES = ["r1", "r2", "c1", "c2", "cutoff"];
const PLOT_POINTS = 1500;

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

export class Core {
  #x;

  constructor(exports) {
    this.#x = exports;
    // The console's longest number texts for the cutoff and R1, and for the band.
    this.designNumberChars = exports.kestrane_design_number_chars();
    this.bandNumberChars = exports.kestrane_band_number_chars();
    // The preferred-number series, smallest first: "E6", "E12", ..., "E192".
    this.seriesNames = [];
    for (let i = 0; i < exports.kestrane_series_count(); i++) {
      this.seriesNames.push(this.#text(exports.kestrane_series_name(i)));
    }
  }

  #doubles(pointer, count) {
    return Array.from(new Float64Array(this.#x.memory.buffer, pointer, count));
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

  // `value` as the console prints it ("10253.1", "1e+006", "1.#INF").
  formatNumber(value) {
    return this.#text(this.#x.kestrane_format_number(value));
  }

  // A field's text read by the console's number rules with at most `maxChars` number
  // characters. status is "ok" (value holds the number), "empty", "not_a_number" (which
  // includes text after the number) or "too_long"; message is the console's explanation,
  // "" for ok and empty.
  readField(text, maxChars) {
    const x = this.#x;
    this.#putField(text);
    const status = FIELD_STATUSES[x.kestrane_read_field(maxChars)];
    const message = this.#text(x.kestrane_text_length());
    return { status, value: status === "ok" ? x.kestrane_field_value() : undefined, message };
  }

  // A tolerance field's text in percent, read as readField reads a field, with one more
  // status: "out_of_range" for a number that is not a tolerance (from 0 to below 100), with
  // its message.
  readTolerance(text) {
    const x = this.#x;
    this.#putField(text);
    const status = FIELD_STATUSES[x.kestrane_read_tolerance(this.designNumberChars)];
    const message = this.#text(x.kestrane_text_length());
    return { status, value: status === "ok" ? x.kestrane_field_value() : undefined, message };
  }

  // Designs from the cutoff in kHz and R1 in ohms as read (numbers; stored in single precision
  // with the console's clamps). Returns { designed: false, refusal } when the console would
  // refuse them, else { designed: true, components: { R1, R2, C1, C2 } (ohms, farads),
  // cutoffHz, flatTopHz, edgeHz, lines: { r1, r2, c1, c2, passband } }. The design stays
  // current for halfDeviation and samples.
  design(fcKhz, r1Ohm) {
    const x = this.#x;
    if (!x.kestrane_design(fcKhz, r1Ohm)) {
      return { designed: false, refusal: this.#text(x.kestrane_text_length()) };
    }
    const lines = {};
    for (let i = 0; i < 5; i++) lines[RESULT_LINES[i]] = this.#text(x.kestrane_result_line(i));
    return {
      designed: true,
      components: {
        R1: x.kestrane_component(0),
        R2: x.kestrane_component(1),
        C1: x.kestrane_component(2),
        C2: x.kestrane_component(3),
      },
      cutoffHz: x.kestrane_cutoff_hz(),
      flatTopHz: x.kestrane_flat_top_hz(),
      edgeHz: x.kestrane_passband_edge(),
      lines,
    };
  }

  // The current design rounded to standard parts: resistors to the series named
  // `resistorSeries`, capacitors to `capacitorSeries` (names of seriesNames). Returns null
  // without a current design or for a name that is not a series, else { components: { R1, R2,
  // C1, C2 } (ohms, farads), cutoffFound, cutoffHz, errorPercent, lines: { r1, r2, c1, c2,
  // cutoff } }. The parts stay current for spread, partsSamples and envelope.
  parts(resistorSeries, capacitorSeries) {
    const x = this.#x;
    const made = x.kestrane_parts(
      this.seriesNames.indexOf(resistorSeries),
      this.seriesNames.indexOf(capacitorSeries),
    );
    if (!made) return null;
    const lines = {};
    PARTS_LINES.forEach((name, i) => (lines[name] = this.#text(x.kestrane_parts_line(i))));
    return {
      components: {
        R1: x.kestrane_parts_component(0),
        R2: x.kestrane_parts_component(1),
        C1: x.kestrane_parts_component(2),
        C2: x.kestrane_parts_component(3),
      },
      cutoffFound: x.kestrane_parts_cutoff_found() === 1,
      cutoffHz: x.kestrane_parts_cutoff_hz(),
      errorPercent: x.kestrane_parts_cutoff_error(),
      lines,
    };
  }

  // The range of the current parts' achieved cutoff with resistors within resistorPercent and
  // capacitors within capacitorPercent (tolerances as readTolerance takes them): { found,
  // lowestHz, highestHz, line }; line is "" without current parts.
  spread(resistorPercent, capacitorPercent) {
    const x = this.#x;
    const line = this.#text(x.kestrane_parts_spread(resistorPercent, capacitorPercent));
    return {
      found: x.kestrane_spread_found() === 1,
      lowestHz: x.kestrane_spread_lowest_hz(),
      highestHz: x.kestrane_spread_highest_hz(),
      line,
    };
  }

  // The current parts' response at the frequencies of the last samples: { gain, phaseDeg,
  // groupDelayS }, empty without current parts.
  partsSamples() {
    const x = this.#x;
    const count = x.kestrane_plot_parts();
    const array = (which) => this.#doubles(x.kestrane_parts_plot_array(which), count);
    return { gain: array(0), phaseDeg: array(1), groupDelayS: array(2) };
  }

  // The envelope of the current parts' response over their tolerances at the frequencies of
  // the last samples: { gain, phaseDeg, groupDelayS }, each { lowest, highest }, arrays that
  // are empty without current parts.
  envelope(resistorPercent, capacitorPercent) {
    const x = this.#x;
    const count = x.kestrane_plot_envelope(resistorPercent, capacitorPercent);
    const bounds = (which) => ({
      lowest: this.#doubles(x.kestrane_envelope_array(which), count),
      highest: this.#doubles(x.kestrane_envelope_array(which + 1), count),
    });
    return { gain: bounds(0), phaseDeg: bounds(2), groupDelayS: bounds(4) };
  }

  // Half the current design's phase deviation over 0 to `bandHz` (as read), the figure the
  // console prints, and its line ("+/-0.000979251 radian.").
  halfDeviation(bandHz) {
    const x = this.#x;
    const half = x.kestrane_half_deviation(bandHz);
    return { half, line: this.#text(x.kestrane_result_line(5)) };
  }

  // The core's amplitude and phase (radians) of the current design at whole hertz.
  magnitudeAt(hertz) {
    return this.#x.kestrane_magnitude_at(hertz);
  }
  phaseAt(hertz) {
    return this.#x.kestrane_phase_at(hertz);
  }

  // The current design's response at `points` frequencies evenly spaced in log frequency from
  // lowHz to highHz: { hz, gain, phaseDeg, groupDelayS }, arrays of numbers, empty when the
  // range is not 0 < lowHz < highHz.
  samples(lowHz, highHz, points = PLOT_POINTS) {
    const x = this.#x;
    const count = x.kestrane_plot_samples(lowHz, highHz, points);
    const copy = (pointer) => this.#doubles(pointer, count);
    return {
      hz: copy(x.kestrane_plot_hz()),
      gain: copy(x.kestrane_plot_gain()),
      phaseDeg: copy(x.kestrane_plot_phase_deg()),
      groupDelayS: copy(x.kestrane_plot_group_delay_s()),
    };
  }
}
