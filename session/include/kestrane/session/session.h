// The assembly: one request turned into everything a face shows. The console, the command line,
// the page's module and the design dump all ask this class, and nothing else, for the design,
// the set of standard parts with its figures, ranges and yield, the warnings, the op-amp
// figures, the step response, the plotted curves, the netlist and the bill of materials.
//
// A session holds the settings of one request and makes each product when it is first asked
// for, from the settings and products it rests on:
//
//   design      <- cutoff and R1
//   deviation   <- design, band
//   set         <- design, method, series       (the shown set, its figures and warnings)
//   ranges      <- set, tolerances              (cutoff and Q ranges, yield, tolerance box)
//   op-amp      <- set, op-amp, amplitude       (op-amp figures)
//   attenuation <- set, op-amp, its frequency
//   step        <- set, op-amp                  (with the op-amp and with the ideal one)
//   frequencies <- design, band, plot points    (the plotted range)
//   curves      <- frequencies and the design, the set, the ranges or the op-amp
//   step curves <- step, step points
//
// A product is kept until something it rests on changes; a setting given the value it already
// holds changes nothing. So a face may give every setting on every keystroke and ask for what
// it shows: only what the keystroke changed is made again. Each product carries a stamp that
// changes exactly when it is made again, for a face that redraws only what changed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kestrane/cascade/cascade.h"
#include "kestrane/cascade/cascade_opamp.h"
#include "kestrane/cascade/cascade_parts.h"
#include "kestrane/cascade/cascade_step.h"
#include "kestrane/cascade/compensation.h"
#include "kestrane/cascade/order.h"
#include "kestrane/circuit/opamp.h"
#include "kestrane/circuit/standard_sets.h"
#include "kestrane/circuit/step_response.h"
#include "kestrane/circuit/tolerance_ranges.h"
#include "kestrane/model/design.h"
#include "kestrane/report/build_report.h"

namespace kestrane {

// An op-amp as its three fields name it: the fields as given, and the op-amp they make.
struct OpAmpChoice {
    double gbw_mhz = kDefaultGbwMhz;
    double open_loop_gain_db = kDefaultOpenLoopGainDb;
    double output_ohm = kDefaultOutputOhm;
    OpAmp opamp;  // opamp_from_fields of the three; the defaults make OpAmp{}
};

// The choice of the three fields, or no value when opamp_from_fields refuses one of them.
std::optional<OpAmpChoice> opamp_choice(double gbw_mhz, double gain_db, double output_ohm);

// The defaults of the settings that are not part of the design: the input sine's peak of the
// slew rate, in volts, and the frequency of the attenuation figure, in hertz (24 kHz: half the
// 48 kHz sampling rate of audio converters, where an anti-aliasing filter must have
// attenuated). The page's fields start from these.
inline constexpr double kDefaultAmplitudeV = 1;
inline constexpr double kDefaultAttenuationHz = 24000;

// How many frequencies the curves have, and the step curves' times, unless set otherwise; and
// the most either may have.
inline constexpr int kDefaultPlotPoints = 1500;
inline constexpr int kDefaultStepPoints = 400;
inline constexpr int kMostPlotPoints = 4096;

// The plotted frequencies for a design of cutoff `cutoff_hz` and a band of `band_hz` (none for
// no band): from three decades below the cutoff (two below the top of the flat band) to three
// decades above it, where an op-amp's stopband floor shows, widened to show the band when it
// is within reach (down to 1e-6 and up to 1e4 times the cutoff). A cutoff that is not positive
// and finite is taken by its magnitude, or as 1 kHz when that is 0 or infinite. Both ends are
// positive and finite, low below high.
struct FrequencyRange {
    double low_hz = 0;
    double high_hz = 0;
};
FrequencyRange plot_range(double cutoff_hz, std::optional<double> band_hz);

// One response at the plotted frequencies; the gain also in dB (decibels), for the plots and
// the files.
struct Curve {
    std::vector<double> gain;
    std::vector<double> gain_db;
    std::vector<double> phase_deg;
    std::vector<double> group_delay_s;
};

// The lowest and highest response over the tolerance box, at the plotted frequencies.
struct BandCurves {
    Curve lowest;
    Curve highest;
};

// The step response of the shown set with the op-amp and with the ideal op-amp.
struct StepResponses {
    StepFigures with_opamp;
    StepFigures ideal;
    double span_s = 0;  // the longer of the two spans: the step plot's
};

// The step responses sampled at evenly spaced times from 0 to the span.
struct StepCurves {
    std::vector<double> t_s;
    std::vector<double> with_opamp;
    std::vector<double> ideal;
};

// Why a cascade was not designed; `none` when it was.
enum class CascadeRefusal {
    none,
    request,        // the request is refused (request_error says why)
    specification,  // the specification is refused (the order choice's error says why)
    order,          // no order up to 10 meets the specification (the order choice says more)
    cutoff,         // the cutoff is not positive and finite, or beyond 1e-280 to 1e280 Hz
    resistor,       // R1 is not positive and finite, or its parts leave the double range
};

// A cascade as a request designs it, on the real circuit.
struct CascadeOutcome {
    CascadeRefusal refusal = CascadeRefusal::none;
    RequestError request_error = RequestError::none;
    std::optional<OrderChoice> order;  // with a specification: the order it chose
    double r1_ohm = 0;                 // the resistors of the exact parts
    CascadeDesign design;              // the stages: their target f0 and Q
    CascadeCircuit exact;              // the exact parts (compensated when that was asked)
    // What the standard parts aim at: `design`, or with compensation its stages at the f0 and Q
    // the compensated exact parts have with an ideal op-amp.
    CascadeDesign parts_design;
    Peak peaks[kMaxStages];            // the ideal peak at each stage's output
    // With a specification, the exact design's losses at fp and fs, in dB from its largest
    // gain; not a number otherwise.
    double passband_loss_db = 0;
    double stopband_loss_db = 0;
    // With compensation asked and an op-amp: what it gains, and the first stage no parts could
    // compensate (0 when all were; the exact parts are then the plain ones).
    std::optional<CompensationGain> compensation;
    int compensation_failed_stage = 0;

