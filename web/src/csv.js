// The plotted response as CSV, and saving a text as a file from the page.

// One header line, then one line per sample: frequency in hertz, gain (|H|), gain in dB, phase
// in degrees and group delay in seconds, each number in the shortest form that reads back to
// the same double. Values that are not finite are written as empty fields.
export function responseCsv(samples) {
  const field = (value) => (Number.isFinite(value) ? String(value) : "");
  const lines = ["frequency_hz,gain,gain_db,phase_deg,group_delay_s"];
  for (let i = 0; i < samples.hz.length; i++) {
    const gain = samples.gain[i];
    lines.push(
      [samples.hz[i], gain, 20 * Math.log10(gain), samples.phaseDeg[i], samples.groupDelayS[i]]
        .map(field)
        .join(","),
    );
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
