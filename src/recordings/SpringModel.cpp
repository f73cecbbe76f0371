#include "recordings/SpringModel.h"

#include <algorithm>

namespace {

// The rubber parts were characterised in single precision; those constants keep the exact
// value of the float, widened.
constexpr double F(float value) {
    return static_cast<double>(value);
}

} // namespace

SpringModel::SpringModel(int32_t springType) : type(springType) {
    switch (springType) {
    case 1: // rubber grommet 12.7 x 7.9 mm
        c = {F(1.72168e-05f), F(0.012988f),  F(-1.7986867f),
             F(3.1499e-06f),  F(0.0250666f), F(-4.020217f)};
        travelUm = 2000;
        switchUm = 500;
        minUm = 150;
        break;
    case 2: // rubber spacer 12.7 x 7.9 mm
        c = {1.45697e-05,     F(-0.05936903f), F(6.1603f),
             F(1.40502e-05f), F(0.0492736f),   F(-10.263426f)};
        travelUm = 2000;
        switchUm = 500;
        minUm = 200;
        break;
    case 3: // silver spring, 9 mm diameter
        c = {4.2641e-05, 0.0636606645, -1.6003235945, 1.57338e-05, 0.1180294454, -24.5552338365};
        travelUm = 1500;
        switchUm = 500;
        minUm = 100;
        break;
    case 4: // gold spring, 13 mm diameter
        c = {1.45697e-05, 0.0100837212, 0.4309795861, 8.213e-07, 0.0378801663, -11.4301531843};
        travelUm = 2000;
        switchUm = 600;
        minUm = 100;
        break;
    default:
        return;
    }
    valid = true;
}

double SpringModel::SpringForce(double x) const {
    if (x < minUm) {
        return 0.0;
    }
    if (x < switchUm) {
        return std::max(0.0, c[0] * x * x + c[1] * x + c[2]);
    }
    return std::max(0.0, c[3] * x * x + c[4] * x + c[5]);
}