    bool made() const { return refusal == CascadeRefusal::none; }
};

// The step responses of a cascade: with the op-amp and with the ideal op-amp.
struct CascadeSteps {
    CascadeStepFigures with_opamp;
    CascadeStepFigures ideal;
    double span_s = 0;  // the longer of the two spans: the step plot's
};

// A cascade's stages as columns, one value a stage in signal order, for the faces' tables:
// each stage's order (1 or 2), its target f0 (Hz) and Q (not a number for order 1), its exact
// parts (R2 and C2 not a number for order 1) and the ideal peak gain at its output (dB from
// 1) with its frequency (0 at DC).
struct StageColumns {
    std::vector<double> order;
    std::vector<double> f0_hz;
    std::vector<double> q;
    std::vector<double> r1_ohm;
    std::vector<double> r2_ohm;
    std::vector<double> c1_farad;
    std::vector<double> c2_farad;
    std::vector<double> peak_gain_db;
    std::vector<double> peak_hz;
    // The shown standard set of each stage (R2 and C2 not a number for order 1), its f0 and Q
    // on the real circuit and their errors in percent against what it aims at; not a number
    // without a set to build.
    std::vector<double> std_r1_ohm;
    std::vector<double> std_r2_ohm;
    std::vector<double> std_c1_farad;
    std::vector<double> std_c2_farad;
    std::vector<double> std_f0_hz;
    std::vector<double> std_q;
    std::vector<double> f0_error_percent;
    std::vector<double> q_error_percent;
};

// A cascade's standard parts with their figures, warnings, and with tolerances the range and
// yield (cascade_parts), and each stage's Q range over its tolerance box.
struct CascadeReport {
    CascadeParts parts;
    std::vector<ValueRange> stage_q_range;  // with the ranges: one a second-order stage's
};

// A cascade's figures with the op-amp at each stage's output, as columns: the slew rate for
// the input sine (V/us; not a number where there is none) and the peak gain (dB from 1) with
// its frequency.
struct StageOpAmpColumns {
    std::vector<double> slew_v_per_us;
    std::vector<double> peak_gain_db;
    std::vector<double> peak_hz;
};

// A product and the stamp it was made at (0: never made).
template <typename T>
struct Made {
    T value{};
    std::uint64_t stamp = 0;
};

class Session {
  public:
    // --- Settings ---

