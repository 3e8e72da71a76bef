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

// The field texts named by `search` (a location's query string), the initial text for a field
// it does not name.
export function textsFromQuery(search) {
  const params = new URLSearchParams(search);
  const texts = {};
  for (const field of FIELDS) texts[field.param] = params.get(field.param) ?? field.initial;
  return texts;
}

// The query string for the field texts, "?fc=...&r1=...&band=...".
export function queryFromTexts(texts) {
  const params = new URLSearchParams();
  for (const field of FIELDS) params.set(field.param, texts[field.param] ?? "");
  return "?" + params.toString();
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
