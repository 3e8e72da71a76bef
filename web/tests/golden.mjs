// The golden transcripts' designs and result lines, read once for every test that needs them:
// differential.mjs imports goldenCases, and the browser test runs this file to get them as
// JSON:
//
//   node golden.mjs tests/golden    prints [{ name, designs: [[fc, r1, band]], lines: [[...]] }]
import { readdirSync, readFileSync } from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

// The designs of a golden input: its numbers four at a time (cutoff, R1, band, repeat answer).
export function goldenDesigns(inputText) {
  const tokens = inputText.split(/\s+/).filter((t) => t !== "");
  const designs = [];
  for (let i = 0; i + 2 < tokens.length; i += 4) {
    designs.push([tokens[i], tokens[i + 1], tokens[i + 2]]);
  }
  return designs;
}

// The six result lines of each design in a golden transcript, in order.
export function goldenLines(outputText) {
  const pick = (pattern) => [...outputText.matchAll(pattern)].map((m) => m[1]);
  const columns = [
    pick(/^(R1, Ohm: .*)$/gm),
    pick(/^(R2, Ohm: .*)$/gm),
    pick(/^(C1, nF: .*)$/gm),
    pick(/^(C2, nF: .*)$/gm),
    pick(/^(Passband, Hz: .*)$/gm),
    pick(/(\+\/-\S+ radian\.)$/gm),
  ];
  return columns[0].map((_, i) => columns.map((column) => column[i]));
}

// Every transcript in `folder` (NAME.in with NAME.out), by name.
export function goldenCases(folder) {
  return readdirSync(folder)
    .filter((name) => name.endsWith(".in"))
    .sort()
    .map((name) => {
      const base = path.join(folder, name.slice(0, -3));
      return {
        name,
        designs: goldenDesigns(readFileSync(`${base}.in`, "utf8")),
        lines: goldenLines(readFileSync(`${base}.out`, "utf8")),
      };
    });
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  process.stdout.write(JSON.stringify(goldenCases(process.argv[2])));
}
