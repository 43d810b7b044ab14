// Generates the example data set: the Mackey-Glass chaotic time series
//
//     dx/dt = 0.2 x(t - 17) / (1 + x(t - 17)^10) - 0.1 x(t),
//
// with x(t) = 0 for t < 0 and x(0) = 1.2, integrated by the classical fourth-order Runge-Kutta
// method with step 0.1 (the delayed value at a half step is the mean of its two neighbours on the
// grid). Each row has the inputs x(t-18), x(t-12), x(t-6), x(t) and the output x(t+6), for
// t = 118, 119, ...; all values are scaled to [0, 1] with the minimum and maximum of the series
// over the sampled range. Only +, -, * and / are used, so every machine writes the same digits.
//
// Usage: MackeyGlass rows > file.dat   (the data-set file is written to standard output)

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kStepsPerUnit = 10;  // step 0.1
constexpr int kDelay = 17 * kStepsPerUnit;
constexpr double kStep = 0.1;

double Power10(double x) {
    const double x2 = x * x;
    const double x4 = x2 * x2;
    const double x8 = x4 * x4;
    return x8 * x2;
}

double Derivative(double x, double delayed) {
    return 0.2 * delayed / (1.0 + Power10(delayed)) - 0.1 * x;
}

// x on the grid of step 0.1 from t = 0 to t = units.
std::vector<double> Integrate(int units) {
    const int steps = units * kStepsPerUnit;
    std::vector<double> x(static_cast<std::size_t>(steps) + 1, 0.0);
    x[0] = 1.2;
    auto delayedAt = [&](int k) { return k < 0 ? 0.0 : x[static_cast<std::size_t>(k)]; };
    for (int k = 0; k < steps; ++k) {
        const double d0 = delayedAt(k - kDelay);
        const double d1 = delayedAt(k + 1 - kDelay);
        const double dHalf = (d0 + d1) / 2.0;
        const double xk = x[static_cast<std::size_t>(k)];
        const double k1 = Derivative(xk, d0);
        const double k2 = Derivative(xk + kStep / 2.0 * k1, dHalf);
        const double k3 = Derivative(xk + kStep / 2.0 * k2, dHalf);
        const double k4 = Derivative(xk + kStep * k3, d1);
        x[static_cast<std::size_t>(k) + 1] = xk + kStep / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
    }
    return x;
}

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 500;
    if (argc > 2 || rows <= 0 || rows > 100000) {
        std::fprintf(stderr, "Usage: MackeyGlass [rows]   (rows from 1 to 100000, default 500)\n");
        return 1;
    }
    const int first = 118;
    const int last = first + rows - 1 + 6;
    const std::vector<double> x = Integrate(last);
    auto at = [&](int t) { return x[static_cast<std::size_t>(t) * kStepsPerUnit]; };

    double low = at(first - 18);
    double high = low;
    for (int t = first - 18; t <= last; ++t) {
        low = at(t) < low ? at(t) : low;
        high = at(t) > high ? at(t) : high;
    }
    auto scaled = [&](int t) { return (at(t) - low) / (high - low); };

    std::printf("[FormatVersion = 1.0]\n\n");
    std::printf("/* Mackey-Glass series, delay 17: x(t-18) x(t-12) x(t-6) x(t) -> x(t+6), ");
    std::printf("t = %d ... %d, scaled to [0, 1] */\n", first, first + rows - 1);
    std::printf("[DataSet]\n[Rows = %d]\n[Inputs = 4]\n[ExpectedOutputs = 1]\n", rows);
    std::printf("[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n");
    for (int t = first; t < first + rows; ++t) {
        std::printf("%.15g %.15g %.15g %.15g  %.15g \n", scaled(t - 18), scaled(t - 12),
                    scaled(t - 6), scaled(t), scaled(t + 6));
    }
    std::printf("[~Data]\n\n[~DataSet]\n");
    return 0;
}