    // The cutoff in kilohertz and R1 in ohms as read (any doubles): the design is made from
    // them when first asked for (design_filter).
    void set_design(double fc_khz, double r1_ohm);
    // No design: the faces' fields do not hold two numbers. Every product is then missing.
    void clear_design();
    // The band of the phase deviation in hertz, as read; none for no deviation.
    void set_band(std::optional<double> band_hz);
    // How the shown set is chosen and from which series. Defaults: best, E96 and E12.
    void set_parts(PartsMethod method, SeriesPair series);
    // The parts' tolerances in percent; none, or tolerances that fail are_tolerances, for no
    // ranges and no yield. Default 1 % and 5 %.
    void set_tolerances(std::optional<PartTolerances> tolerances);
    // The op-amp; none when its fields are refused (no op-amp figures, step, netlist or bill
    // of materials then). Default OpAmpChoice{}.
    void set_opamp(std::optional<OpAmpChoice> choice);
    // The input sine's peak for the slew rate in volts (taken when positive and finite, else
    // the slew rate is left out). Default 1 V.
    void set_amplitude(double amplitude_v);
    // The frequency of the attenuation figure in hertz; none, or one that is not 0 or above
    // and finite, for none. Default 24 kHz.
    void set_attenuation_frequency(std::optional<double> hz);
    // How many frequencies the curves have and how many times the step curves (each limited
    // to 2 to kMostPlotPoints).
    void set_plot_points(int points);
    // The curves' frequencies given one by one instead of the plotted range: each positive
    // and finite, at most kMostPlotPoints of them; an empty list goes back to the plotted
    // range. Returns false, changing nothing, for a list that is not so.
    bool set_frequencies(const std::vector<double>& hz);
    void set_step_points(int points);
    // The filter: none for the search's single stage (the default), or a cascade of the
    // request's response, order, ripple and cutoff convention, at the design's cutoff with
    // resistors of the design's R1 (both as read, in double precision). With a specification
    // the order and the cutoff come from it (choose_order), and the request's order and the
    // design's cutoff are not used. With compensation and an op-amp, each stage's exact parts
    // are compensated for it (compensated_cascade).
    void set_cascade(std::optional<CascadeRequest> request);
    void set_specification(std::optional<PassStopSpec> specification);
    void set_compensate(bool compensate);

    // --- Products ---

    // True when a design was set and not cleared.
    bool has_design() const;
    // The cutoff in kilohertz and R1 in ohms as last set (meaningful while has_design()).
    std::pair<double, double> design_inputs() const { return inputs_.value; }
    // The design (has_design() must hold): made or refused.
    const Design& design();
    // True with a design that was made: the search's, or the cascade's.
    bool made();
    // True when the filter is a cascade; its request and specification as set.
    bool is_cascade() const;
    const CascadeRequest* cascade_request() const;
    const PassStopSpec* specification() const;
    // The band as set.
    std::optional<double> band() const;
    // The cascade, when the filter is one and there is a design.
    const CascadeOutcome* cascade();
    // The cascade's standard parts (method and series of set_parts), their figures and
    // warnings, and with usable tolerances the range, yield and each stage's Q range; none
    // without a made cascade. parts.buildable says whether there is a set to build.
    const CascadeReport* cascade_report();
    // The cascade's shown circuit: its standard set, when it has one to build.
    const CascadeCircuit* cascade_shown();
    // The shown cascade's figures with the op-amp (the slew rate for the amplitude, or 1 V);
    // none without a made cascade or an op-amp.
    const CascadeOpAmpFigures* cascade_opamp();
    // The shown cascade's step responses; none without a made cascade or an op-amp.
    const CascadeSteps* cascade_step();
    // Each stage's own response on its own (the shown parts, the ideal op-amp), at the plotted
    // frequencies; empty without a made cascade.
    const std::vector<Curve>& stage_curves();
    // The cascade's stages as columns; empty without a made cascade.
    const StageColumns& stage_columns();
    // The cascade's figures with the op-amp at each stage's output; empty without them.
    const StageOpAmpColumns& stage_opamp_columns();
    // Half the phase deviation over the band, the figure the console prints; none without a
    // made design or a band.
    std::optional<double> half_deviation();
    // The shown set with its figures, the warnings, and with usable tolerances the ranges and
    // the yield (parts_report); none without a made design. buildable says whether there is a
    // set to build.
    const PartsReport* parts();
    // The shown set's parts on the real circuit, when there is a set to build.
    std::optional<CircuitParts> shown_parts();
    // The tolerance box of the ranges, when they were made.
    const ToleranceBox* tolerance_box();
    // The op-amp chosen, if any.
    const OpAmpChoice* opamp_choice() const;
    // The input sine's peak for the slew rate, when it is taken.
    std::optional<double> amplitude() const;
    // The shown set's figures with the op-amp (opamp_figures, the slew rate for the amplitude,
    // or 1 V without one); none without a set or an op-amp.
    const OpAmpFigures* opamp_figures();
    // The attenuation at the attenuation frequency in dB, from the DC gain (attenuation_db),
    // and that frequency; none without op-amp figures or a frequency.
    struct Attenuation {
        double hz = 0;
        double db = 0;
    };
    std::optional<Attenuation> attenuation();
    // The step responses; none without a set or an op-amp.
    const StepResponses* step();

    // The plotted frequencies, and the curves at them: the design model's, and the shown set's
    // on the real circuit, over the tolerance box and with the op-amp. Each is empty when what
    // it rests on is missing.
    const std::vector<double>& frequencies();
    const Curve& design_curve();
    const Curve& circuit_curve();
    const BandCurves& band_curves();
    const Curve& opamp_curve();
    const StepCurves& step_curves();

