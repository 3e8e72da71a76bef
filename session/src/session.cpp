#include "kestrane/session/session.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <span>
#include <utility>

#include "kestrane/numeric/contract.h"
#include "kestrane/session/plot_response.h"
#include "kestrane/text/bill_of_materials.h"
#include "kestrane/text/parts_text.h"
#include "kestrane/text/spice_netlist.h"
#include "session_internals.h"

namespace kestrane {
namespace {

PlotCurve plot_curve(Curve& curve) {
    return {curve.gain.data(), curve.phase_deg.data(), curve.group_delay_s.data()};
}

int clamp_points(int points) {
    return std::clamp(points, 2, kMostPlotPoints);
}

}  // namespace

std::optional<OpAmpChoice> opamp_choice(double gbw_mhz, double gain_db, double output_ohm) {
    const OpAmpReading reading = opamp_from_fields(gbw_mhz, gain_db, output_ohm);
    if (reading.refused != OpAmpField::none) return std::nullopt;
    return OpAmpChoice{gbw_mhz, gain_db, output_ohm, reading.opamp};
}

FrequencyRange plot_range(double cutoff_hz, std::optional<double> band_hz) {
    constexpr double kDecades3 = 1000;
    double centre = std::fabs(cutoff_hz);
    if (!(centre > 0 && std::isfinite(centre))) centre = 1000;
    double low = centre / kDecades3;
    double high = centre * kDecades3;
    const double band = band_hz ? std::fabs(*band_hz) : 0;
    if (band > 0 && std::isfinite(band)) {
        // A band shows with a third of a decade's margin (a factor 3) beyond it, within six
        // decades below the cutoff and four above.
        low = std::max(std::min(low, band / 3), centre * 1e-6);
        high = std::min(std::max(high, band * 3), centre * 1e4);
    }
    return {low, std::min(high, DBL_MAX)};
}

// --- Settings ---

std::uint64_t Session::tick() {
    return ++clock_;
}

void Session::set_design(double fc_khz, double r1_ohm) {
    if (!has_design_) inputs_.changed = 0;  // a design after none is always new
    has_design_ = true;
    change(inputs_, std::pair{fc_khz, r1_ohm});
}

void Session::clear_design() {
    has_design_ = false;
}

void Session::set_band(std::optional<double> band_hz) {
    change(band_, band_hz);
}

void Session::set_parts(PartsMethod method, SeriesPair series) {
    change(parts_options_, std::pair{method, series});
}

void Session::set_tolerances(std::optional<PartTolerances> tolerances) {
    change(tolerances_, tolerances);
}

void Session::set_opamp(std::optional<OpAmpChoice> choice) {
    change(opamp_, choice);
}

void Session::set_amplitude(double amplitude_v) {
    change(amplitude_, amplitude_v);
}

void Session::set_attenuation_frequency(std::optional<double> hz) {
    change(attenuation_hz_, hz);
}

void Session::set_plot_points(int points) {
    change(plot_points_, clamp_points(points));
}

bool Session::set_frequencies(const std::vector<double>& hz) {
    const bool usable =
        hz.size() <= static_cast<std::size_t>(kMostPlotPoints) &&
        std::all_of(hz.begin(), hz.end(), [](double f) { return f > 0 && std::isfinite(f); });
    if (usable) change(given_frequencies_, hz);
    return usable;
}

void Session::set_step_points(int points) {
    change(step_points_, clamp_points(points));
}

// --- Products ---

bool Session::has_design() const {
    return has_design_;
}

const Design& Session::design() {
    KESTRANE_CHECK(has_design_);
    if (!fresh(design_, {inputs_.changed})) {
        design_.value = design_filter(inputs_.value.first, inputs_.value.second);
        design_.stamp = tick();
    }
    return design_.value;
}

bool Session::made() {
    if (is_cascade()) {
        const CascadeOutcome* outcome = cascade();
        return outcome && outcome->made();
    }
    return has_design_ && design().made();
}

const Design* Session::made_design() {
    return !is_cascade() && made() ? &design_.value : nullptr;
}

std::optional<double> Session::half_deviation() {
    if (is_cascade()) return cascade_deviation();
    const Design* design = made_design();
    if (!design) return std::nullopt;
    if (!fresh(deviation_, {design_.stamp, band_.changed})) {
        deviation_.value =
            band_.value ? std::optional(half_phase_deviation(*design, *band_.value)) : std::nullopt;
        deviation_.stamp = tick();
    }
    return deviation_.value;
}

const PartsReport* Session::set_report() {
    const Design* design = made_design();
    if (!design) return nullptr;
    if (!fresh(set_, {design_.stamp, parts_options_.changed})) {
        const auto& [method, series] = parts_options_.value;
        set_.value = set_report_of(*design, method, series);
        set_.stamp = tick();
    }
    return &*set_.value;
}

const PartsReport* Session::parts() {
    const PartsReport* set = set_report();
    if (!set) return nullptr;
    if (!fresh(report_, {set_.stamp, tolerances_.changed})) {
        report_.value = *set;
        box_.value.reset();
        const std::optional<PartTolerances>& tolerances = tolerances_.value;
        if (tolerances) {
            box_.value =
                add_tolerance_ranges(*report_.value, *tolerances, design_.value.targets.cutoff_hz);
        } else {
            report_.value->options.tolerances = {NAN, NAN};
        }
        report_.stamp = box_.stamp = tick();
    }
    return &*report_.value;
}

std::optional<CircuitParts> Session::shown_parts() {
    const PartsReport* set = set_report();
    if (!set || !set->buildable) return std::nullopt;
    return set->shown;
}

const ToleranceBox* Session::tolerance_box() {
    const PartsReport* report = parts();
    return report && box_.value ? &*box_.value : nullptr;
}

const OpAmpChoice* Session::opamp_choice() const {
    return opamp_.value ? &*opamp_.value : nullptr;
}

std::optional<double> Session::amplitude() const {
    const double v = amplitude_.value;
    return v > 0 && std::isfinite(v) ? std::optional(v) : std::nullopt;
}

const OpAmpFigures* Session::opamp_figures() {
    const std::optional<CircuitParts> parts = shown_parts();
    if (!parts || !opamp_.value) return nullptr;
    if (!fresh(opamp_figures_, {set_.stamp, opamp_.changed, amplitude_.changed})) {
        opamp_figures_.value =
            kestrane::opamp_figures(*parts, opamp_.value->opamp, amplitude().value_or(1));
        opamp_figures_.stamp = tick();
    }
    return &*opamp_figures_.value;
}

std::optional<Session::Attenuation> Session::attenuation() {
    const std::optional<CircuitParts> parts = shown_parts();
    if (!opamp_figures()) return std::nullopt;
    if (!fresh(attenuation_, {set_.stamp, opamp_.changed, attenuation_hz_.changed})) {
        const std::optional<double>& hz = attenuation_hz_.value;
        attenuation_.value.reset();
        if (hz && *hz >= 0 && std::isfinite(*hz)) {
            const TransferFunction h = transfer_function(*parts, opamp_.value->opamp);
            attenuation_.value = Attenuation{*hz, attenuation_db(h, *hz)};
        }
        attenuation_.stamp = tick();
    }
    return attenuation_.value;
}

const StepResponses* Session::step() {
    const OpAmpFigures* figures = opamp_figures();
    if (!figures) return nullptr;
    if (!fresh(step_, {set_.stamp, opamp_.changed})) {
        // The op-amp figures hold the step with the op-amp (the same whatever the amplitude);
        // the ideal op-amp's is made here.
        const CircuitParts parts = *shown_parts();
        StepResponses step;
        step.with_opamp = figures->step;
        step.ideal = step_figures(parts, kIdealOpAmp);
        step.span_s = std::max(step.with_opamp.span_s, step.ideal.span_s);
        step_.value = step;
        step_.stamp = tick();
    }
    return &*step_.value;
}

const std::vector<double>& Session::plot_frequencies() {
    if (!made()) {
        forget(frequencies_);
        return frequencies_.value;
    }
    if (!fresh(frequencies_, {design_.stamp, cascade_.stamp, band_.changed, plot_points_.changed,
                              given_frequencies_.changed})) {
        frequencies_.stamp = tick();
        if (!given_frequencies_.value.empty()) {
            frequencies_.value = given_frequencies_.value;
            return frequencies_.value;
        }
        const FrequencyRange range = plot_range(plot_centre_hz(), band_.value);
        frequencies_.value.resize(static_cast<std::size_t>(plot_points_.value));
        kestrane::plot_frequencies(range.low_hz, range.high_hz, plot_points_.value,
                                   frequencies_.value.data());
    }
    return frequencies_.value;
}

const std::vector<double>& Session::frequencies() {
    return plot_frequencies();
}

const Curve& Session::design_curve() {
    const std::vector<double>& hz = plot_frequencies();
    if (hz.empty()) {
        forget(design_curve_);
    } else if (!fresh(design_curve_, {frequencies_.stamp, design_.stamp, cascade_.stamp})) {
        design_curve_.value = sized_curve(hz.size());
        if (is_cascade()) {
            // The design as intended: the stages' target f0 and Q.
            const std::span<const Stage> stages = stages_of(cascade_.value->design);
            for (std::size_t i = 0; i < hz.size(); ++i)
                put_point(design_curve_.value, i, cascade_point(stages, hz[i]));
        } else {
            plot_responses(design_.value.components, hz.data(), static_cast<int>(hz.size()),
                           plot_curve(design_curve_.value));
        }
        add_decibels(design_curve_.value);
        design_curve_.stamp = tick();
    }
    return design_curve_.value;
}

const Curve& Session::circuit_curve() {
    const std::vector<double>& hz = plot_frequencies();
    if (is_cascade()) return cascade_curve(circuit_curve_, hz, nullptr);
    const std::optional<CircuitParts> parts = shown_parts();
    if (hz.empty() || !parts) {
        forget(circuit_curve_);
    } else if (!fresh(circuit_curve_, {frequencies_.stamp, set_.stamp})) {
        circuit_curve_.value = sized_curve(hz.size());
        plot_circuit(*parts, hz.data(), static_cast<int>(hz.size()),
                     plot_curve(circuit_curve_.value));
        add_decibels(circuit_curve_.value);
        circuit_curve_.stamp = tick();
    }
    return circuit_curve_.value;
}

const BandCurves& Session::band_curves() {
    const std::vector<double>& hz = plot_frequencies();
    if (is_cascade()) return cascade_band_curves(hz);
    const ToleranceBox* box = tolerance_box();
    if (hz.empty() || !box) {
        forget(band_curves_);
    } else if (!fresh(band_curves_, {frequencies_.stamp, box_.stamp})) {
        BandCurves& bands = band_curves_.value;
        bands = {sized_curve(hz.size()), sized_curve(hz.size())};
        std::vector<ResponseBand> scratch(hz.size());
        plot_bands(*box, hz, scratch, envelope_of(bands));
        add_decibels(bands.lowest);
        add_decibels(bands.highest);
        band_curves_.stamp = tick();
    }
    return band_curves_.value;
}

const Curve& Session::opamp_curve() {
    const std::vector<double>& hz = plot_frequencies();
    if (is_cascade()) return cascade_curve(opamp_curve_, hz, opamp_choice());
    const std::optional<CircuitParts> parts = shown_parts();
    if (hz.empty() || !parts || !opamp_.value) {
        forget(opamp_curve_);
    } else if (!fresh(opamp_curve_, {frequencies_.stamp, set_.stamp, opamp_.changed})) {
        opamp_curve_.value = sized_curve(hz.size());
        plot_opamp(transfer_function(*parts, opamp_.value->opamp), hz.data(),
                   static_cast<int>(hz.size()), plot_curve(opamp_curve_.value));
        add_decibels(opamp_curve_.value);
        opamp_curve_.stamp = tick();
    }
    return opamp_curve_.value;
}

const StepCurves& Session::step_curves() {
    if (is_cascade()) return cascade_step_curves();
    const StepResponses* responses = step();
    if (!responses) {
        forget(step_curves_);
    } else if (!fresh(step_curves_, {step_.stamp, step_points_.changed})) {
        const CircuitParts parts = *shown_parts();
        const int count = step_points_.value;
        const std::vector<StepSample> model =
            step_samples(parts, opamp_.value->opamp, responses->span_s, count);
        const std::vector<StepSample> ideal =
            step_samples(parts, kIdealOpAmp, responses->span_s, count);
        step_curves_.value = step_curves_of(model, ideal);
        step_curves_.stamp = tick();
    }
    return step_curves_.value;
}

std::string Session::netlist_refusal() {
    if (is_cascade()) {
        if (!cascade_shown() || !opamp_.value) return "";
        return std::string(netlist_refusal_of(opamp_.value->opamp));
    }
    const PartsReport* report = set_report();
    if (!report || !opamp_.value) return "";
    if (!report->buildable) return no_circuit_text(*report, "netlist");
    return std::string(netlist_refusal_of(opamp_.value->opamp));
}

std::string Session::netlist() {
    if (is_cascade()) return cascade_netlist_text();
    const PartsReport* report = set_report();
    if (!report || !opamp_.value) return "";
    const std::string refusal = netlist_refusal();
    if (!refusal.empty()) return empty_netlist(refusal);
    const CircuitParts parts = *shown_parts();
    const OpAmp& opamp = opamp_.value->opamp;
    const std::string series = series_pair_text(report->options.series);
    const Design& made = design_.value;
    const NetlistDesign source{made.targets.cutoff_hz, made.components.R1, series,
                               method_phrase(report->options.method)};
    const NetlistAnalyses analyses =
        netlist_analyses(report->figures.cutoff_hz, step()->with_opamp.span_s);
    return spice_netlist(parts, opamp, source, analyses);
}

std::string Session::bill_of_materials() {
    if (is_cascade()) return cascade_bill_of_materials_text();
    const PartsReport* report = parts();
    if (!report || !report->buildable || !opamp_.value) return "";
    const PartsOptions& options = report->options;
    const bool stated = report->ranges_made;
    const PartsSource source{series_name(options.series.resistors),
                             series_name(options.series.capacitors),
                             stated ? options.tolerances.resistor_percent : 0,
                             stated ? options.tolerances.capacitor_percent : 0};
    return bill_of_materials_csv(report->shown, source, opamp_.value->opamp);
}

std::uint64_t Session::stamp(Product product) {
    // A product that is missing has the stamp 0, so that a face sees it go.
    switch (product) {
        case Product::design:
            if (is_cascade()) return cascade() ? cascade_.stamp : 0;
            return has_design_ ? (design(), design_.stamp) : 0;
        case Product::deviation:
            return half_deviation() ? deviation_.stamp : 0;
        case Product::parts:
            return set_report() ? set_.stamp : 0;
        case Product::ranges:
            return tolerance_box() ? box_.stamp : 0;
        case Product::opamp:
            return opamp_figures() ? opamp_figures_.stamp : 0;
        case Product::attenuation:
            return attenuation() ? attenuation_.stamp : 0;
        case Product::step:
            return step() ? step_.stamp : 0;
        case Product::frequencies:
            return plot_frequencies().empty() ? 0 : frequencies_.stamp;
        case Product::design_curve:
            return design_curve().gain.empty() ? 0 : design_curve_.stamp;
        case Product::circuit_curve:
            return circuit_curve().gain.empty() ? 0 : circuit_curve_.stamp;
        case Product::band_curves:
            return band_curves().lowest.gain.empty() ? 0 : band_curves_.stamp;
        case Product::opamp_curve:
            return opamp_curve().gain.empty() ? 0 : opamp_curve_.stamp;
        case Product::step_curves:
            return step_curves().t_s.empty() ? 0 : step_curves_.stamp;
        case Product::cascade:
            return cascade() ? cascade_.stamp : 0;
        case Product::cascade_parts:
            return cascade_set() ? cascade_set_.stamp : 0;
        case Product::cascade_ranges:
            return cascade_report() && cascade_report_.value->parts.ranges_made
                       ? cascade_report_.stamp
                       : 0;
        case Product::cascade_opamp:
            return cascade_opamp() ? cascade_opamp_.stamp : 0;
        case Product::cascade_step:
            return cascade_step() ? cascade_step_.stamp : 0;
        case Product::stage_curves:
            break;
    }
    return stage_curves().empty() ? 0 : stage_curves_.stamp;
}

}  // namespace kestrane
