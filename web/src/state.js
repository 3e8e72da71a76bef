// The design's inputs: the three fields, what they hold, and their place in the page's URL
// (index.html?fc=2.2&r1=4700&band=1000), so that a design is shared as a link and survives a
// reload; the filter (&resp=chebyshev&ord=5&rip=0.5&re=1, or a specification &fp=1&ap=1&fs=3
// &as=40, and &st=1 for the stages' own curves); and the settings of the standard parts and of
// the op-amp, which join the URL when they differ from their defaults (&pm=nearest&sr=E24&sc=E6
// &tr=5&tc=10&parts=0&gbw=1&a0=80&ro=75&vpk=2.5&fa=48k&comp=1).

// Each field: its input element's id, its query parameter, and the text it starts with when
// the URL names none (the console's own example design).
export const FIELDS = [
  { id: "fc-khz", param: "fc", initial: "1", kind: "design" },
  { id: "r1-ohm", param: "r1", initial: "10000", kind: "design" },
  { id: "band-hz", param: "band", initial: "150", kind: "band" },
];

// The settings: the filter (the search's single stage, "search", or a response family of the
// module's table; its order, a Chebyshev's ripple in dB and whether its cutoff is the ripple
// band's edge, a specification's edges in kHz and losses in dB, and the switch for the stages'
// own curves), how the set of standard parts is chosen ("best" or "nearest"), the two series
// selectors (option values "E6" to "E192"), the two tolerance fields in percent, the switch
// for the set's curves ("1" shown, "0" not), and the op-amp: its gain-bandwidth product in
// MHz, open-loop gain in dB and output resistance in ohms, the input sine's peak in volts for
// the slew rate, the frequency of the attenuation figure in hertz, and the switch for
// compensation. `initial` is the default: the module's, from the constant its table names as
// `constant` (useModuleDefaults), or the page's own; `kind` says how the field is read.
export const SETTINGS = [
  { id: "response", param: "resp", initial: "search", kind: "response" },
  { id: "order", param: "ord", initial: "4", kind: "order" },
  { id: "ripple-db", param: "rip", initial: "", kind: "ripple_db" },
  { id: "ripple-edge", param: "re", initial: "0", kind: "switch" },
  { id: "fp-khz", param: "fp", initial: "", kind: "edge_khz" },
  { id: "ap-db", param: "ap", initial: "", kind: "loss_db" },
  { id: "fs-khz", param: "fs", initial: "", kind: "edge_khz" },
  { id: "as-db", param: "as", initial: "", kind: "loss_db" },
  { id: "show-stages", param: "st", initial: "0", kind: "switch" },
  { id: "parts-method", param: "pm", constant: "default_method", kind: "method" },
  { id: "series-r", param: "sr", constant: "default_resistor_series", kind: "series" },
  { id: "series-c", param: "sc", constant: "default_capacitor_series", kind: "series" },
  { id: "tol-r", param: "tr", constant: "default_resistor_tolerance", kind: "tolerance" },
  { id: "tol-c", param: "tc", constant: "default_capacitor_tolerance", kind: "tolerance" },
  { id: "show-parts", param: "parts", initial: "1", kind: "switch" },
  { id: "gbw-mhz", param: "gbw", constant: "default_gbw_mhz", kind: "gbw" },
  { id: "a0-db", param: "a0", constant: "default_a0_db", kind: "gain_db" },
  { id: "rout-ohm", param: "ro", constant: "default_ro_ohm", kind: "output_ohm" },
  { id: "vin-peak", param: "vpk", constant: "default_amplitude_v", kind: "amplitude" },
  { id: "atten-hz", param: "fa", constant: "default_attenuation_hz", kind: "frequency" },
  { id: "compensate", param: "comp", initial: "0", kind: "switch" },
];

// The ripple a Chebyshev starts with when the field is empty, in dB.
export const FIRST_RIPPLE = "0.5";

// The words a link may give a switch: on, or off; anything else is not a switch's value.
const SWITCH_ON = new Set(["1", "true", "on", "yes"]);
const SWITCH_OFF = new Set(["0", "false", "off", "no", ""]);

