// The design's inputs: the three fields, what they hold, and their place in the page's URL
// (index.html?fc=2.2&r1=4700&band=1000), so that a design is shared as a link and survives a
// reload.

// Each field: its input element's id, its query parameter, and the text it starts with when
// the URL names none (the console's own example design).
export const FIELDS = [
  { id: "fc-khz", param: "fc", initial: "1", limit: "design" },
  { id: "r1-ohm", param: "r1", initial: "10000", limit: "design" },
  { id: "band-hz", param: "band", initial: "150", limit: "band" },
];

// A query value as text. A "+" stays a plus sign (not a space, as in form encoding), so that a
// link typed as ?fc=4.7e+3 means what it says.
function decodeValue(value) {
  try {
    return decodeURIComponent(value);
  } catch {
    return value;  // a malformed escape: the text as it stands
  }
}

// The field texts named by `search` (a location's query string), the initial text for a field
// it does not name. The first of repeated names counts.
export function textsFromQuery(search) {
  const named = new Map();
  for (const part of search.replace(/^\?/, "").split("&")) {
    const equals = part.indexOf("=");
    const name = decodeValue(equals < 0 ? part : part.slice(0, equals));
    if (!named.has(name)) named.set(name, equals < 0 ? "" : decodeValue(part.slice(equals + 1)));
  }
  const texts = {};
  for (const field of FIELDS) texts[field.param] = named.get(field.param) ?? field.initial;
  return texts;
}

// The query string for the field texts, "?fc=...&r1=...&band=...".
export function queryFromTexts(texts) {
  const pairs = FIELDS.map(({ param }) => `${param}=${encodeURIComponent(texts[param] ?? "")}`);
  return "?" + pairs.join("&");
}

// Puts the texts in the address bar without a new history entry. Some browsers refuse this for
// pages opened from disk; the page works the same without it.
export function storeInUrl(texts) {
  const query = queryFromTexts(texts);
  if (query === window.location.search) return;
  try {
    window.history.replaceState(null, "", query);
  } catch {
    // file:// in a browser that does not allow it: the link is not kept, nothing else changes.
  }
}

// Reads every field with the console's number rules. Returns, per query parameter,
// { status, value, message } as Core.readField gives it.
export function readFields(core, texts) {
  const reads = {};
  for (const field of FIELDS) {
    const limit = field.limit === "band" ? core.bandNumberChars : core.designNumberChars;
    reads[field.param] = core.readField(texts[field.param], limit);
  }
  return reads;
}
