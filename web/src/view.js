// What the page shows for the fields as they stand, as pure functions and small timers, apart
// from the page itself so that node's test runner checks them directly.
//
// A calm page: while a field is incomplete (empty, not a number yet, too long, out of range,
// or a design the console refuses, as the cutoff 0 on the way to 0.05), the last result stays
// in place, marked as out of date; the field's message shows, and the result goes, only when
// the user pauses (SETTLE_MS), presses Enter or leaves the field.

export const SETTLE_MS = 700;

function isOk(read) {
  return read?.status === "ok";
}

// What to show for field reads `reads` (by query parameter: fc, r1, band, tr, tc, gbw, a0,
// ro, vpk, fa, each { status }) and `design` (the core's design of fc and r1, or null when they
// are not numbers): { complete, design, deviation, spread, opamp, amplitude, attenuation,
// note }. complete is true when every field holds what it should and the design was made:
// the page then shows the result at once. Otherwise, once settled, it shows the parts that
// stand (design, deviation, spread of the tolerances, op-amp figures with the amplitude and
// the attenuation) and the note says what is missing.
export function resultPlan(reads, design) {
  const designable = isOk(reads.fc) && isOk(reads.r1);
  const designed = designable && Boolean(design?.designed);
  const band = isOk(reads.band);
  const tolerances = isOk(reads.tr) && isOk(reads.tc);
  const opamp = isOk(reads.gbw) && isOk(reads.a0) && isOk(reads.ro);
  const amplitude = isOk(reads.vpk);
  const attenuation = isOk(reads.fa);
  const notes = [];
  if (!designable) {
    const empty = reads.fc?.status === "empty" || reads.r1?.status === "empty";
    notes.push(empty ? "Type a cutoff and R1 to design." : "Correct the marked field to design.");
  } else if (!designed) {
    notes.push(design?.refusal ?? "");
  } else {
    if (reads.band?.status === "empty") {
      notes.push("Type a band to see the phase deviation over it.");
    } else if (!band) {
      notes.push("Correct the band to see the phase deviation over it.");
    }
    if (reads.tr?.status === "empty" || reads.tc?.status === "empty") {
      notes.push("Type both tolerances to see the spread of the cutoff.");
    } else if (!tolerances) {
      notes.push("Correct the tolerance to see the spread of the cutoff.");
    }
    if (!opamp || !amplitude || !attenuation) {
      notes.push("Complete the op-amp's fields to see the circuit with it.");
    }
  }
  return {
    complete: designed && band && tolerances && opamp && amplitude && attenuation,
    design: designed,
    deviation: designed && band,
    spread: designed && tolerances,
    opamp: designed && opamp,
    amplitude: designed && opamp && amplitude,
    attenuation: designed && opamp && attenuation,
    note: notes.join(" "),
  };
}

// The message for a series named in a link (`text`) that is not among `names`: it says what
// the link asked for and what the page uses instead (`fallback`); "" for a known series.
export function seriesMessage(text, names, fallback, parts) {
  if (names.includes(text)) return "";
  const shown = text.length > 24 ? `${text.slice(0, 21)}...` : text;
  const known = names.join(", ");
  return `The link's ${parts} series "${shown}" is not one of ${known}; ${fallback} is used.`;
}

// One sentence that sums a design up for people: the inputs and what the search made of
// them, from the core's texts for people (design.texts) and the band's text ("" for none).
export function designSummary(design, bandText) {
  const t = design.texts;
  const band = bandText ? `, band ${bandText}` : "";
  return (
    `Cutoff ${t.cutoff_hz}, R1 ${t.R1}${band}: R2 ${t.R2}, C1 ${t.C1}, C2 ${t.C2}, ` +
    `passband edge ${t.passband_edge_hz}.`
  );
}

// A timer that calls `settle` once `delayMs` after the last schedule(), or at once on now().
// pending tells whether a call is due.
export function createSettler(settle, delayMs = SETTLE_MS) {
  let timer = null;
  const cancel = () => {
    if (timer !== null) clearTimeout(timer);
    timer = null;
  };
  return {
    schedule() {
      cancel();
      timer = setTimeout(() => {
        timer = null;
        settle();
      }, delayMs);
    },
    now() {
      const due = timer !== null;
      cancel();
      if (due) settle();
    },
    cancel,
    get pending() {
      return timer !== null;
    },
  };
}

// Calls `run` with the latest arguments at most once every `intervalMs`: at once when the last
// call was long enough ago, else at the end of the interval, so the last arguments always
// reach `run`.
export function throttle(run, intervalMs) {
  let last = -Infinity;
  let timer = null;
  let latest = [];
  const fire = () => {
    timer = null;
    last = Date.now();
    run(...latest);
  };
  return (...args) => {
    latest = args;
    if (timer !== null) return;
    const wait = last + intervalMs - Date.now();
    if (wait <= 0) fire();
    else timer = setTimeout(fire, wait);
  };
}