    // The SPICE netlist of the shown set with the op-amp (spice_netlist: an AC sweep from a
    // thousandth to a thousand times the set's real cutoff, a transient over the step's span);
    // without a set to build, or an op-amp the netlist's elements cannot hold, a netlist of
    // comments that says why (empty_netlist). Empty without a made design or an op-amp.
    std::string netlist();
    // Why netlist() holds no circuit, or "" when it holds one.
    std::string netlist_refusal();
    // The bill of materials of the shown set with the op-amp (bill_of_materials_csv, the
    // tolerances stated when the ranges were made); empty without a set or an op-amp.
    std::string bill_of_materials();

    // The stamp of each product as last made: it changes exactly when the product is made
    // again, and is 0 while the product is missing. The parts' stamp is the shown set's: the
    // ranges have their own.
    enum class Product {
        design,
        deviation,
        parts,
        ranges,
        opamp,
        attenuation,
        step,
        frequencies,
        design_curve,
        circuit_curve,
        band_curves,
        opamp_curve,
        step_curves,
        cascade,
        cascade_parts,
        cascade_ranges,
        cascade_opamp,
        cascade_step,
        stage_curves
    };
    std::uint64_t stamp(Product product);

  private:
    // A setting and the time it last changed.
    template <typename T>
    struct Setting {
        T value{};
        std::uint64_t changed = 0;
    };
    template <typename T>
    void change(Setting<T>& setting, const T& value);
    std::uint64_t tick();

    const Design* made_design();
    const PartsReport* set_report();
    const std::vector<double>& plot_frequencies();

    std::uint64_t clock_ = 0;
    bool has_design_ = false;
    Setting<std::pair<double, double>> inputs_;
    Setting<std::optional<double>> band_;
    Setting<std::pair<PartsMethod, SeriesPair>> parts_options_;
    Setting<std::optional<PartTolerances>> tolerances_{PartTolerances{1, 5}, 0};
    Setting<std::optional<OpAmpChoice>> opamp_{OpAmpChoice{}, 0};
    Setting<double> amplitude_{kDefaultAmplitudeV, 0};
    Setting<std::optional<double>> attenuation_hz_{kDefaultAttenuationHz, 0};
    Setting<int> plot_points_{kDefaultPlotPoints, 0};
    Setting<std::vector<double>> given_frequencies_;
    Setting<int> step_points_{kDefaultStepPoints, 0};
    Setting<std::optional<CascadeRequest>> cascade_request_;
    Setting<std::optional<PassStopSpec>> specification_;
    Setting<int> compensate_;

    Made<Design> design_;
    Made<std::optional<double>> deviation_;
    Made<std::optional<PartsReport>> set_;
    Made<std::optional<PartsReport>> report_;  // the set's report with its ranges
    Made<std::optional<ToleranceBox>> box_;
    Made<std::optional<OpAmpFigures>> opamp_figures_;
    Made<std::optional<Attenuation>> attenuation_;
    Made<std::optional<StepResponses>> step_;
    Made<std::vector<double>> frequencies_;
    Made<Curve> design_curve_;
    Made<Curve> circuit_curve_;
    Made<BandCurves> band_curves_;
    Made<Curve> opamp_curve_;
    Made<StepCurves> step_curves_;
    Made<std::optional<CascadeOutcome>> cascade_;
    Made<std::optional<CascadeReport>> cascade_set_;     // without the tolerances
    Made<std::optional<CascadeReport>> cascade_report_;  // with them
    Made<std::optional<CascadeOpAmpFigures>> cascade_opamp_;
    Made<std::optional<CascadeSteps>> cascade_step_;
    Made<std::vector<Curve>> stage_curves_;
    Made<StageColumns> stage_columns_;
    Made<StageOpAmpColumns> stage_opamp_columns_;

    std::optional<double> cascade_deviation();
    const CascadeReport* cascade_set();
    // The frequency the plotted range is centred on: the design's cutoff; 0 without one.
    double plot_centre_hz();
    // A cascade's bands at `hz` over its standard set's tolerance box.
    const BandCurves& cascade_band_curves(const std::vector<double>& hz);
    // A cascade's curve with `opamp` (none: the ideal op-amp) into `made`.
    const Curve& cascade_curve(Made<Curve>& made, const std::vector<double>& hz,
                               const OpAmpChoice* opamp);
    const StepCurves& cascade_step_curves();
    std::string cascade_netlist_text();
    std::string cascade_bill_of_materials_text();
};

}  // namespace kestrane
