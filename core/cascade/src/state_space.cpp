#include "state_space.h"

#include <cmath>
#include <limits>

#include "core_arithmetic.h"
#include "opamp_stages.h"

namespace kestrane::opamp_cascade {
namespace {

// ---- the system ----
//
// Stage k with input Vi (the previous output, or u), output Vo, and the current Io its load
// draws (Io = (Vo - V')/R1' with V' the far end of the next stage's R1: its x = Vo' + u1' for
// order 2, its p = u1' for order 1; Io = 0 for the last stage). The op-amp: g Va' = Vp - Vo -
// eps Va (Va a state when g > 0), and Va = Vo - Ro J with J the current into the output node
// from everything but Ro: J = (Vi - Vx)/R1 - (Vx - Vp)/R2 - Io with Vx = Vo + u1 (order 2), or
// J = -Io (order 1). Eliminating Va when g = 0: (1 + eps) Vo - eps Ro J = Vp. So each stage
// gives   alpha Vo - beta Ro J = r   with (alpha, beta, r) = (1, 1, Va) or (1 + eps, eps, Vp):
// a tridiagonal system in the outputs, diagonally dominant (G = 1/R1 + 1/R2 > 1/R1). Then
//   order 2: C1 u1' = (Vi - Vx)/R1 - (Vx - u2)/R2,  C2 u2' = (Vx - u2)/R2,
//   order 1: C1 u1' = (Vi - u1)/R1,
// and the op-amp's g Va' = Vp - Vo - eps Va.

struct StageIndex {
    int first = 0;  // u1
    int amp = -1;   // Va, or -1 with an infinite GBW
    int plus = 0;   // Vp: u2 for order 2, u1 for order 1
};

Vector unit(int index) {
    Vector v{};
    v[static_cast<std::size_t>(index)] = 1;
    return v;
}

Vector combination(double a, const Vector& x, double b, const Vector& y) {
    Vector v{};
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = a * x[i] + b * y[i];
    return v;
}

void set_row(Matrix& m, int row, const Vector& v) {
    for (int j = 0; j < m.n; ++j)
        m.a[row][j] = v[static_cast<std::size_t>(j)];
}

// The output rows W = L^-1 R for the tridiagonal L (lower, diagonal, upper), by elimination
// without pivoting (L is diagonally dominant).
void solve_tridiagonal(int count, const double* lower, double* diagonal, const double* upper,
                       Vector* rows) {
    for (int i = 1; i < count; ++i) {
        const double factor = lower[i] / diagonal[i - 1];
        diagonal[i] -= factor * upper[i - 1];
        rows[i] = combination(1, rows[i], -factor, rows[i - 1]);
    }
    for (int i = count; i-- > 0;) {
        if (i + 1 < count) rows[i] = combination(1, rows[i], -upper[i], rows[i + 1]);
        for (double& v : rows[i])
            v /= diagonal[i];
    }
}

}  // namespace

StateSpace state_space(std::span<const StageCircuit> stages, const OpAmp& opamp) {
    const OpAmpTerms t = terms_of(opamp);
    const int count = static_cast<int>(stages.size());
    StateSpace s;
    s.stage_count = count;
    StageIndex index[kMaxStages];
    for (int i = 0; i < count; ++i) {
        const bool second = stages[static_cast<std::size_t>(i)].order == 2;
        index[i].first = s.states;
        index[i].plus = s.states + (second ? 1 : 0);
        s.states += second ? 2 : 1;
        if (t.g > 0) index[i].amp = s.states++;
    }
    const int input = s.states;
    s.m.n = s.states + 1;

    // The output equations.
    double lower[kMaxStages] = {};
    double diagonal[kMaxStages] = {};
    double upper[kMaxStages] = {};
    Vector* rows = s.output;
    const double beta = t.g > 0 ? 1 : t.eps;
    const double beta_ro = beta * t.ro;
    for (int i = 0; i < count; ++i) {
        const CircuitParts& p = stages[static_cast<std::size_t>(i)].parts;
        diagonal[i] = t.g > 0 ? 1 : 1 + t.eps;
        rows[i] = unit(t.g > 0 ? index[i].amp : index[i].plus);
        if (stages[static_cast<std::size_t>(i)].order == 2) {
            const double g_sum = 1 / p.R1 + 1 / p.R2;
            diagonal[i] += beta_ro * g_sum;
            if (i == 0) {
                rows[i][static_cast<std::size_t>(input)] += beta_ro / p.R1;
            } else {
                lower[i] = -beta_ro / p.R1;
            }
            rows[i][static_cast<std::size_t>(index[i].first)] -= beta_ro * g_sum;
            rows[i][static_cast<std::size_t>(index[i].plus)] += beta_ro / p.R2;
        }
        if (i + 1 < count) {
            const double next_r1 = stages[static_cast<std::size_t>(i + 1)].parts.R1;
            diagonal[i] += beta_ro / next_r1;
            rows[i][static_cast<std::size_t>(index[i + 1].first)] += beta_ro / next_r1;
            if (stages[static_cast<std::size_t>(i + 1)].order == 2) upper[i] = -beta_ro / next_r1;
        }
    }
    solve_tridiagonal(count, lower, diagonal, upper, rows);

    // The state equations.
    for (int i = 0; i < count; ++i) {
        const CircuitParts& p = stages[static_cast<std::size_t>(i)].parts;
        const StageIndex& k = index[i];
        const Vector vi = i == 0 ? unit(input) : rows[i - 1];
        const Vector& vo = rows[i];
        if (stages[static_cast<std::size_t>(i)].order == 2) {
            const double g_sum = 1 / p.R1 + 1 / p.R2;
            const Vector vx = combination(1, vo, 1, unit(k.first));
            Vector u1 = combination(1 / p.R1, vi, -g_sum, vx);
            u1 = combination(1 / p.C1, u1, 1 / (p.R2 * p.C1), unit(k.plus));
            set_row(s.m, k.first, u1);
            set_row(s.m, k.plus,
                    combination(1 / (p.R2 * p.C2), vx, -1 / (p.R2 * p.C2), unit(k.plus)));
        } else {
            const double rc = 1 / (p.R1 * p.C1);
            set_row(s.m, k.first, combination(rc, vi, -rc, unit(k.first)));
        }
        if (k.amp >= 0) {
            Vector amp = combination(1, unit(k.plus), -1, vo);
            amp = combination(1 / t.g, amp, -t.eps / t.g, unit(k.amp));
            set_row(s.m, k.amp, amp);
        }
    }

    // At rest every stage passes 1/(1 + eps) of its input: no current flows in R1 or R2, so
    // x = p = Vi, u1 = Vi - Vo = Vi eps/(1 + eps) (order 2), and Va = Vo.
    const double stage_gain = 1 / (1 + t.eps);
    double vi = 1;
    for (int i = 0; i < count; ++i) {
        const StageIndex& k = index[i];
        const double vo = vi * stage_gain;
        const bool second = stages[static_cast<std::size_t>(i)].order == 2;
        s.final_state[static_cast<std::size_t>(k.first)] = second ? vi * (t.eps * stage_gain) : vi;
        s.final_state[static_cast<std::size_t>(k.plus)] = vi;
        if (k.amp >= 0) s.final_state[static_cast<std::size_t>(k.amp)] = vo;
        vi = vo;
    }
    s.final_state[static_cast<std::size_t>(input)] = 1;
    s.final_value = vi;
    return s;
}

// ---- matrices ----

double norm_1(const Matrix& m) {
    double largest = 0;
    for (int j = 0; j < m.n; ++j) {
        double sum = 0;
        for (int i = 0; i < m.n; ++i)
            sum += std::fabs(m.a[i][j]);
        largest = std::fmax(largest, sum);
    }
    return largest;
}

namespace {

Matrix product(const Matrix& x, const Matrix& y) {
    Matrix r;
    r.n = x.n;
    for (int i = 0; i < x.n; ++i) {
        for (int k = 0; k < x.n; ++k) {
            const double v = x.a[i][k];
            if (v == 0) continue;
            for (int j = 0; j < x.n; ++j)
                r.a[i][j] += v * y.a[k][j];
        }
    }
    return r;
}

// e^{B} - I for ||B||_1 <= 1/2: sum_{k>=1} B^k / k!, until a term is below 2^-60 of the first.
Matrix exponential_minus_identity(const Matrix& b) {
    Matrix sum = b;
    Matrix term = b;
    const double first = norm_1(b);
    for (int k = 2; k <= 30 && norm_1(term) > 0x1p-60 * first; ++k) {
        term = product(term, b);
        for (int i = 0; i < b.n; ++i) {
            for (int j = 0; j < b.n; ++j) {
                term.a[i][j] /= k;
                sum.a[i][j] += term.a[i][j];
            }
        }
    }
    return sum;
}

}  // namespace

namespace {

Matrix transposed(const Matrix& m) {
    Matrix t;
    t.n = m.n;
    for (int i = 0; i < m.n; ++i) {
        for (int j = 0; j < m.n; ++j)
            t.a[j][i] = m.a[i][j];
    }
    return t;
}

// Adds F z to `sum` (zeros), F given by its columns: each row's terms in the order of its
// columns, j = 0 first, as a row-by-row product takes them, so every row's sum has the same
// bits; the rows are summed side by side.
void add_product(const Matrix& columns, const Vector& z, Vector& sum) {
    const int n = columns.n;
    for (int j = 0; j < n; ++j) {
        const double zj = z[static_cast<std::size_t>(j)];
        const double* column = columns.a[j];
        for (int i = 0; i < n; ++i)
            sum[static_cast<std::size_t>(i)] += column[i] * zj;
    }
}

}  // namespace

Ladder ladder(const Matrix& m, double step, int levels) {
    KESTRANE_CHECK(levels >= 1);
    Ladder result{step, std::vector<Matrix>(static_cast<std::size_t>(levels))};
    Matrix b = m;
    const double h = std::ldexp(step, -(levels - 1));
    for (int i = 0; i < m.n; ++i) {
        for (int j = 0; j < m.n; ++j)
            b.a[i][j] *= h;
    }
    Matrix f = exponential_minus_identity(b);
    for (int level = levels - 1; level >= 0; --level) {
        result.columns[static_cast<std::size_t>(level)] = transposed(f);
        if (level == 0) break;
        Matrix square = product(f, f);
        for (int i = 0; i < m.n; ++i) {
            for (int j = 0; j < m.n; ++j)
                square.a[i][j] += 2 * f.a[i][j];
        }
        f = square;
    }
    return result;
}

Vector advance(const Ladder& ladder, int level, const Vector& z) {
    Vector sum{};
    const Matrix& columns = ladder.columns[static_cast<std::size_t>(level)];
    add_product(columns, z, sum);
    Vector next = z;
    for (int i = 0; i < columns.n; ++i)
        next[static_cast<std::size_t>(i)] += sum[static_cast<std::size_t>(i)];
    return next;
}

void advance_pair(const Ladder& ladder, int level, Vector& z, Vector& w) {
    const Matrix& columns = ladder.columns[static_cast<std::size_t>(level)];
    Vector z_sum{};
    Vector w_sum{};
    add_product(columns, z, z_sum);
    add_product(columns, w, w_sum);
    for (int i = 0; i < columns.n; ++i) {
        z[static_cast<std::size_t>(i)] += z_sum[static_cast<std::size_t>(i)];
        w[static_cast<std::size_t>(i)] += w_sum[static_cast<std::size_t>(i)];
    }
}

Vector advance_by(const Ladder& ladder, const Vector& z, double t) {
    Vector state = z;
    double whole = std::floor(t / ladder.step);
    double rest = t - whole * ladder.step;
    if (rest < 0) rest = 0;
    for (; whole > 0; whole -= 1)
        state = advance(ladder, 0, state);
    const int levels = static_cast<int>(ladder.columns.size());
    for (int level = 1; level < levels; ++level) {
        const double h = std::ldexp(ladder.step, -level);
        if (rest >= h) {
            state = advance(ladder, level, state);
            rest -= h;
        }
    }
    return state;
}

double dot(const Vector& row, const Vector& z, int size) {
    double sum = 0;
    for (int i = 0; i < size; ++i)
        sum += row[static_cast<std::size_t>(i)] * z[static_cast<std::size_t>(i)];
    return sum;
}

// ---- the Lyapunov bound ----

namespace {

// Solves the dense system a x = b (n unknowns, row-major) by Gaussian elimination with partial
// pivoting; false when a pivot vanishes.
bool solve_dense(std::vector<double>& a, std::vector<double>& b, int n) {
    const auto at = [&](int i, int j) -> double& {
        return a[static_cast<std::size_t>(i) * static_cast<std::size_t>(n) +
                 static_cast<std::size_t>(j)];
    };
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int i = col + 1; i < n; ++i) {
            if (std::fabs(at(i, col)) > std::fabs(at(pivot, col))) pivot = i;
        }
        if (!(std::fabs(at(pivot, col)) > 0)) return false;
        if (pivot != col) {
            for (int j = 0; j < n; ++j)
                std::swap(at(pivot, j), at(col, j));
            std::swap(b[static_cast<std::size_t>(pivot)], b[static_cast<std::size_t>(col)]);
        }
        for (int i = col + 1; i < n; ++i) {
            const double factor = at(i, col) / at(col, col);
            if (factor == 0) continue;
            for (int j = col; j < n; ++j)
                at(i, j) -= factor * at(col, j);
            b[static_cast<std::size_t>(i)] -= factor * b[static_cast<std::size_t>(col)];
        }
    }
    for (int i = n; i-- > 0;) {
        double sum = b[static_cast<std::size_t>(i)];
        for (int j = i + 1; j < n; ++j)
            sum -= at(i, j) * b[static_cast<std::size_t>(j)];
        b[static_cast<std::size_t>(i)] = sum / at(i, i);
    }
    return true;
}