// A switch's text in a link read as "1" or "0", or null for a text that is neither; case does
// not count.
export function switchValue(text) {
  const word = String(text).trim().toLowerCase();
  if (SWITCH_ON.has(word)) return "1";
  if (SWITCH_OFF.has(word)) return "0";
  return null;
}

// Takes the settings' defaults from the module's constants (Core.constants), as text.
export function useModuleDefaults(constants) {
  for (const setting of SETTINGS) {
    if (setting.constant) setting.initial = String(constants[setting.constant]);
  }
}

// The kinds of the settings that are typed numbers, read as Core.readField reads them.
const READ_KINDS = new Set([
  "design",
  "band",
  "tolerance",
  "gbw",
  "gain_db",
  "output_ohm",
  "amplitude",
  "frequency",
  "order",
  "ripple_db",
  "edge_khz",
  "loss_db",
]);
const FILTER_KINDS = new Set(["order", "ripple_db", "edge_khz", "loss_db"]);

// The typed settings of the op-amp, in the order of their fields, and of the filter.
export const OPAMP_SETTINGS = SETTINGS.filter(
  (setting) =>
    READ_KINDS.has(setting.kind) && setting.kind !== "tolerance" && !FILTER_KINDS.has(setting.kind),
);
export const FILTER_SETTINGS = SETTINGS.filter((setting) => FILTER_KINDS.has(setting.kind));

const ALL_INPUTS = [...FIELDS, ...SETTINGS];

// A query value as text. A "+" stays a plus sign (not a space, as in form encoding), so that a
// link typed as ?fc=4.7e+3 means what it says.
function decodeValue(value) {
  try {
    return decodeURIComponent(value);
  } catch {
    return value;  // a malformed escape: the text as it stands
  }
}

// The field and setting texts named by `search` (a location's query string), the initial text
// for one it does not name. The first of repeated names counts. Texts are as the query gives
// them: the page puts a series that is not among the selector's options back to its default.
export function textsFromQuery(search) {
  const named = new Map();
  for (const part of search.replace(/^\?/, "").split("&")) {
    const equals = part.indexOf("=");
    const name = decodeValue(equals < 0 ? part : part.slice(0, equals));
    if (!named.has(name)) named.set(name, equals < 0 ? "" : decodeValue(part.slice(equals + 1)));
  }
  const texts = {};
  for (const input of ALL_INPUTS) texts[input.param] = named.get(input.param) ?? input.initial;
  return texts;
}

// The query string for the texts, "?fc=...&r1=...&band=..." and each setting that is not at
// its default.
export function queryFromTexts(texts) {
  const pair = (param) => `${param}=${encodeURIComponent(texts[param] ?? "")}`;
  const pairs = FIELDS.map(({ param }) => pair(param));
  for (const { param, initial } of SETTINGS) {
    if (param in texts && texts[param] !== initial) pairs.push(pair(param));
  }
  return "?" + pairs.join("&");
}

// Chromium ignores history.replaceState beyond a couple of hundred calls in ten seconds, which
// fast typing reaches; the address therefore follows the fields at most every URL_DELAY_MS,
// always ending with the latest texts.
const URL_DELAY_MS = 200;
let pendingQuery = null;
let urlTimer = 0;

function writePendingQuery() {
  urlTimer = 0;
  if (pendingQuery === window.location.search) return;
  try {
    window.history.replaceState(null, "", pendingQuery);
  } catch {
    // file:// in a browser that does not allow it: the link is not kept, nothing else changes.
  }
}

// Puts the texts in the address bar without a new history entry, within URL_DELAY_MS. Some
// browsers refuse this for pages opened from disk; the page works the same without it.
export function storeInUrl(texts) {
  pendingQuery = queryFromTexts(texts);
  if (urlTimer === 0) urlTimer = setTimeout(writePendingQuery, URL_DELAY_MS);
}

// Reads every typed field as a field of its kind (the cutoff and R1 as "design", the band as
// "band", the tolerances as "tolerance", the op-amp's and the filter's as theirs). Returns, per
// query parameter, { status, value, message, note } as Core.readField gives it.
export function readFields(core, texts) {
  const reads = {};
  for (const input of ALL_INPUTS) {
    if (READ_KINDS.has(input.kind)) {
      reads[input.param] = core.readField(texts[input.param], input.kind);
    }
  }
  return reads;
}
