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

// The specification's fields, by query parameter.
const SPECIFICATION = ["fp", "ap", "fs", "as"];

// What the filter's fields give, for `texts` (resp, the response's name or "search"; re, the
// ripple-edge switch, "1" or "0") and `reads` (ord, rip, fp, ap, fs, as, each { status, value
// }): { cascade, request ({ response, order, rippleDb, edge } for the module, or null for the
// search), specification ({ passbandKhz, passbandLossDb, stopbandKhz, stopbandLossDb } when
// all four fields hold one, else null), ready (the fields give a filter to design), note (what
// is missing) }. A ripple or a ripple edge goes to the module whatever the response, so that
// the module says why it does not fit.
export function filterPlan(texts, reads) {
  if (texts.resp === "search") {
    return { cascade: false, request: null, specification: null, ready: true, note: "" };
  }
  const filled = SPECIFICATION.filter((param) => reads[param]?.status !== "empty");
  const specified = filled.length === 4 && SPECIFICATION.every((param) => isOk(reads[param]));
  const partial = filled.length > 0 && !specified;
  const ripple = reads.rip?.status === "empty" || isOk(reads.rip);
  const order = specified || isOk(reads.ord);
  const notes = [];
  if (partial) {
    const bad = filled.some((param) => !isOk(reads[param]));
    notes.push(
      bad
        ? "Correct the marked field of the specification."
        : "Fill all four fields of the specification to set the order from them, or empty them.",
    );
  }
  if (!order) notes.push("Type an order from 1 to 10, or a specification.");
  if (!ripple) notes.push("Correct the ripple.");
  const request = {
    response: texts.resp,
    order: isOk(reads.ord) ? reads.ord.value : 0,
    rippleDb: isOk(reads.rip) ? reads.rip.value : NaN,
    edge: texts.re === "1" ? "ripple-edge" : "-3db",
  };
  const specification = specified
    ? {
        passbandKhz: reads.fp.value,
        passbandLossDb: reads.ap.value,
        stopbandKhz: reads.fs.value,
        stopbandLossDb: reads.as.value,
      }
    : null;
  return {
    cascade: true,
    request,
    specification,
    ready: order && ripple && !partial,
    note: notes.join(" "),
  };
}

// What to show for field reads `reads` (by query parameter: fc, r1, band, tr, tc, gbw, a0,
// ro, vpk, fa, each { status }), `design` (the core's design of fc and r1, or null when they
// are not numbers) and `filter` (filterPlan's; none for the search): { complete, design,
// deviation, spread, opamp, amplitude, attenuation, note }. complete is true when every field
// holds what it should and the design was made: the page then shows the result at once.
// Otherwise, once settled, it shows the parts that stand (design, deviation, spread of the
// tolerances, op-amp figures with the amplitude and the attenuation) and the note says what
// is missing. With a specification the cutoff field is not used.
export function resultPlan(reads, design, filter = null) {
  const cutoffUsed = !filter?.specification;
  const filterReady = filter?.ready ?? true;
  const designable = (!cutoffUsed || isOk(reads.fc)) && isOk(reads.r1) && filterReady;
  const designed = designable && Boolean(design?.designed);
  const band = isOk(reads.band);
  const tolerances = isOk(reads.tr) && isOk(reads.tc);
  const opamp = isOk(reads.gbw) && isOk(reads.a0) && isOk(reads.ro);
  const amplitude = isOk(reads.vpk);
  const attenuation = isOk(reads.fa);
  const notes = [];
  if (!designable) {
    const fields = cutoffUsed ? [reads.fc, reads.r1] : [reads.r1];
    if (!filterReady) {
      notes.push(filter.note);
    } else if (fields.some((read) => read?.status === "empty")) {
      notes.push(cutoffUsed ? "Type a cutoff and R1 to design." : "Type R1 to design.");
    } else {
      notes.push("Correct the marked field to design.");
    }
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

// The message for a choice named in a link (`text`) that is not among `names` (case does not
// count): it says what the link asked for, what it is (`what`: "resistor series") and what
// the page uses instead (`fallback`); "" for a known choice.
export function choiceMessage(text, names, fallback, what) {
  const lower = String(text).toLowerCase();
  if (names.some((name) => name.toLowerCase() === lower)) return "";
  const shown = text.length > 24 ? `${text.slice(0, 21)}...` : text;
  const known = names.join(", ");
  return `The link's ${what} "${shown}" is not one of ${known}; ${fallback} is used.`;
}

// The same for a series of parts ("resistor" or "capacitor").
export function seriesMessage(text, names, fallback, parts) {
  return choiceMessage(text, names, fallback, `${parts} series`);
}

// One sentence that sums a design up for people: the inputs and what the search made of
// them, from the core's texts for people (design.texts) and the band's text ("" for none); a
// cascade's heading (`cascadeHeading`, the module's) with the band instead.
export function designSummary(design, bandText, cascadeHeading = "") {
  const band = bandText ? `, band ${bandText}` : "";
  if (cascadeHeading) return `${cascadeHeading.replace(/:$/, "")}${band}.`;
  const t = design.texts;
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