// The index of P's entry (i, j), i <= j, among the n (n + 1) / 2 unknowns.
int packed(int i, int j, int n) {
    if (i > j) std::swap(i, j);
    return i * n - i * (i - 1) / 2 + (j - i);
}

// P with A^T P + P A = -I, A the states' block of the system.
bool lyapunov(const Matrix& system, int n, Matrix& p) {
    const int unknowns = n * (n + 1) / 2;
    std::vector<double> a(static_cast<std::size_t>(unknowns) * static_cast<std::size_t>(unknowns));
    std::vector<double> b(static_cast<std::size_t>(unknowns));
    for (int i = 0; i < n; ++i) {
        for (int j = i; j < n; ++j) {
            const int row = packed(i, j, n);
            double* r = &a[static_cast<std::size_t>(row) * static_cast<std::size_t>(unknowns)];
            // (A^T P)_ij = sum_k A_ki P_kj, (P A)_ij = sum_k P_ik A_kj.
            for (int k = 0; k < n; ++k) {
                r[packed(k, j, n)] += system.a[k][i];
                r[packed(i, k, n)] += system.a[k][j];
            }
            b[static_cast<std::size_t>(row)] = i == j ? -1 : 0;
        }
    }
    if (!solve_dense(a, b, unknowns)) return false;
    p.n = n;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            p.a[i][j] = b[static_cast<std::size_t>(packed(i, j, n))];
    }
    return true;
}

