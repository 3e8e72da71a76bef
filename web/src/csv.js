// The plotted response as CSV, and saving a text as a file from the page.

// One header line, then one line per sample: frequency in hertz, gain (|H|), gain in dB, phase
// in degrees and group delay in seconds; when the plots show the standard parts
// (`parts.samples`), their gain, gain in dB, phase and group delay; and when they show the
// tolerance band (`parts.envelope`), its lowest and highest gain, phase and group delay. Each
// number in the shortest form that reads back to the same double; values that are not finite
// are written as empty fields.
export function responseCsv(samples, parts = null) {
  const field = (value) => (Number.isFinite(value) ? String(value) : "");
  const decibels = (gain) => 20 * Math.log10(gain);
  const columns = [
    ["frequency_hz", samples.hz],
    ["gain", samples.gain],
    ["gain_db", samples.gain.map(decibels)],
    ["phase_deg", samples.phaseDeg],
    ["group_delay_s", samples.groupDelayS],
  ];
  if (parts?.samples) {
    const s = parts.samples;
    columns.push(
      ["parts_gain", s.gain],
      ["parts_gain_db", s.gain.map(decibels)],
      ["parts_phase_deg", s.phaseDeg],
      ["parts_group_delay_s", s.groupDelayS],
    );
  }
  if (parts?.envelope) {
    const e = parts.envelope;
    columns.push(
      ["parts_gain_lowest", e.gain.lowest],
      ["parts_gain_highest", e.gain.highest],
      ["parts_phase_lowest_deg", e.phaseDeg.lowest],
      ["parts_phase_highest_deg", e.phaseDeg.highest],
      ["parts_group_delay_lowest_s", e.groupDelayS.lowest],
      ["parts_group_delay_highest_s", e.groupDelayS.highest],
    );
  }
  const lines = [columns.map(([name]) => name).join(",")];
  for (let i = 0; i < samples.hz.length; i++) {
    lines.push(columns.map(([, values]) => field(values[i])).join(","));
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

// A file name for a design's response from its field texts: letters, digits, point and minus
// kept, anything else made a dash.
export function csvName(texts) {
  const part = (text) => String(text).trim().replace(/[^0-9A-Za-z.+-]/g, "-") || "none";
  return `kestrane-fc${part(texts.fc)}kHz-r1${part(texts.r1)}ohm.csv`;
}