// The Frobenius norm of A^T P + P A + I.
double residual(const Matrix& system, const Matrix& p, int n) {
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double r = i == j ? 1 : 0;
            for (int k = 0; k < n; ++k)
                r += system.a[k][i] * p.a[k][j] + p.a[i][k] * system.a[k][j];
            sum += r * r;
        }
    }
    return std::sqrt(sum);
}

// The Cholesky factor of P (lower), false when P is not positive definite.
bool cholesky(const Matrix& p, Matrix& l) {
    l.n = p.n;
    for (int j = 0; j < p.n; ++j) {
        double d = p.a[j][j];
        for (int k = 0; k < j; ++k)
            d -= l.a[j][k] * l.a[j][k];
        if (!(d > 0)) return false;
        l.a[j][j] = std::sqrt(d);
        for (int i = j + 1; i < p.n; ++i) {
            double v = p.a[i][j];
            for (int k = 0; k < j; ++k)
                v -= l.a[i][k] * l.a[j][k];
            l.a[i][j] = v / l.a[j][j];
        }
    }
    return true;
}

}  // namespace

TailBound tail_bound(const StateSpace& system) {
    TailBound result;
    const int n = system.states;
    if (!lyapunov(system.m, n, result.p)) return result;
    if (!(residual(system.m, result.p, n) < 0.5)) return result;
    Matrix l;
    if (!cholesky(result.p, l)) return result;
    // c P^-1 c^T = |w|^2 with L w = c.
    const Vector& c = system.output[system.stage_count - 1];
    Vector w{};
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        double v = c[static_cast<std::size_t>(i)];
        for (int k = 0; k < i; ++k)
            v -= l.a[i][k] * w[static_cast<std::size_t>(k)];
        w[static_cast<std::size_t>(i)] = v / l.a[i][i];
        sum += w[static_cast<std::size_t>(i)] * w[static_cast<std::size_t>(i)];
    }
    result.output_factor = std::sqrt(sum);
    result.valid = true;
    return result;
}

double TailBound::bound(const StateSpace& system, const Vector& z) const {
    const int n = system.states;
    Vector e{};
    for (int i = 0; i < n; ++i)
        e[static_cast<std::size_t>(i)] =
            z[static_cast<std::size_t>(i)] - system.final_state[static_cast<std::size_t>(i)];
    double energy = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            energy += e[static_cast<std::size_t>(i)] * p.a[i][j] * e[static_cast<std::size_t>(j)];
    }
    return output_factor * std::sqrt(std::fmax(energy, 0.0));
}

}  // namespace kestrane::opamp_cascade
